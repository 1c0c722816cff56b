#include "TFset2.h"

#include <QCoreApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QShowEvent>
#include <QTimer>

#include "AutostartEntry.h"
#include "Conversions.h"
#include "MessageBoxes.h"
#include "SoundPlayer.h"
#include "StationLink.h"
#include "TFnotify.h"

namespace {

const QString kSection = QStringLiteral("seting");
const QString kSoundAlias = QStringLiteral("mywave");
const QString kSoundDevice = QStringLiteral("MPEGVideo");

QLabel* MakeLabel(const QString& text, QWidget* parent, int x, int y) {
    auto* l = new QLabel(text, parent);
    l->move(x, y);
    l->adjustSize();
    return l;
}

QPushButton* MakeButton(const QString& text, QWidget* parent, const QRect& geometry) {
    auto* b = new QPushButton(text, parent);
    b->setGeometry(geometry);
    // These buttons do not take the focus: pressing one leaves the field being edited as it is,
    // so its repair on leaving does not run and its text is taken as it stands.
    b->setFocusPolicy(Qt::NoFocus);
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

}  // namespace

TFset2::TFset2(StationLink& main, QWidget* parent) : QDialog(parent), main_(main) {
    setObjectName(QStringLiteral("TFset2"));
    setWindowTitle(QStringLiteral("参数设定"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(373, 292);
    BuildLayout();
    SpeedButton1->setEnabled(false);

    // Any change of the title, row height or interval text, and a click on a radio button, is an
    // unsaved change. A radio button selected by the program counts when it actually turns on.
    connect(RzEdit1, &QLineEdit::textChanged, this,
            [this] { RunHandler([this] { RzSpinEdit1Change(); }); });
    connect(RzSpinEdit1, &TSpinField::TextChanged, this,
            [this] { RunHandler([this] { RzSpinEdit1Change(); }); });
    connect(RzSpinEdit3, &TSpinField::TextChanged, this,
            [this] { RunHandler([this] { RzSpinEdit1Change(); }); });
    for (QRadioButton* r : {RzRadioButton1, RzRadioButton2}) {
        connect(r, &QRadioButton::clicked, this,
                [this] { RunHandler([this] { RzSpinEdit1Change(); }); });
        connect(r, &QRadioButton::toggled, this, [this](bool on) {
            if (on) RunHandler([this] { RzSpinEdit1Change(); });
        });
    }
    connect(CheckBoxAutostart, &QCheckBox::toggled, this,
            [this] { RunHandler([this] { RzSpinEdit1Change(); }); });
    connect(sFilenameEdit1, &QLineEdit::textChanged, this,
            [this] { RunHandler([this] { sFilenameEdit1Change(); }); });
    connect(RzSpinEdit1, &TSpinField::Exited, this,
            [this] { RunHandler([this] { RzSpinEdit1Exit(); }); });
    connect(RzSpinEdit3, &TSpinField::Exited, this,
            [this] { RunHandler([this] { RzSpinEdit3Exit(); }); });
    connect(SpeedButton1, &QPushButton::clicked, this,
            [this] { RunHandler([this] { SpeedButton1Click(); }); });
    connect(SpeedButton6, &QPushButton::clicked, this,
            [this] { RunHandler([this] { SpeedButton6Click(); }); });
    connect(SpeedButton3, &QPushButton::clicked, this,
            [this] { RunHandler([this] { SpeedButton3Click(); }); });
    connect(SpeedButton7, &QPushButton::clicked, this,
            [this] { RunHandler([this] { SpeedButton7Click(); }); });
    connect(ButtonNotify, &QPushButton::clicked, this,
            [this] { RunHandler([this] { ButtonNotifyClick(); }); });
}

void TFset2::BuildLayout() {
    heading = new QLabel(QStringLiteral("参 数 配 置"), this);
    heading->setObjectName(QStringLiteral("heading"));
    heading->setAlignment(Qt::AlignCenter);
    heading->setGeometry(0, 2, width(), 26);
    heading->setStyleSheet(
        QStringLiteral("color: rgb(0,48,112); font-weight: bold; font-size: 18px;"));
    // Start at login, at the right end of the heading row.
    CheckBoxAutostart = new QCheckBox(QStringLiteral("登录时启动"), this);
    CheckBoxAutostart->setObjectName(QStringLiteral("CheckBoxAutostart"));
    CheckBoxAutostart->setToolTip(QStringLiteral("开机登录后自动启动本程序"));
    CheckBoxAutostart->setGeometry(270, 6, 100, 20);
    // Remote notifications, at the left end of the heading row.
    ButtonNotify = MakeButton(QStringLiteral("远程通知"), this, QRect(8, 4, 72, 22));
    ButtonNotify->setObjectName(QStringLiteral("ButtonNotify"));
    ButtonNotify->setToolTip(QStringLiteral("消息服务器、网络回调与邮件通知"));

    auto group = [this](const QString& caption, const QRect& geometry, const char* name) {
        auto* g = new QGroupBox(caption, this);
        g->setObjectName(QString::fromLatin1(name));
        g->setGeometry(geometry);
        return g;
    };

    // Communication: status, port list, reconnect.
    GroupBox1 = group(QStringLiteral("通信参数"), QRect(8, 30, 357, 66), "GroupBox1");
    RzLabel3 = MakeLabel(QStringLiteral("当前状态:        "), GroupBox1, 10, 22);
    RzLabel4 = MakeLabel(QStringLiteral("通信口:       "), GroupBox1, 10, 44);
    sLabelFX3 = new QLabel(QStringLiteral("未连接       "), GroupBox1);
    sLabelFX3->setObjectName(QStringLiteral("sLabelFX3"));
    sLabelFX3->setGeometry(84, 20, 140, 18);
    sLabelFX3->setStyleSheet(QStringLiteral("color: red;"));
    ComboBox1 = new QComboBox(GroupBox1);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(true);
    // The list holds the ports the station found, and discovery probes exactly those: text
    // typed into the box is never added to it.
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setToolTip(QStringLiteral("当前通信"));
    ComboBox1->setGeometry(84, 40, 150, 22);
    SpeedButton3 = MakeButton(QStringLiteral("重新连接"), GroupBox1, QRect(252, 30, 90, 28));
    SpeedButton3->setObjectName(QStringLiteral("SpeedButton3"));

    // Window: header title and grid row height.
    GroupBox2 = group(QStringLiteral("视窗配置"), QRect(8, 98, 357, 48), "GroupBox2");
    RzLabel1 = MakeLabel(QStringLiteral("标头内容:       "), GroupBox2, 10, 22);
    RzLabel2 = MakeLabel(QStringLiteral("列表行高:              "), GroupBox2, 216, 22);
    RzEdit1 = new QLineEdit(GroupBox2);
    RzEdit1->setObjectName(QStringLiteral("RzEdit1"));
    RzEdit1->setGeometry(74, 19, 132, 22);
    RzSpinEdit1 = new TSpinField(GroupBox2);
    RzSpinEdit1->setObjectName(QStringLiteral("RzSpinEdit1"));
    RzSpinEdit1->SetRange(0, 100);
    RzSpinEdit1->setGeometry(280, 19, 66, 22);

    // Status icon.
    GroupBox3 = group(QStringLiteral("状态图标"), QRect(8, 148, 150, 48), "GroupBox3");
    RzRadioButton1 = new QRadioButton(QStringLiteral("托盘图标"), GroupBox3);
    RzRadioButton1->setObjectName(QStringLiteral("RzRadioButton1"));
    RzRadioButton1->setGeometry(10, 20, 76, 22);
    RzRadioButton2 = new QRadioButton(QStringLiteral("普通"), GroupBox3);
    RzRadioButton2->setObjectName(QStringLiteral("RzRadioButton2"));
    RzRadioButton2->setGeometry(90, 20, 56, 22);

    // Acquisition.
    GroupBox4 = group(QStringLiteral("采集控制"), QRect(164, 148, 201, 48), "GroupBox4");
    RzLabel5 = MakeLabel(QStringLiteral("定时时间(秒):       "), GroupBox4, 10, 22);
    RzSpinEdit3 = new TSpinField(GroupBox4);
    RzSpinEdit3->setObjectName(QStringLiteral("RzSpinEdit3"));
    RzSpinEdit3->SetRange(0, 100);
    RzSpinEdit3->setGeometry(104, 19, 86, 22);

    // Playback.
    GroupBox5 = group(QStringLiteral("播放控制"), QRect(8, 198, 357, 48), "GroupBox5");
    RzLabel6 = MakeLabel(QStringLiteral("报警音频:       "), GroupBox5, 10, 22);
    sFilenameEdit1 = new TFileNameField(GroupBox5);
    sFilenameEdit1->setObjectName(QStringLiteral("sFilenameEdit1"));
    sFilenameEdit1->setToolTip(QStringLiteral("选择音频文件将自动获得配制参数"));
    sFilenameEdit1->SetDialogTitle(QStringLiteral("选择音频文件"));
    sFilenameEdit1->SetFilter(
        QStringLiteral("音频文件 (*.wav *.mp3 *.wma *.mid *.midi *.ogg *.flac);;所有文件 (*)"));
    sFilenameEdit1->setGeometry(74, 19, 272, 22);

    SpeedButton6 = MakeButton(QStringLiteral("默认配置"), this, QRect(28, 254, 96, 30));
    SpeedButton6->setObjectName(QStringLiteral("SpeedButton6"));
    SpeedButton1 = MakeButton(QStringLiteral("保  存"), this, QRect(139, 254, 96, 30));
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton7 = MakeButton(QStringLiteral("退  出"), this, QRect(250, 254, 96, 30));
    SpeedButton7->setObjectName(QStringLiteral("SpeedButton7"));
}

void TFset2::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0.0, QColor(214, 230, 250));
    g.setColorAt(1.0, QColor(250, 252, 255));
    p.fillRect(rect(), g);
    QDialog::paintEvent(event);
}

void TFset2::CentreOnMainWindow() {
    QWidget* m = main_.MainWindow();
    if (!m) return;
    const QRect frame = frameGeometry();
    const QPoint centre = m->frameGeometry().center();
    move(centre.x() - frame.width() / 2, centre.y() - frame.height() / 2);
}

void TFset2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    CentreOnMainWindow();
    RunHandler([this] { FormShow(); });
}

void TFset2::FormShow() {
    // 1. Mode.
    if (main_.ReadSetting(kSection, QStringLiteral("icon")) == QStringLiteral("1"))
        RzRadioButton1->setChecked(true);
    else
        RzRadioButton2->setChecked(true);
    // 2. The fields, in this order; each one whose text changes raises its change handler, and
    // a changed sound path is checked at once.
    RzEdit1->setText(main_.ReadSetting(kSection, QStringLiteral("title")));
    RzSpinEdit1->SetText(main_.ReadSetting(kSection, QStringLiteral("addhigh")));
    RzSpinEdit3->SetText(main_.ReadSetting(kSection, QStringLiteral("interval")));
    sFilenameEdit1->setText(main_.ReadSetting(kSection, QStringLiteral("media")));
    CheckBoxAutostart->setChecked(AutostartEntry::Exists());
    // 3. What was just loaded is not a change.
    SpeedButton1->setEnabled(false);
}

void TFset2::RzSpinEdit1Change() {
    SpeedButton1->setEnabled(true);
}

void TFset2::sFilenameEdit1Change() {
    // Closing the alias also silences an alarm sound that is playing.
    CloseSound(kSoundAlias);
    const QString file = sFilenameEdit1->text();
    if (OpenSound(kSoundAlias, file, kSoundDevice) != QStringLiteral("ok") && !file.isEmpty()) {
        ShowMessage(this, QStringLiteral("无效的音频文件"));
        sFilenameEdit1->setFocus();
        return;
    }
    // A playable file stays open under the alias; an empty path is accepted.
    SpeedButton1->setEnabled(true);
}

void TFset2::RzSpinEdit1Exit() {
    const QString t = RzSpinEdit1->Text();
    if (StrToInt(t) < 1)
        RzSpinEdit1->SetText(QStringLiteral("25"));
    else if (t.size() > 4)
        RzSpinEdit1->SetText(QStringLiteral("25"));
}

void TFset2::RzSpinEdit3Exit() {
    if (RzSpinEdit3->Text().size() > 7) RzSpinEdit3->SetText(QStringLiteral("60"));
}

void TFset2::SpeedButton1Click() {
    StationState& st = main_.State();
    // 1. Mode, written and applied.
    if (RzRadioButton1->isChecked()) {
        main_.WriteSetting(kSection, QStringLiteral("icon"), QStringLiteral("1"));
        main_.SetTrayMode(true);
    } else {
        main_.WriteSetting(kSection, QStringLiteral("icon"), QStringLiteral("0"));
        main_.SetTrayMode(false);
    }
    // 2. The texts as they stand.
    main_.WriteSetting(kSection, QStringLiteral("title"), RzEdit1->text());
    main_.WriteSetting(kSection, QStringLiteral("addhigh"), RzSpinEdit1->Text());
    main_.WriteSetting(kSection, QStringLiteral("interval"), RzSpinEdit3->Text());
    // 3. An interval that is no number ends the save here; what was written stays written.
    const int32_t interval = StrToInt(RzSpinEdit3->Text());
    if (interval == 0) main_.CountdownLabel()->setText(QStringLiteral("不启用定时采集"));
    // 4. Sound.
    main_.WriteSetting(kSection, QStringLiteral("media"), sFilenameEdit1->text());
    st.alarmSoundFile = sFilenameEdit1->text();
    // 5. The next timed acquisition is a full interval away.
    st.pollInterval = interval;
    st.countdown = interval;
    // 6.
    SpeedButton1->setEnabled(false);
    // 7. Header.
    main_.HeaderLabel()->setText(RzEdit1->text());
    // 8. Row height.
    main_.SetGridDefaultRowHeight(StrToInt(RzSpinEdit1->Text()));
    // 9. Start at login. An entry that cannot be written or removed leaves the save pending.
    if (CheckBoxAutostart->isChecked() != AutostartEntry::Exists()) {
        const bool done = CheckBoxAutostart->isChecked()
                              ? AutostartEntry::Write(QCoreApplication::applicationFilePath())
                              : AutostartEntry::Remove();
        if (!done) {
            SpeedButton1->setEnabled(true);
            ShowMessage(this, QStringLiteral("无法写入登录启动项：%1").arg(AutostartEntry::Path()));
        }
    }
}

void TFset2::SpeedButton6Click() {
    RzRadioButton1->setChecked(false);
    RzRadioButton2->setChecked(true);
    RzSpinEdit1->SetText(QStringLiteral("25"));
    RzSpinEdit3->SetText(QStringLiteral("60"));
}

void TFset2::SpeedButton3Click() {
    if (ComboBox1->count() == 0) ShowMessage(this, QStringLiteral("未找到通信口"));
    // Discovery starts over from the first port; its first step closes the port in use.
    StationState& st = main_.State();
    st.portIndex = 0;
    st.handshakeOk = false;
    st.silentPortSeen = false;
    main_.Timer2()->start();
    main_.AddBoardLine(QStringLiteral("对接测试..."));
}

void TFset2::SpeedButton7Click() {
    close();
}

void TFset2::ButtonNotifyClick() {
    TFnotify window(main_.ProgramFolder() + QStringLiteral("peizhi.ini"), this);
    window.exec();
}

bool TFset2::FormCloseQuery() {
    if (!SpeedButton1->isEnabled()) return true;
    return ConfirmYesNo(this, QStringLiteral("数据未保存，确定退出吗?"));
}

void TFset2::reject() {
    bool mayClose = true;
    RunHandler([&] { mayClose = FormCloseQuery(); });
    if (mayClose) QDialog::reject();
}

void TFset2::done(int result) {
    QDialog::done(result);
    main_.RestartCountdown();
}
