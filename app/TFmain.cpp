#include "TFmain.h"

#include <unistd.h>

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QSqlError>
#include <QSystemTrayIcon>
#include <QThread>
#include <QVBoxLayout>
#include <functional>

#include "BusProtocol.h"
#include "Conversions.h"
#include "GridFont.h"
#include "IniFile.h"
#include "MessageBoxes.h"
#include "RegisterLookup.h"
#include "RepaintPacer.h"
#include "SerialPortList.h"
#include "SoundPlayer.h"
#include "SqliteConnection.h"
#include "StatementCatalogue.h"
#include "StationDatabase.h"
#include "StationError.h"
#include "TCachedLabel.h"
#include "TElidedLabel.h"
#include "TFalm.h"
#include "TFset.h"
#include "TFset2.h"
#include "TrayPictures.h"

namespace {

constexpr int kBoardMaxLines = 259;
// How long the reading path waits for another program's lock on the database: the window must
// not freeze while a reading is judged. Other statements wait as long as the windows always did.
constexpr int kReadingBusyTimeoutMs = 40;
constexpr int kWindowBusyTimeoutMs = 2000;
constexpr int kRowHeightDefault = 25;
constexpr int kIntervalDefault = 60;
const QColor kSilentRowColour(0, 0, 160);
const QColor kSilentTextColour(255, 255, 0);

// Sets the database's lock wait for the reading path and puts it back when it ends.
class ReadingBusyTimeout {
  public:
    ReadingBusyTimeout() {
        if (depth_++ == 0)
            SqliteConnection::SetBusyTimeout(QString::fromLatin1(StationDatabase::kConnectionName),
                                             kReadingBusyTimeoutMs);
    }
    ~ReadingBusyTimeout() {
        if (--depth_ == 0)
            SqliteConnection::SetBusyTimeout(QString::fromLatin1(StationDatabase::kConnectionName),
                                             kWindowBusyTimeoutMs);
    }
    ReadingBusyTimeout(const ReadingBusyTimeout&) = delete;
    ReadingBusyTimeout& operator=(const ReadingBusyTimeout&) = delete;

  private:
    static inline int depth_ = 0;
};

QString StampText(const QDateTime& t) {
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

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
      registerLookup_(QString::fromLatin1(StationDatabase::kConnectionName)),
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
    // The device vanished (an adapter unplugged): handled once the component's event is over,
    // since the handling closes the port.
    Comm1.OnRequestHangup = [this](TComm*) {
        QTimer::singleShot(0, this, [this] { RunHandler([this] { Comm1RequestHangup(); }); });
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
    TimerR_.setInterval(buswatch::kRediscoverySeconds * 1000);
    connect(&TimerR_, &QTimer::timeout, this, [this] { RunHandler([this] { TimerRTimer(); }); });
    soundRepeat_.setInterval(500);
    connect(&soundRepeat_, &QTimer::timeout, this, [this] { RepeatSound(); });
    flushTimer_.setInterval(1000);
    connect(&flushTimer_, &QTimer::timeout, this,
            [this] { RunHandler([this] { FlushPendingAlarms(); }); });
    SetErrorOverflow([this](const QString& text) { ErrorOverflow(text); },
                     [this] {
                         overflowCounts_.clear();
                         overflowLines_.clear();
                     });

    hTrayIcon1 = std::make_unique<ThTrayIcon>(this);
    SetUpStationTrayIcon(*hTrayIcon1, ImageList3);
    hTrayIcon1->Loaded();

    // A busy bus changes the grid and the board several times a second; the window is
    // repainted with what changed at most once a second, at once while the operator
    // works in it.
    // The board's new lines move its picture once per repaint, not once per line.
    auto* pacer = new RepaintPacer(this);
    RzListBox1->SetScrollsDeferred(true);
    connect(pacer, &RepaintPacer::Painting, RzListBox1, &TMessageBoard::ApplyScrolls);

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
    RzListBox1 = new TMessageBoard(kBoardMaxLines, left);
    RzListBox1->setObjectName(QStringLiteral("RzListBox1"));
    RzListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Colours and font through the palette rather than a style sheet: the board draws a line
    // with every reading, and a style sheet makes it and its scroll bars far dearer to paint.
    {
        QPalette pal = RzListBox1->palette();
        pal.setColor(QPalette::Base, QColor(240, 202, 166));
        pal.setColor(QPalette::Text, Qt::black);
        RzListBox1->setPalette(pal);
        QFont boardFont = RzListBox1->font();
        boardFont.setPixelSize(12);
        RzListBox1->setFont(boardFont);
    }
    leftLayout->addWidget(RzListBox1, 1);
    body->addWidget(left);

    // Centre: the monitoring grid.
    RzStringGrid1 = new TStringGrid(central);
    RzStringGrid1->setObjectName(QStringLiteral("RzStringGrid1"));
    RzStringGrid1->SetFixedCols(1);
    RzStringGrid1->SetFixedColor(QColor(64, 0, 0));
    // Colours through the palette rather than a style sheet: a cell that changes is then drawn
    // on its own, without the grid's frame and the window background beneath it.
    {
        QPalette gridPal = RzStringGrid1->palette();
        gridPal.setColor(QPalette::Base, Qt::black);
        gridPal.setColor(QPalette::Window, Qt::black);
        gridPal.setColor(QPalette::Text, Qt::green);
        gridPal.setColor(QPalette::Highlight, QColor(0, 64, 0));
        gridPal.setColor(QPalette::HighlightedText, Qt::green);
        RzStringGrid1->setPalette(gridPal);
        RzStringGrid1->SetGridLineColor(Qt::red);
        RzStringGrid1->horizontalHeader()->setStyleSheet(QStringLiteral(
            "QHeaderView { background: black; }"
            "QHeaderView::section { background: rgb(64,0,0); color: lime; border: 1px solid red;"
            " font-weight: bold; }"));
    }
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
    RzLabel1 = new TCachedLabel(QStringLiteral("采集倒计时:"), right);
    RzLabel1->setObjectName(QStringLiteral("RzLabel1"));
    RzLabel1->setFixedSize(130, 24);
    {
        QPalette labelPal = RzLabel1->palette();
        labelPal.setColor(QPalette::Window, Qt::black);
        labelPal.setColor(QPalette::WindowText, Qt::green);
        RzLabel1->setPalette(labelPal);
        RzLabel1->setAutoFillBackground(true);
        QFont labelFont = RzLabel1->font();
        labelFont.setBold(true);
        RzLabel1->setFont(labelFont);
    }
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
    // Below the six buttons, so that nothing above moves: the reading history and how the
    // station sees the bus.
    historyButton = MakeButton(QStringLiteral("历史曲线"), right);
    historyButton->setObjectName(QStringLiteral("historyButton"));
    rightLayout->addWidget(historyButton);
    rightLayout->addSpacing(10);
    busStateLabel = new QLabel(right);
    busStateLabel->setObjectName(QStringLiteral("busStateLabel"));
    busStateLabel->setFixedSize(130, 28);
    busStateLabel->setAlignment(Qt::AlignCenter);
    rightLayout->addWidget(busStateLabel);
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
    // Whoever keeps the history shows it; the main window only says which sensor is meant.
    connect(historyButton, &QToolButton::clicked, this, [this] {
        const int row = RzStringGrid1->Row();
        emit events_.HistoryRequested(row > 0 ? RzStringGrid1->Cell(0, row).toInt() : 0);
    });
    connect(RzStringGrid1, &TStringGrid::CellDoubleClicked, this, [this](int, int row) {
        if (row > 0) emit events_.HistoryRequested(RzStringGrid1->Cell(0, row).toInt());
    });
    RzStringGrid1->OnDrawCell = [this](int col, int row, const QRect& rect, QPainter& painter) {
        RzStringGrid1DrawCell(col, row, rect, painter);
    };
    connect(RzStringGrid1, &TStringGrid::Resized, this, [this] { RzStringGrid1Resize(); });
    SetBusState(BusConnecting);
}

QString TFmain::BusStateText(int state) {
    switch (state) {
        case BusConnecting:
            return QStringLiteral("正在连接...");
        case BusNotConnected:
            return QStringLiteral("未连接");
        case BusOk:
            return QStringLiteral("通信正常");
        case BusLost:
            return QStringLiteral("通信中断");
        case BusReconnecting:
            return QStringLiteral("正在重新连接...");
    }
    return QString();
}

void TFmain::SetBusState(BusState state) {
    busStateLabel->setText(BusStateText(state));
    const char* style = "background: black; color: lime; font-weight: bold; font-size: 14px;";
    if (state == BusLost)
        style = "background: rgb(255,0,0); color: white; font-weight: bold; font-size: 14px;";
    else if (state == BusReconnecting || state == BusConnecting)
        style = "background: black; color: yellow; font-weight: bold; font-size: 14px;";
    else if (state == BusNotConnected)
        style = "background: rgb(160,0,0); color: white; font-weight: bold; font-size: 14px;";
    busStateLabel->setStyleSheet(QString::fromLatin1(style));
}

void TFmain::FormCreate() {
    // 1. The database beside the program.
    try {
        StationDatabase::Open(programFolder_ + QStringLiteral("newdb.mdb"));
        databaseOpen_ = true;
        // SQLite opens a write-protected file read-only without a word; the station runs all
        // the same (monitoring matters more than the log) and keeps its alarms until it can
        // write them.
        databaseReadOnly_ =
            SqliteConnection::ReadOnly(QString::fromLatin1(StationDatabase::kConnectionName));
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
    RzListBox1->Clear();
    overflowLines_.clear();
    if (!ports || ports->count() == 0) AddBoardLine(QStringLiteral("未找到通信口"));
    state_.portIndex = 0;
    state_.handshakeOk = false;
    state_.silentPortSeen = false;
    Timer2_.start();
    AddBoardLine(QStringLiteral("对接测试..."));

    // 7.-12. Each step runs whatever happened to the one before: a value that does not convert
    // takes its installed default and a refused write is reported, but the station never
    // starts without timed acquisition because of them. The messages are shown once the steps
    // are done, so that an unattended start is watching before anybody answers a box.
    QStringList failures;
    auto step = [&failures](const std::function<void()>& body) {
        try {
            body();
            return true;
        } catch (const StationError& e) {
            failures << e.Message();
            return false;
        }
    };
    const QString seting = QStringLiteral("seting");
    // 7. First-run defaults.
    if (!step([&] {
            if (ReadSetting(seting, QStringLiteral("start")) == QStringLiteral("0")) {
                WriteSetting(seting, QStringLiteral("media"),
                             programFolder_ + QStringLiteral("Alarm.wav"));
                WriteSetting(seting, QStringLiteral("start"), QStringLiteral("1"));
            }
        }))
        AddBoardLine(QStringLiteral("设置文件无法写入: ") + settingsPath_);
    // 8. Tray mode.
    step([&] { SetTrayMode(ReadSetting(seting, QStringLiteral("icon")) == QStringLiteral("1")); });
    // 9. Header.
    step([&] { sLabelFX23->setText(ReadSetting(seting, QStringLiteral("title"))); });
    // 10. Row height.
    const QString addhigh = ReadSetting(seting, QStringLiteral("addhigh"));
    if (!step([&] { SetGridDefaultRowHeight(StrToInt(addhigh)); })) {
        SetGridDefaultRowHeight(kRowHeightDefault);
        AddBoardLine(QStringLiteral("行高(addhigh)的值\"%1\"无效，已使用默认值%2")
                         .arg(addhigh)
                         .arg(kRowHeightDefault));
    }
    // 11. Interval and countdown; only a value of 0 or less switches timed acquisition off.
    const QString interval = ReadSetting(seting, QStringLiteral("interval"));
    int32_t n = kIntervalDefault;
    if (!step([&] { n = StrToInt(interval); })) {
        n = kIntervalDefault;
        AddBoardLine(QStringLiteral("采集间隔(interval)的值\"%1\"无效，已使用默认值%2秒")
                         .arg(interval)
                         .arg(kIntervalDefault));
    }
    if (n == 0) RzLabel1->setText(QStringLiteral("不启用定时采集"));
    state_.pollInterval = n;
    state_.countdown = n;
    // 12. Alarm sound.
    state_.alarmSoundFile = ReadSetting(seting, QStringLiteral("media"));

    if (databaseReadOnly_)
        AddBoardLine(QStringLiteral("数据库文件只读，报警记录暂时无法保存；文件可写后自动补写"));
    if (!failures.isEmpty()) {
        QTimer::singleShot(0, this, [failures] {
            for (const QString& text : failures) ShowErrorBox(text);
        });
    }
}

void TFmain::ShowAtStart() {
    const bool tray =
        ReadSetting(QStringLiteral("seting"), QStringLiteral("icon")) == QStringLiteral("1") &&
        QSystemTrayIcon::isSystemTrayAvailable();
    if (!tray) {
        show();
        return;
    }
    FormShow();
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
    // The register as loaded, kept for readings that meet a failing database.
    registerSnapshot_ = ADOQuery1;
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
    rowSensors_.assign(static_cast<size_t>(n) + 1, SensorInfo{});
    int i = 1;
    for (ADOQuery1.First(); !ADOQuery1.Eof(); ADOQuery1.Next(), ++i) {
        SensorInfo& sensor = rowSensors_[static_cast<size_t>(i)];
        sensor.code = ADOQuery1.AsInteger(QStringLiteral("code"));
        sensor.codeid = ADOQuery1.AsString(QStringLiteral("codeid")).trimmed();
        sensor.fix = ADOQuery1.AsString(QStringLiteral("fix"));
        sensor.high = ADOQuery1.AsFloat(QStringLiteral("almhigh"));
        sensor.low = ADOQuery1.AsFloat(QStringLiteral("almlow"));
        g->SetCell(0, i, ADOQuery1.AsString(QStringLiteral("code")));
        if (clearReadings) g->SetCell(1, i, QString());
        g->SetCell(2, i, ADOQuery1.AsString(QStringLiteral("fix")));
        QString almnear = ADOQuery1.AsString(QStringLiteral("almnear"));
        // An alarm whose stamp waits to be written is recorded all the same.
        if (almnear.trimmed().isEmpty() && !pendingStamps_.isEmpty())
            almnear = pendingStamps_.value(ADOQuery1.AsInteger(QStringLiteral("code")), almnear);
        g->SetCell(3, i, almnear);
        if (g->Cell(3, i).trimmed().isEmpty()) rowAlarmState[i] = 0;
    }
    if (n == 0) rowAlarmState[1] = 0;
    g->viewport()->repaint();
}

void TFmain::AddBoardLine(const QString& text) {
    RzListBox1->AddLine(text);
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

// The register, alarm log and settings windows are modal, but monitoring goes on while one is
// open: readings are requested, judged and alarmed as usual. Each window restarts the
// countdown as it closes.
void TFmain::SpeedButton2Click() {
    if (Fset_) Fset_->exec();
}

void TFmain::SpeedButton3Click() {
    if (Falm_) Falm_->exec();
}

void TFmain::SpeedButton7Click() {
    if (Fset2_) Fset2_->exec();
}

void TFmain::SpeedButton4Click() {
    close();
}

void TFmain::SpeedButton5Click() {
    RzListBox1->Clear();
    overflowLines_.clear();
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
    auto endRediscovery = [&] {
        // An attempt of its own to find a lost bus again ends quietly; the next one follows.
        rediscovering_ = false;
        Comm1.CloseComm();
        if (busWatch_.BusLost()) {
            SetBusState(BusLost);
            SetConnectionStatus(QStringLiteral("通信中断       "));
        } else {
            SetBusState(BusNotConnected);
            SetConnectionStatus(QStringLiteral("未连接       "));
        }
    };
    if (count == 0) {
        if (rediscovering_) {
            endRediscovery();
            return;
        }
        // Nothing to probe: start-up or reconnect has already said "未找到通信口". Whatever
        // port was open is closed now, so the status must not claim a connection.
        SetConnectionStatus(QStringLiteral("未连接       "));
        if (!busWatch_.BusLost()) SetBusState(BusNotConnected);
        TimerR_.start();  // the bus may be plugged in later: it is searched for again
        return;
    }
    auto endWithoutSuccess = [&] {
        if (rediscovering_) {
            endRediscovery();
            return;
        }
        if (!busWatch_.BusLost()) SetBusState(BusNotConnected);
        TimerR_.start();  // the bus may be plugged in later: it is searched for again
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
    if (!Comm1.PortOpen() && !rediscovering_) {
        // A port that is missing or that the operator may not open is not busy: say so.
        const QString problem = PortOpenProblem(list->itemText(state_.portIndex));
        if (!problem.isEmpty()) AddBoardLine(problem);
    }
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
        rediscovering_ = false;
        if (busWatch_.BusLost()) {
            BusRestoredEpisode();
        } else {
            busWatch_.Connected();
            emit events_.BusConnected(QDateTime::currentDateTime());
        }
        TimerR_.stop();
        SetBusState(BusOk);
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
        state_.countdown = state_.pollInterval;
        if (RequestsHeld()) return;
        // With no port open nothing can be asked: the board does not claim a collection then
        // (the state text beside the buttons says why), and the lost bus stays in view.
        if (!Comm1.PortOpen()) return;
        AddBoardLine(QStringLiteral("采集数据..."));
        SendReadRequest();
    }
}

void TFmain::SpeedButton1Click() {
    state_.countdown = state_.pollInterval;
    if (RequestsHeld()) return;
    if (!Comm1.PortOpen()) {
        AddBoardLine(busWatch_.BusLost() ? QStringLiteral("通信中断，未能采集数据")
                                         : QStringLiteral("未连接，未能采集数据"));
        return;
    }
    SendReadRequest();
    AddBoardLine(QStringLiteral("数据采集..."));
}

bool TFmain::RequestsHeld() const {
    // The device search owns the bus while its progress window shows; a search for a lost bus
    // probes ports that must not be sent anything else.
    if (rediscovering_) return true;
    const QWidget* search = findChild<QWidget*>(QStringLiteral("TFprs"));
    return search && search->isVisible();
}

void TFmain::SendReadRequest() {
    JudgeRequest();
    SendCommand(busprotocol::kReadCommand);
}

void TFmain::JudgeRequest() {
    QVector<int> monitored;
    monitored.reserve(RzStringGrid1->RowCount());
    for (int r = 1; r < RzStringGrid1->RowCount(); ++r) {
        const int code = RzStringGrid1->Cell(0, r).toInt();
        if (code > 0) monitored.append(code);
    }
    const BusWatch::Verdict v = busWatch_.RequestSent(monitored);
    if (v.busLost) BusLostEpisode();
    for (int code : v.silenced) SensorSilentEpisode(code);
}

int TFmain::RowOfCode(int code) const {
    const QString text = QString::number(code);
    for (int r = 1; r < RzStringGrid1->RowCount(); ++r)
        if (RzStringGrid1->Cell(0, r).trimmed() == text) return r;
    return 0;
}

SensorInfo TFmain::SensorOfRow(int row) const {
    if (row > 0 && static_cast<size_t>(row) < rowSensors_.size() &&
        QString::number(rowSensors_[static_cast<size_t>(row)].code) ==
            RzStringGrid1->Cell(0, row).trimmed())
        return rowSensors_[static_cast<size_t>(row)];
    SensorInfo info;
    info.code = RzStringGrid1->Cell(0, row).toInt();
    info.fix = RzStringGrid1->Cell(2, row);
    return info;
}

void TFmain::AlarmSignals(const QString& balloon) {
    hTrayIcon1->SetAnimate(true);
    CloseSound(QStringLiteral("mywave"));
    if (OpenSound(QStringLiteral("mywave"), state_.alarmSoundFile, QStringLiteral("MPEGVideo")) ==
        QStringLiteral("ok")) {
        StartSound(QStringLiteral("mywave"));
        // Without a sound device the player plays into silence: nobody hears the alarm.
        SoundPlayer& player = SoundPlayer::Shared();
        if (!silentOutputReported_ &&
            player.SinkInUse(QStringLiteral("mywave")) != player.AudioSink()) {
            silentOutputReported_ = true;
            AddBoardLine(QStringLiteral("没有可用的声音输出设备，报警声音无法播放"));
        }
    }
    Led->setValue(true);
    Led->setVisible(true);
    alarmActive_ = true;
    if (ReadSetting(QStringLiteral("notify"), QStringLiteral("sound_repeat")) !=
        QStringLiteral("0"))
        soundRepeat_.start();
    hTrayIcon1->SetBalloonTitle(QStringLiteral("报警"));
    hTrayIcon1->SetBalloonHint(balloon);
    hTrayIcon1->SetBalloonTimeout(10000);
    hTrayIcon1->SetBalloonFlags(TCustomhTrayIcon::bfWarning);
    hTrayIcon1->ShowBalloonHint();
    if (isHidden() || isMinimized()) {
        // A station kept in the tray comes back to the screen.
        showNormal();
        raise();
        activateWindow();
    }
}

void TFmain::RepeatSound() {
    if (!alarmActive_) {
        soundRepeat_.stop();
        return;
    }
    const QString alias = QStringLiteral("mywave");
    if (SoundPlayer::Shared().IsOpen(alias) && !SoundPlayer::Shared().IsPlaying(alias))
        StartSound(alias);
}

void TFmain::Comm1RequestHangup() {
    // A port that vanishes while discovery probes it is simply skipped by the discovery.
    if (Timer2_.isActive() || Timer3_.isActive()) return;
    Comm1.CloseComm();  // releases the device, so that the kernel can give its name again
    if (busWatch_.Hangup()) BusLostEpisode();
}

void TFmain::BusLostEpisode() {
    const QDateTime now = QDateTime::currentDateTime();
    AddBoardLine(QStringLiteral("通信中断"));
    SetBusState(BusLost);
    AlarmSignals(QStringLiteral("通信中断：收不到传感器总线的数据"));
    SetConnectionStatus(QStringLiteral("通信中断       "));
    // What the grid shows is no longer current.
    for (int r = 1; r < RzStringGrid1->RowCount(); ++r)
        if (!RzStringGrid1->Cell(0, r).isEmpty())
            RzStringGrid1->SetCell(1, r, QStringLiteral("无数据"));
    StoreAlarm({now, 0, QStringLiteral("通信中断"), QStringLiteral(""), false});
    reconnectAnnounced_ = false;
    TimerR_.start();
    emit events_.BusLost(now);
}

void TFmain::BusRestoredEpisode() {
    busWatch_.BusRestored();
    TimerR_.stop();
    rediscovering_ = false;
    AddBoardLine(QStringLiteral("通信恢复"));
    SetBusState(BusOk);
    emit events_.BusRestored(QDateTime::currentDateTime());
}

void TFmain::TimerRTimer() {
    // Searching goes on while the bus is lost, or while it has not been found at all.
    const bool connected = Comm1.PortOpen() && state_.handshakeOk && !busWatch_.BusLost();
    if (connected) {
        TimerR_.stop();
        return;
    }
    if (Timer2_.isActive() || Timer3_.isActive()) return;  // a discovery is under way
    // The adapter may come back under another name: the port list is read again.
    if (QComboBox* list = PortList()) ListSerialPorts(list);
    rediscovering_ = true;
    state_.portIndex = 0;
    state_.handshakeOk = false;
    state_.silentPortSeen = false;
    SetBusState(busWatch_.BusLost() ? BusReconnecting : BusConnecting);
    if (busWatch_.BusLost() && !reconnectAnnounced_) {
        reconnectAnnounced_ = true;
        emit events_.BusReconnecting(QDateTime::currentDateTime());
    }
    Timer2_.start();
}

void TFmain::SensorSilentEpisode(int code) {
    const int r = RowOfCode(code);
    if (r == 0) return;
    const QDateTime now = QDateTime::currentDateTime();
    const SensorInfo sensor = SensorOfRow(r);
    RzStringGrid1->SetCell(1, r, QStringLiteral("无数据"));
    AddBoardLine(QStringLiteral("传感器离线: 编号%1 %2").arg(code).arg(sensor.fix.trimmed()));
    StoreAlarm({now, code, sensor.fix, QStringLiteral("离线"), false});
    AlarmSignals(QStringLiteral("传感器离线: 编号%1 %2").arg(code).arg(sensor.fix.trimmed()));
    RzStringGrid1->viewport()->update();
    emit events_.SensorSilent(sensor, now);
}

void TFmain::SensorBackEpisode(int code, int row) {
    const SensorInfo sensor = SensorOfRow(row);
    AddBoardLine(QStringLiteral("传感器恢复: 编号%1 %2").arg(code).arg(sensor.fix.trimmed()));
    RzStringGrid1->viewport()->update();
    emit events_.SensorBack(sensor, QDateTime::currentDateTime());
}

void TFmain::EvaluateReading(const QString& id, double t) {
    ReadingBusyTimeout shortWaits;
    // The register is read for every reading, so that a saved change applies at once. When the
    // database fails (locked, damaged), the reading is judged against the register as last
    // read: a failing database must not cost an alarm.
    MonitoredSensor sensor;
    try {
        sensor = registerLookup_.Find(id);
    } catch (const StationError& e) {
        if (!registerSnapshot_.Active()) throw;
        PostErrorBox(e.Message());
        sensor = RegisterLookup::Find(registerSnapshot_, id);
    }
    if (sensor.result == MonitoredSensor::RegisterEmpty) {
        busWatch_.ReadingArrived(0);
        if (busWatch_.TakeBusBack()) BusRestoredEpisode();
        AddBoardLine(QStringLiteral("接收ID:") + id + QStringLiteral("未配置"));
        return;
    }
    const int r = sensor.row;
    if (sensor.result == MonitoredSensor::NotRegistered) {
        busWatch_.ReadingArrived(0);
        if (busWatch_.TakeBusBack()) BusRestoredEpisode();
        return;
    }

    const QDateTime now = QDateTime::currentDateTime();
    const QString T = busprotocol::TemperatureText(t);
    RzStringGrid1->SetCell(1, r, T);
    RzStringGrid1->SetCellHint(1, r, QStringLiteral("读取时间: ") + StampText(now));
    AddBoardLine(QStringLiteral("ID:") + id + QStringLiteral(" 温度:") + T + QStringLiteral("℃"));

    const double H = sensor.high;
    const double L = sensor.low;
    const int code = sensor.code;
    QString N = TrimControl(sensor.almnear);
    if (N.isEmpty() && !pendingStamps_.isEmpty()) N = pendingStamps_.value(code);
    if (rowAlarmState.size() <= static_cast<size_t>(r)) rowAlarmState.resize(r + 1, 0);

    const bool back = busWatch_.ReadingArrived(code);
    if (busWatch_.TakeBusBack()) BusRestoredEpisode();
    if (back) SensorBackEpisode(code, r);

    ReadingEvent reading;
    reading.sensor.code = code;
    reading.sensor.codeid = id;
    reading.sensor.fix = sensor.fix;
    reading.sensor.high = H;
    reading.sensor.low = L;
    reading.time = now;
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
        const QString fix = reading.sensor.fix;
        RecordAlarm(now, r, code, fix, T);
        emit events_.AlarmRecorded(reading);
        AlarmSignals(QStringLiteral("编号%1 %2 温度%3℃，%4%5℃")
                         .arg(code)
                         .arg(fix.trimmed(), T,
                              high ? QStringLiteral("上限") : QStringLiteral("下限"),
                              busprotocol::TemperatureText(high ? H : L)));
        AddBoardLine(QStringLiteral("ID:") + id + QStringLiteral("报警"));
    } else if (!N.isEmpty()) {
        reading.state = ReadingState::Recorded;
        rowAlarmState[r] = 2;
        emit events_.ReadingEvaluated(reading);
        if (before == 1) emit events_.AlarmEnded(reading);
        RzStringGrid1->viewport()->update();
    } else {
        emit events_.ReadingEvaluated(reading);
        if (back) RzStringGrid1->viewport()->update();
    }
}

void TFmain::RecordAlarm(const QDateTime& time, int row, int code, const QString& fix,
                         const QString& temperatureText) {
    // The alarm is raised in full even when its row cannot be written now.
    StoreAlarm({time, code, fix, temperatureText, true});
    try {
        LoadMonitorRows(false);
    } catch (const StationError& e) {
        PostErrorBox(e.Message());
        RzStringGrid1->SetCell(3, row, StampText(time));
        RzStringGrid1->viewport()->update();
    }
}

void TFmain::WriteAlarm(const PendingAlarm& alarm) {
    if (databaseReadOnly_)
        throw DatabaseError(QStringLiteral("attempt to write a readonly database"));
    QSqlDatabase db = StationDatabase::Connection();
    // The log row and the stamp go in together or not at all, so that an alarm kept for later
    // is never written twice.
    if (!db.transaction()) throw DatabaseError(db.lastError().text());
    try {
        ADOQuery1.Prepare(catalogue::InsertAlarm);
        ADOQuery1.SetParam(QStringLiteral("dates"),
                           StrToInt(alarm.time.toString(QStringLiteral("yyyyMMdd"))));
        ADOQuery1.SetParam(QStringLiteral("times"),
                           StrToInt(alarm.time.toString(QStringLiteral("HHmmss"))));
        ADOQuery1.SetParam(QStringLiteral("code"), alarm.code);
        ADOQuery1.SetParam(QStringLiteral("fix"), alarm.fix);
        ADOQuery1.SetParam(QStringLiteral("almtemp"), alarm.temperatureText);
        ADOQuery1.ExecSQL();
        if (alarm.stamp) {
            ADOQuery1.Prepare(catalogue::StampRecordedAlarm);
            ADOQuery1.SetParam(QStringLiteral("almnear"), StampText(alarm.time));
            ADOQuery1.SetParam(QStringLiteral("code"), alarm.code);
            ADOQuery1.ExecSQL();
        }
        if (!db.commit()) throw DatabaseError(db.lastError().text());
    } catch (...) {
        db.rollback();
        throw;
    }
}

void TFmain::StoreAlarm(const PendingAlarm& alarm) {
    ReadingBusyTimeout shortWaits;
    FlushPendingAlarms();  // earlier alarms first, in order
    QString failure;
    if (pendingAlarms_.empty()) {
        try {
            WriteAlarm(alarm);
            return;
        } catch (const StationError& e) {
            failure = e.Message();
        }
    }
    pendingAlarms_.push_back(alarm);
    if (alarm.stamp) pendingStamps_.insert(alarm.code, StampText(alarm.time));
    AddBoardLine(QStringLiteral("报警记录暂存%1条，等待写入数据库").arg(pendingAlarms_.size()));
    flushTimer_.start();
    if (!failure.isEmpty() && !databaseReadOnly_) PostErrorBox(failure);
}

void TFmain::ReopenReadOnlyDatabase() {
    // A connection that SQLite opened read-only stays so: once the file and its folder can be
    // written, the connection is opened again.
    const QString path = programFolder_ + QStringLiteral("newdb.mdb");
    const QFileInfo file(path);
    const QFileInfo folder(file.absolutePath());
    if (::access(QFile::encodeName(path).constData(), W_OK) != 0 ||
        ::access(QFile::encodeName(folder.absoluteFilePath()).constData(), W_OK) != 0)
        return;
    StationDatabase::Open(path);
    databaseReadOnly_ =
        SqliteConnection::ReadOnly(QString::fromLatin1(StationDatabase::kConnectionName));
    if (!databaseReadOnly_) AddBoardLine(QStringLiteral("数据库文件已可写"));
}

void TFmain::FlushPendingAlarms() {
    if (pendingAlarms_.empty()) {
        flushTimer_.stop();
        return;
    }
    ReadingBusyTimeout shortWaits;
    if (databaseReadOnly_) {
        try {
            ReopenReadOnlyDatabase();
        } catch (const StationError&) {
            databaseReadOnly_ = true;
        }
        if (databaseReadOnly_) return;
    }
    int written = 0;
    while (!pendingAlarms_.empty()) {
        try {
            WriteAlarm(pendingAlarms_.front());
        } catch (const StationError&) {
            break;  // tried again on the next tick
        }
        const PendingAlarm& done = pendingAlarms_.front();
        if (done.stamp && pendingStamps_.value(done.code) == StampText(done.time))
            pendingStamps_.remove(done.code);
        pendingAlarms_.pop_front();
        ++written;
    }
    if (written > 0) AddBoardLine(QStringLiteral("暂存的报警记录已写入数据库: %1条").arg(written));
    if (pendingAlarms_.empty()) flushTimer_.stop();
}

void TFmain::ErrorOverflow(const QString& text) {
    // While the error box is open, each kind of failure has one board line with its count.
    const int n = ++overflowCounts_[text];
    const QString line = QStringLiteral("错误(%1次): ").arg(n) + text;
    // A counted line that has left the board gets a new line with the next count.
    const auto it = overflowLines_.constFind(text);
    if (it != overflowLines_.cend() && RzListBox1->ReplaceLine(it.value(), line)) return;
    overflowLines_.insert(text, RzListBox1->AddLine(line));
}

void TFmain::RzStringGrid1DrawCell(int col, int row, const QRect& rect, QPainter& painter) {
    if (row < 1 || static_cast<size_t>(row) >= rowAlarmState.size()) return;
    const uint8_t state = rowAlarmState[row];
    if (!busWatch_.SilentSensors().isEmpty() &&
        busWatch_.Silent(RzStringGrid1->Cell(0, row).toInt())) {
        // A silent sensor's row has a colour of its own, whatever its alarm state.
        painter.fillRect(rect, kSilentRowColour);
        painter.setFont(RzStringGrid1->font());
        painter.setPen(kSilentTextColour);
        painter.drawText(rect.adjusted(2, 2, 0, 0),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                         RzStringGrid1->Cell(col, row));
        return;
    }
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
    // Whatever fails below, monitoring goes on.
    struct RestartCountdown {
        TFmain* m;
        ~RestartCountdown() {
            m->state_.countdown = m->state_.pollInterval;
            m->TimerB_.start();
        }
    } restart{this};
    // Alarms still waiting to be written keep their log rows; their stamps are cleared here.
    for (PendingAlarm& a : pendingAlarms_) a.stamp = false;
    pendingStamps_.clear();
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
    alarmActive_ = false;
    soundRepeat_.stop();
    hTrayIcon1->SetAnimate(false);
    emit events_.ScreenRefreshed(QDateTime::currentDateTime());
}
