#include "TFmain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QVBoxLayout>

#include "BusProtocol.h"
#include "Conversions.h"
#include "GridFont.h"
#include "IniFile.h"
#include "MessageBoxes.h"
#include "SerialPortList.h"
#include "SoundPlayer.h"
#include "StatementCatalogue.h"
#include "StationDatabase.h"
#include "StationError.h"
#include "TElidedLabel.h"
#include "TFalm.h"
#include "TFset.h"
#include "TFset2.h"
#include "TrayPictures.h"

namespace {

constexpr int kBoardMaxLines = 259;

QToolButton* MakeButton(const QString& caption, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setText(caption);
    b->setFixedSize(130, 40);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setStyleSheet(QStringLiteral(
        "QToolButton { background: rgb(0,96,96); color: white; border: 1px solid rgb(0,64,64);"
        " font: bold 14px; } QToolButton:hover { background: rgb(0,112,112); }"
        " QToolButton:pressed { background: rgb(0,64,64); }"));
    return b;
}

}  // namespace

TFmain::TFmain(const QString& programFolder, QWidget* parent)
    : QMainWindow(parent),
      ADOQuery1(QString::fromLatin1(StationDatabase::kConnectionName)),
      programFolder_(programFolder.endsWith('/') ? programFolder : programFolder + '/'),
      settingsPath_(programFolder_ + QStringLiteral("peizhi.ini")) {
    setObjectName(QStringLiteral("TFmain"));
    BuildLayout();

    // The bus line: 2400 baud 8N1, DTR and RTS held on, no flow control. A read ends when the
    // line has been silent for more than 100 ms after a byte; the whole input buffer may be
    // taken at once (InputLen 0), so each reply reaches the dispatcher as one delivery.
    Comm1.SetCommName(QStringLiteral("COM1"));
    Comm1.SetBaudRate(2400);
    Comm1.SetByteSize(TByteSize::_8);
    Comm1.SetParity(TParity::None);
    Comm1.SetStopBits(TStopBits::_1);
    Comm1.SetDtrControl(TDtrControl::DtrEnable);
    Comm1.SetRtsControl(TRtsControl::RtsEnable);
    Comm1.SetReadIntervalTimeout(100);
    Comm1.SetReadTotalTimeoutMultiplier(0);
    Comm1.SetReadTotalTimeoutConstant(0);
    Comm1.SetWriteTotalTimeoutMultiplier(0);
    Comm1.SetWriteTotalTimeoutConstant(0);
    Comm1.SetInputLen(0);
    Comm1.SetTxContinueOnXoff(true);
    Comm1.OnReceiveData = [this](TComm* sender, const uint8_t* buffer, uint16_t length) {
        RunHandler([&] { Comm1ReceiveData(sender, buffer, length); });
    };

    // The discovery steps must never come early: a coarse timer may fire up to 5 % before its
    // interval, which would cut the 200 ms wait for the handshake reply short.
    Timer2_.setTimerType(Qt::PreciseTimer);
    Timer3_.setTimerType(Qt::PreciseTimer);
    Timer2_.setInterval(200);
    Timer3_.setInterval(200);
    TimerB_.setInterval(1000);
    connect(&Timer2_, &QTimer::timeout, this, [this] { RunHandler([this] { Timer2Timer(); }); });
    connect(&Timer3_, &QTimer::timeout, this, [this] { RunHandler([this] { Timer3Timer(); }); });
    connect(&TimerB_, &QTimer::timeout, this, [this] { RunHandler([this] { TimerBTimer(); }); });
    TimerB_.start();

    hTrayIcon1 = std::make_unique<ThTrayIcon>(this);
    SetUpStationTrayIcon(*hTrayIcon1, ImageList3);
    hTrayIcon1->Loaded();

    FormCreate();
}

TFmain::~TFmain() = default;

void TFmain::AttachWindows(TFset* fset, TFset2* fset2, TFalm* falm) {
    Fset_ = fset;
    Fset2_ = fset2;
    Falm_ = falm;
}

void TFmain::BuildLayout() {
    setWindowTitle(QStringLiteral("多点温度探测系统-多点温度测量系统-多点温度监控系统"));
    resize(1000, 648);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        move(avail.center() - QPoint(500, 324));
    }

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("client"));
    central->setAutoFillBackground(true);
    QPalette pal = central->palette();
    pal.setColor(QPalette::Window, QColor(0, 128, 128));  // teal
    central->setPalette(pal);
    setCentralWidget(central);

    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    // Top band with the header label.
    auto* top = new QWidget(central);
    top->setFixedHeight(46);
    auto* topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(8, 0, 8, 0);
    sLabelFX23 = new TElidedLabel(QStringLiteral("告 警 信 息 表"), top);
    sLabelFX23->setObjectName(QStringLiteral("sLabelFX23"));
    sLabelFX23->setAlignment(Qt::AlignCenter);
    sLabelFX23->setStyleSheet(QStringLiteral("color: white; font-weight: bold; font-size: 25px;"));
    topLayout->addWidget(sLabelFX23);
    outer->addWidget(top);

    auto* body = new QHBoxLayout();
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    outer->addLayout(body, 1);

    // Left column: clock, board caption with its clear button, the board.
    auto* left = new QWidget(central);
    left->setFixedWidth(150);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(2, 0, 2, 2);
    leftLayout->setSpacing(2);
    BmpClock2 = new TBmpClock(left);
    BmpClock2->setObjectName(QStringLiteral("BmpClock2"));
    TBmpClock::ConfigureAsMainWindowClock(*BmpClock2);
    BmpClock2->setFixedSize(98, 98);
    auto* clockRow = new QHBoxLayout();
    clockRow->setContentsMargins(22, 0, 0, 0);  // with the column's 2 px: 24 from its edge
    clockRow->addWidget(BmpClock2);
    clockRow->addStretch(1);
    leftLayout->addLayout(clockRow);
    auto* captionRow = new QHBoxLayout();
    boardCaption = new QLabel(QStringLiteral("公告栏"), left);
    boardCaption->setStyleSheet(QStringLiteral("color: white; font-weight: bold;"));
    SpeedButton5 = new QToolButton(left);
    SpeedButton5->setObjectName(QStringLiteral("SpeedButton5"));
    SpeedButton5->setFixedSize(18, 18);
    SpeedButton5->setToolTip(QStringLiteral("清空公告栏"));
    SpeedButton5->setText(QStringLiteral("×"));
    captionRow->addWidget(boardCaption);
    captionRow->addStretch(1);
    captionRow->addWidget(SpeedButton5);
    leftLayout->addLayout(captionRow);
    RzListBox1 = new QListWidget(left);
    RzListBox1->setObjectName(QStringLiteral("RzListBox1"));
    RzListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RzListBox1->setStyleSheet(QStringLiteral(
        "QListWidget { background: rgb(240,202,166); color: black; font-size: 12px; }"));
    leftLayout->addWidget(RzListBox1, 1);
    body->addWidget(left);

    // Centre: the monitoring grid.
    RzStringGrid1 = new TStringGrid(central);
    RzStringGrid1->setObjectName(QStringLiteral("RzStringGrid1"));
    RzStringGrid1->SetFixedCols(1);
    RzStringGrid1->SetFixedColor(QColor(64, 0, 0));
    RzStringGrid1->setStyleSheet(QStringLiteral(
        "QTableView { background: black; color: lime; gridline-color: red;"
        " selection-background-color: rgb(0,64,0); selection-color: lime; }"
        "QHeaderView { background: black; }"
        "QHeaderView::section { background: rgb(64,0,0); color: lime; border: 1px solid red;"
        " font-weight: bold; }"
        "QTableCornerButton::section { background: black; }"
        "QAbstractScrollArea::corner { background: black; }"));
    QFont gridFont = RzStringGrid1->font();
    gridFont.setBold(true);
    RzStringGrid1->setFont(gridFont);
    body->addWidget(RzStringGrid1, 1);

    // Right column: lamp, LED digit display, countdown, buttons.
    auto* right = new QWidget(central);
    right->setFixedWidth(150);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(10, 1, 10, 8);
    rightLayout->setSpacing(6);
    auto* ledRow = new QHBoxLayout();
    ledRow->setContentsMargins(57, 0, 0, 0);
    Led = new ThhALed(right);
    Led->setObjectName(QStringLiteral("Led"));
    ThhALed::ConfigureAsMainWindowLamp(*Led);
    QSizePolicy ledPolicy = Led->sizePolicy();
    ledPolicy.setRetainSizeWhenHidden(true);  // the column keeps its layout while it is off
    Led->setSizePolicy(ledPolicy);
    ledRow->addWidget(Led);
    ledRow->addStretch(1);
    rightLayout->addLayout(ledRow);
    RzLEDDisplay1 = new TLEDDisplay(right);
    RzLEDDisplay1->setObjectName(QStringLiteral("RzLEDDisplay1"));
    RzLEDDisplay1->setFixedSize(130, 40);
    rightLayout->addWidget(RzLEDDisplay1);
    RzLabel1 = new QLabel(QStringLiteral("采集倒计时:"), right);
    RzLabel1->setObjectName(QStringLiteral("RzLabel1"));
    RzLabel1->setFixedSize(130, 24);
    RzLabel1->setStyleSheet(QStringLiteral("background: black; color: lime; font-weight: bold;"));
    rightLayout->addWidget(RzLabel1);
    rightLayout->addSpacing(10);
    SpeedButton6 = MakeButton(QStringLiteral("屏幕刷新"), right);
    SpeedButton1 = MakeButton(QStringLiteral("既时采集"), right);
    SpeedButton3 = MakeButton(QStringLiteral("报警记录"), right);
    SpeedButton2 = MakeButton(QStringLiteral("设备管理"), right);
    SpeedButton7 = MakeButton(QStringLiteral("参数配置"), right);
    SpeedButton4 = MakeButton(QStringLiteral("退         出"), right);
    for (QToolButton* b :
         {SpeedButton6, SpeedButton1, SpeedButton3, SpeedButton2, SpeedButton7, SpeedButton4})
        rightLayout->addWidget(b);
    SpeedButton6->setObjectName(QStringLiteral("SpeedButton6"));
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton3->setObjectName(QStringLiteral("SpeedButton3"));
    SpeedButton2->setObjectName(QStringLiteral("SpeedButton2"));
    SpeedButton7->setObjectName(QStringLiteral("SpeedButton7"));
    SpeedButton4->setObjectName(QStringLiteral("SpeedButton4"));
    rightLayout->addStretch(1);
    body->addWidget(right);

    connect(SpeedButton1, &QToolButton::clicked, this,
            [this] { RunHandler([this] { SpeedButton1Click(); }); });
    connect(SpeedButton6, &QToolButton::clicked, this,
            [this] { RunHandler([this] { SpeedButton6Click(); }); });
    connect(SpeedButton2, &QToolButton::clicked, this, [this] { SpeedButton2Click(); });
    connect(SpeedButton3, &QToolButton::clicked, this, [this] { SpeedButton3Click(); });
    connect(SpeedButton4, &QToolButton::clicked, this, [this] { SpeedButton4Click(); });
    connect(SpeedButton5, &QToolButton::clicked, this, [this] { SpeedButton5Click(); });
    connect(SpeedButton7, &QToolButton::clicked, this, [this] { SpeedButton7Click(); });
    RzStringGrid1->OnDrawCell = [this](int col, int row, const QRect& rect, QPainter& painter) {
        RzStringGrid1DrawCell(col, row, rect, painter);
    };
    connect(RzStringGrid1, &TStringGrid::Resized, this, [this] { RzStringGrid1Resize(); });
}

void TFmain::FormCreate() {
    // 1. The database beside the program.
    try {
        StationDatabase::Open(programFolder_ + QStringLiteral("newdb.mdb"));
        databaseOpen_ = true;
    } catch (const StationError&) {
        databaseOpen_ = false;
        ShowMessage(nullptr, QStringLiteral("链接数据库出错！！！"));
        return;
    }
    // 2. Grid set-up.
    RzStringGrid1->SetColCount(4);
    RzStringGrid1->SetCell(0, 0, QStringLiteral("编号"));
    RzStringGrid1->SetColWidth(0, 90);
    RzStringGrid1->SetCell(1, 0, QStringLiteral("状态(℃)"));
    RzStringGrid1->SetColWidth(1, 140);
    RzStringGrid1->SetCell(2, 0, QStringLiteral(" 方 位 "));
    RzStringGrid1->SetColWidth(2, 180);
    RzStringGrid1->SetCell(3, 0, QStringLiteral(" 最近报警"));
    SetGridDefaultRowHeight(25);
    RzStringGrid1Resize();
    // 3. The monitored sensors.
    RunHandler([this] { LoadMonitorRows(false); });
    // 4.
    startupDone = false;
}

void TFmain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    FormShow();
}

void TFmain::FormShow() {
    if (startupDone) return;
    startupDone = true;

    // 1. LED digit display and lamp at rest.
    RzLEDDisplay1->setCaption(QStringLiteral("---"));
    RzLEDDisplay1->setScrolling(false);
    Led->setValue(false);
    Led->hide();

    // 2. The port list.
    QComboBox* ports = Fset2_ ? Fset2_->ComboBox1 : nullptr;
    if (ports) {
        ListSerialPorts(ports);
        ports->setCurrentIndex(0);
        Comm1.SetCommName(ports->currentText());
    }
    // 3.-6.
    RzListBox1->clear();
    if (!ports || ports->count() == 0) AddBoardLine(QStringLiteral("未找到通信口"));
    state_.portIndex = 0;
    state_.handshakeOk = false;
    state_.silentPortSeen = false;
    Timer2_.start();
    AddBoardLine(QStringLiteral("对接测试..."));

    RunHandler([this] {
        // 7. First-run defaults.
        if (ReadSetting(QStringLiteral("seting"), QStringLiteral("start")) == QStringLiteral("0")) {
            WriteSetting(QStringLiteral("seting"), QStringLiteral("media"),
                         programFolder_ + QStringLiteral("Alarm.wav"));
            WriteSetting(QStringLiteral("seting"), QStringLiteral("start"), QStringLiteral("1"));
        }
        // 8. Tray mode.
        SetTrayMode(ReadSetting(QStringLiteral("seting"), QStringLiteral("icon")) ==
                    QStringLiteral("1"));
        // 9. Header.
        sLabelFX23->setText(ReadSetting(QStringLiteral("seting"), QStringLiteral("title")));
        // 10. Row height; a value that is not an integer ends the steps here.
        SetGridDefaultRowHeight(
            StrToInt(ReadSetting(QStringLiteral("seting"), QStringLiteral("addhigh"))));
        // 11. Interval and countdown.
        const int32_t n =
            StrToInt(ReadSetting(QStringLiteral("seting"), QStringLiteral("interval")));
        if (n == 0) RzLabel1->setText(QStringLiteral("不启用定时采集"));
        state_.pollInterval = n;
        state_.countdown = n;
        // 12. Alarm sound.
        state_.alarmSoundFile = ReadSetting(QStringLiteral("seting"), QStringLiteral("media"));
    });
}

void TFmain::closeEvent(QCloseEvent* event) {
    if (FormCloseQuery()) {
        event->accept();
        QCoreApplication::quit();
    } else {
        event->ignore();
    }
}

bool TFmain::FormCloseQuery() {
    return ConfirmUnlessNo(this, QStringLiteral("确定要关闭窗口吗?"));
}

void TFmain::SetTrayMode(bool on) {
    hTrayIcon1->SetVisible(on);
    hTrayIcon1->SetMinimizeToTray(on);
}

void TFmain::SetGridDefaultRowHeight(int height) {
    RzStringGrid1->SetDefaultRowHeight(height);
    // The text follows the row height: the font's cell height is the row height less 2.
    RzStringGrid1->setFont(FontWithCellHeight(RzStringGrid1->font(), height - 2));
    // The header's text follows the same rule, so that it is as tall as the rows' text.
    RzStringGrid1->horizontalHeader()->setFont(RzStringGrid1->font());
}

void TFmain::ListSerialPorts(QComboBox* target) {
    const QStringList ports = ListPlatformSerialPorts();
    target->clear();
    target->addItems(ports);
}

void TFmain::LoadMonitorRows(bool clearReadings) {
    ADOQuery1.Prepare(catalogue::MonitoredSensors);
    ADOQuery1.Open();
    const int n = ADOQuery1.RecordCount();
    TStringGrid* g = RzStringGrid1;
    if (n > 0) {
        g->SetRowCount(n + 1);
    } else {
        g->SetRowCount(2);
        for (int c = 0; c < g->ColCount(); ++c) g->SetCell(c, 1, QString());
    }
    if (rowAlarmState.size() < static_cast<size_t>(g->RowCount()))
        rowAlarmState.resize(g->RowCount(), 0);
    int i = 1;
    for (ADOQuery1.First(); !ADOQuery1.Eof(); ADOQuery1.Next(), ++i) {
        g->SetCell(0, i, ADOQuery1.AsString(QStringLiteral("code")));
        if (clearReadings) g->SetCell(1, i, QString());
        g->SetCell(2, i, ADOQuery1.AsString(QStringLiteral("fix")));
        g->SetCell(3, i, ADOQuery1.AsString(QStringLiteral("almnear")));
        if (g->Cell(3, i).trimmed().isEmpty()) rowAlarmState[i] = 0;
    }
    if (n == 0) rowAlarmState[1] = 0;
    g->viewport()->repaint();
}

void TFmain::AddBoardLine(const QString& text) {
    RzListBox1->addItem(text);
    while (RzListBox1->count() > kBoardMaxLines) delete RzListBox1->takeItem(0);
    RzListBox1->setCurrentRow(RzListBox1->count() - 1);
}

QString TFmain::ReadSetting(const QString& section, const QString& key) {
    return ini::Read(settingsPath_, section, key);
}

void TFmain::WriteSetting(const QString& section, const QString& key, const QString& value) {
    ini::Write(settingsPath_, section, key, value);
}

void TFmain::RzStringGrid1Resize() {
    TStringGrid* g = RzStringGrid1;
    if (g->ColCount() < 4) return;
    g->SetColWidth(3, g->width() - g->ColWidth(0) - g->ColWidth(1) - g->ColWidth(2) - 8);
}

void TFmain::SpeedButton2Click() {
    TimerB_.stop();
    if (Fset_) Fset_->exec();
}

void TFmain::SpeedButton3Click() {
    TimerB_.stop();
    if (Falm_) Falm_->exec();
}

void TFmain::SpeedButton7Click() {
    TimerB_.stop();
    if (Fset2_) Fset2_->exec();
}

void TFmain::SpeedButton4Click() {
    close();
}

void TFmain::SpeedButton5Click() {
    RzListBox1->clear();
}

bool TFmain::SendCommand(const QByteArray& text) {
    if (text.isEmpty()) return false;
    return Comm1.SendBytes(text.constData(), static_cast<uint16_t>(text.size()));
}

void TFmain::Comm1ReceiveData(TComm*, const uint8_t* buffer, uint16_t bufferLength) {
    const QByteArray s(reinterpret_cast<const char*>(buffer), bufferLength);
    const bool registerShowing = Fset_ && Fset_->isVisible();
    switch (busprotocol::ClassifyDelivery(s, registerShowing)) {
        case busprotocol::DeliveryKind::Handshake:
            HandshakeReply(s[3]);
            break;
        case busprotocol::DeliveryKind::SearchReply:
            Fset_->HandleSearchReply(s);
            break;
        case busprotocol::DeliveryKind::Reading:
            EvaluateReading(busprotocol::BytesToHex(s.left(3)),
                            busprotocol::DecodeTemperature(static_cast<uint8_t>(s[3]),
                                                           static_cast<uint8_t>(s[4])));
            break;
        case busprotocol::DeliveryKind::Dropped:
            break;
    }
}

QComboBox* TFmain::PortList() const {
    return Fset2_ ? Fset2_->ComboBox1 : nullptr;
}

void TFmain::SetConnectionStatus(const QString& text) {
    if (Fset2_) Fset2_->sLabelFX3->setText(text);
}

void TFmain::Timer2Timer() {
    Timer2_.stop();
    Comm1.CloseComm();
    QThread::msleep(5);
    QComboBox* list = PortList();
    const int count = list ? list->count() : 0;
    if (count == 0) {
        // Nothing to probe: start-up or reconnect has already said "未找到通信口". Whatever
        // port was open is closed now, so the status must not claim a connection.
        SetConnectionStatus(QStringLiteral("未连接       "));
        return;
    }
    auto endWithoutSuccess = [&] {
        if (state_.silentPortSeen) {
            AddBoardLine(QStringLiteral("未找到设备！"));
            SetConnectionStatus(QStringLiteral("未连接       "));
        } else {
            AddBoardLine(QStringLiteral("通信口被占用！"));
        }
        Comm1.CloseComm();
    };
    if (state_.portIndex >= count) {
        endWithoutSuccess();
        return;
    }
    Comm1.SetCommName(list->itemText(state_.portIndex));
    Comm1.OpenComm();
    if (!Comm1.PortOpen()) {
        if (state_.portIndex >= count - 1) {
            endWithoutSuccess();
        } else {
            ++state_.portIndex;
            Comm1.CloseComm();
            Timer2_.setInterval(200);
            Timer2_.start();
        }
        return;
    }
    QThread::msleep(5);
    SendCommand(busprotocol::kHandshakeCommand);
    Timer3_.start();
}

void TFmain::HandshakeReply(char version) {
    state_.handshakeOk = true;
    AddBoardLine(QStringLiteral("对接成功！"));
    AddBoardLine(QStringLiteral("设备版本: V") + QChar::fromLatin1(version));
    if (QComboBox* list = PortList()) list->setCurrentIndex(state_.portIndex);
    SetConnectionStatus(QStringLiteral("对接正常      "));
}

void TFmain::Timer3Timer() {
    Timer3_.stop();
    if (state_.handshakeOk) {
        if (QComboBox* list = PortList()) list->setCurrentText(Comm1.CommName());
        return;
    }
    Comm1.CloseComm();
    ++state_.portIndex;
    state_.silentPortSeen = true;
    Timer2_.start();
}

void TFmain::TimerBTimer() {
    if (state_.countdown <= 0) return;
    --state_.countdown;
    RzLabel1->setText(QStringLiteral("采集倒计时:%1秒").arg(state_.countdown));
    if (state_.countdown == 0) {
        AddBoardLine(QStringLiteral("采集数据..."));
        SendCommand(busprotocol::kReadCommand);
        state_.countdown = state_.pollInterval;
    }
}

void TFmain::SpeedButton1Click() {
    state_.countdown = state_.pollInterval;
    SendCommand(busprotocol::kReadCommand);
    AddBoardLine(QStringLiteral("数据采集..."));
}

namespace {

// Blanks and control characters off both ends, as IDs and stamps are compared.
QString TrimControl(const QString& text) {
    int b = 0;
    int e = text.size();
    while (b < e && text[b].unicode() <= 32) ++b;
    while (e > b && text[e - 1].unicode() <= 32) --e;
    return text.mid(b, e - b);
}

}  // namespace

void TFmain::EvaluateReading(const QString& id, double t) {
    ADOQuery1.Prepare(catalogue::MonitoredSensors);
    ADOQuery1.Open();
    ADOQuery1.First();
    if (ADOQuery1.RecordCount() == 0) {
        AddBoardLine(QStringLiteral("接收ID:") + id + QStringLiteral("未配置"));
        return;
    }
    int r = 0;
    for (int i = 1; !ADOQuery1.Eof(); ADOQuery1.Next(), ++i) {
        if (TrimControl(ADOQuery1.AsString(QStringLiteral("codeid"))) == id) {
            r = i;
            break;
        }
    }
    if (r == 0) return;

    const QString T = busprotocol::TemperatureText(t);
    RzStringGrid1->SetCell(1, r, T);
    AddBoardLine(QStringLiteral("ID:") + id + QStringLiteral(" 温度:") + T + QStringLiteral("℃"));

    const double H = ADOQuery1.AsFloat(QStringLiteral("almhigh"));
    const double L = ADOQuery1.AsFloat(QStringLiteral("almlow"));
    const QString N = TrimControl(ADOQuery1.AsString(QStringLiteral("almnear")));
    if (rowAlarmState.size() <= static_cast<size_t>(r)) rowAlarmState.resize(r + 1, 0);

    ReadingEvent reading;
    reading.sensor.code = ADOQuery1.AsInteger(QStringLiteral("code"));
    reading.sensor.codeid = id;
    reading.sensor.fix = ADOQuery1.AsString(QStringLiteral("fix"));
    reading.sensor.high = H;
    reading.sensor.low = L;
    reading.time = QDateTime::currentDateTime();
    reading.celsius = t;
    reading.text = T;

    const bool high = H != 0 && t >= H;
    const bool alarm = high || (L != 0 && t <= L);
    const uint8_t before = rowAlarmState[r];
    if (alarm) {
        reading.state = high ? ReadingState::High : ReadingState::Low;
        rowAlarmState[r] = 1;
        emit events_.ReadingEvaluated(reading);
        if (!N.isEmpty()) {
            RzStringGrid1->viewport()->update();
            return;
        }
        const int code = reading.sensor.code;
        const QString fix = reading.sensor.fix;
        RecordAlarm(code, fix, T);
        emit events_.AlarmRecorded(reading);
        hTrayIcon1->SetAnimate(true);
        CloseSound(QStringLiteral("mywave"));
        if (OpenSound(QStringLiteral("mywave"), state_.alarmSoundFile,
                      QStringLiteral("MPEGVideo")) == QStringLiteral("ok"))
            StartSound(QStringLiteral("mywave"));
        AddBoardLine(QStringLiteral("ID:") + id + QStringLiteral("报警"));
    } else if (!N.isEmpty()) {
        reading.state = ReadingState::Recorded;
        rowAlarmState[r] = 2;
        emit events_.ReadingEvaluated(reading);
        if (before == 1) emit events_.AlarmEnded(reading);
        RzStringGrid1->viewport()->update();
    } else {
        emit events_.ReadingEvaluated(reading);
    }
}

void TFmain::RecordAlarm(int code, const QString& fix, const QString& temperatureText) {
    const QDateTime now = QDateTime::currentDateTime();
    const QString date = now.toString(QStringLiteral("yyyyMMdd"));
    const QString time = now.toString(QStringLiteral("HHmmss"));
    const QString stamp = now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    ADOQuery1.Prepare(catalogue::InsertAlarm);
    ADOQuery1.SetParam(QStringLiteral("dates"), StrToInt(date));
    ADOQuery1.SetParam(QStringLiteral("times"), StrToInt(time));
    ADOQuery1.SetParam(QStringLiteral("code"), code);
    ADOQuery1.SetParam(QStringLiteral("fix"), fix);
    ADOQuery1.SetParam(QStringLiteral("almtemp"), temperatureText);
    ADOQuery1.ExecSQL();
    ADOQuery1.Prepare(catalogue::StampRecordedAlarm);
    ADOQuery1.SetParam(QStringLiteral("almnear"), stamp);
    ADOQuery1.SetParam(QStringLiteral("code"), code);
    ADOQuery1.ExecSQL();
    LoadMonitorRows(false);
}

void TFmain::RzStringGrid1DrawCell(int col, int row, const QRect& rect, QPainter& painter) {
    if (row < 1 || static_cast<size_t>(row) >= rowAlarmState.size()) return;
    const uint8_t state = rowAlarmState[row];
    if (state != 1 && state != 2) return;
    painter.fillRect(rect, state == 1 ? QColor(255, 0, 0) : QColor(128, 128, 128));
    painter.setFont(RzStringGrid1->font());
    painter.setPen(QColor(0, 255, 0));
    painter.drawText(rect.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     RzStringGrid1->Cell(col, row));
    if (state == 1) {
        // The display keeps the number it shows while that sensor's row is red: with several
        // red rows, each paint would otherwise switch it and restart the marquee.
        const bool showsRedRow =
            ledRow_ > 0 && static_cast<size_t>(ledRow_) < rowAlarmState.size() &&
            rowAlarmState[ledRow_] == 1 &&
            RzStringGrid1->Cell(0, ledRow_).trimmed() == RzLEDDisplay1->Caption();
        if (!showsRedRow) {
            ledRow_ = row;
            RzLEDDisplay1->setCaption(RzStringGrid1->Cell(0, row).trimmed());
        }
        RzLEDDisplay1->setScrolling(true);
        Led->setValue(true);
        Led->setVisible(true);
    }
}

void TFmain::SpeedButton6Click() {
    TimerB_.stop();
    ADOQuery1.Prepare(catalogue::ClearRecordedAlarms);
    ADOQuery1.ExecSQL();
    LoadMonitorRows(true);
    ledRow_ = 0;
    RzLEDDisplay1->setCaption(QStringLiteral("---"));
    RzLEDDisplay1->setScrolling(false);
    Led->setValue(false);
    Led->hide();
    AddBoardLine(QStringLiteral("屏幕初始化"));
    CloseSound(QStringLiteral("mywave"));
    hTrayIcon1->SetAnimate(false);
    state_.countdown = state_.pollInterval;
    TimerB_.start();
    emit events_.ScreenRefreshed(QDateTime::currentDateTime());
}
