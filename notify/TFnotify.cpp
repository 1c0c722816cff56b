#include "TFnotify.h"

#include <QDateTime>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QJsonDocument>
#include <QMessageBox>
#include <QShowEvent>
#include <QThread>
#include <QVBoxLayout>

#include "MqttPublisher.h"
#include "Notice.h"
#include "NotifyAttach.h"
#include "StationError.h"

TFnotify::TFnotify(const QString& settingsPath, QWidget* parent)
    : QDialog(parent), settingsPath_(settingsPath) {
    setObjectName(QStringLiteral("TFnotify"));
    setWindowTitle(QStringLiteral("远程通知"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);

    auto line = [this](const char* name, const QString& tip = QString()) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        if (!tip.isEmpty()) e->setPlaceholderText(tip);
        return e;
    };

    GroupMqtt = new QGroupBox(QStringLiteral("消息服务器 (MQTT)"), this);
    GroupMqtt->setObjectName(QStringLiteral("GroupMqtt"));
    CheckMqtt = new QCheckBox(QStringLiteral("启用"), this);
    CheckMqtt->setObjectName(QStringLiteral("CheckMqtt"));
    EditHost = line("EditHost", QStringLiteral("主机名、地址或 Unix 套接字路径"));
    SpinPort = new QSpinBox(this);
    SpinPort->setObjectName(QStringLiteral("SpinPort"));
    SpinPort->setRange(1, 65535);
    SpinPort->setValue(1883);
    EditUser = line("EditUser");
    EditPassword = line("EditPassword");
    EditPassword->setEchoMode(QLineEdit::Password);
    CheckTls = new QCheckBox(QStringLiteral("TLS 加密"), this);
    CheckTls->setObjectName(QStringLiteral("CheckTls"));
    EditCaFile = line("EditCaFile", QStringLiteral("CA 证书文件（空 = 系统证书）"));
    EditPrefix = line("EditPrefix", QStringLiteral("sensorbus/<主机名>"));
    auto* mf = new QFormLayout(GroupMqtt);
    mf->addRow(CheckMqtt);
    mf->addRow(QStringLiteral("服务器:"), EditHost);
    mf->addRow(QStringLiteral("端口:"), SpinPort);
    mf->addRow(QStringLiteral("用户名:"), EditUser);
    mf->addRow(QStringLiteral("密码:"), EditPassword);
    mf->addRow(CheckTls);
    mf->addRow(QStringLiteral("CA 文件:"), EditCaFile);
    mf->addRow(QStringLiteral("主题前缀:"), EditPrefix);

    GroupNotify = new QGroupBox(QStringLiteral("消息通知"), this);
    GroupNotify->setObjectName(QStringLiteral("GroupNotify"));
    EditWebhook = line("EditWebhook", QStringLiteral("URL，多个用空格分隔"));
    ComboFormat = new QComboBox(this);
    ComboFormat->setObjectName(QStringLiteral("ComboFormat"));
    ComboFormat->addItem(QStringLiteral("JSON"), QStringLiteral("json"));
    ComboFormat->addItem(QStringLiteral("群机器人文本"), QStringLiteral("robot"));
    EditSmtpUrl = line("EditSmtpUrl", QStringLiteral("smtp://主机:587 或 smtps://主机:465"));
    EditSmtpUser = line("EditSmtpUser");
    EditSmtpPassword = line("EditSmtpPassword");
    EditSmtpPassword->setEchoMode(QLineEdit::Password);
    EditSmtpCaFile = line("EditSmtpCaFile", QStringLiteral("CA 证书文件（空 = 系统证书）"));
    EditMailFrom = line("EditMailFrom");
    EditMailTo = line("EditMailTo", QStringLiteral("多个地址用逗号分隔"));
    SpinRepeat = new QSpinBox(this);
    SpinRepeat->setObjectName(QStringLiteral("SpinRepeat"));
    SpinRepeat->setRange(0, 1440);
    SpinRepeat->setSuffix(QStringLiteral(" 分钟"));
    SpinRepeat->setSpecialValueText(QStringLiteral("不重复"));
    CheckSoundRepeat = new QCheckBox(QStringLiteral("报警声音重复播放"), this);
    CheckSoundRepeat->setObjectName(QStringLiteral("CheckSoundRepeat"));
    auto* nf = new QFormLayout(GroupNotify);
    nf->addRow(QStringLiteral("网络回调地址:"), EditWebhook);
    nf->addRow(QStringLiteral("格式:"), ComboFormat);
    nf->addRow(QStringLiteral("SMTP 服务器:"), EditSmtpUrl);
    nf->addRow(QStringLiteral("SMTP 用户:"), EditSmtpUser);
    nf->addRow(QStringLiteral("SMTP 密码:"), EditSmtpPassword);
    nf->addRow(QStringLiteral("SMTP CA 文件:"), EditSmtpCaFile);
    nf->addRow(QStringLiteral("发件人:"), EditMailFrom);
    nf->addRow(QStringLiteral("收件人:"), EditMailTo);
    nf->addRow(QStringLiteral("报警重复:"), SpinRepeat);
    nf->addRow(CheckSoundRepeat);

    ResultView = new QPlainTextEdit(this);
    ResultView->setObjectName(QStringLiteral("ResultView"));
    ResultView->setReadOnly(true);
    ResultView->setFixedHeight(84);
    ResultView->setPlaceholderText(QStringLiteral("测试结果"));

    ButtonTest = new QPushButton(QStringLiteral("发送测试消息"), this);
    ButtonTest->setObjectName(QStringLiteral("ButtonTest"));
    ButtonSave = new QPushButton(QStringLiteral("保  存"), this);
    ButtonSave->setObjectName(QStringLiteral("ButtonSave"));
    ButtonExit = new QPushButton(QStringLiteral("退  出"), this);
    ButtonExit->setObjectName(QStringLiteral("ButtonExit"));
    for (QPushButton* b : {ButtonTest, ButtonSave, ButtonExit}) b->setAutoDefault(false);

    auto* columns = new QHBoxLayout;
    columns->addWidget(GroupMqtt);
    columns->addWidget(GroupNotify);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ButtonTest);
    buttons->addStretch();
    buttons->addWidget(ButtonSave);
    buttons->addWidget(ButtonExit);
    auto* top = new QVBoxLayout(this);
    top->addLayout(columns);
    top->addWidget(ResultView);
    top->addLayout(buttons);
    resize(720, 460);

    connect(ButtonTest, &QPushButton::clicked, this, &TFnotify::ButtonTestClick);
    connect(ButtonSave, &QPushButton::clicked, this, &TFnotify::ButtonSaveClick);
    connect(ButtonExit, &QPushButton::clicked, this, &QDialog::reject);
}

TFnotify::~TFnotify() {
    if (tester_) tester_->wait();
}

void TFnotify::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TFnotify::FormShow() {
    ShowSettings(NotifySettings::Load(settingsPath_));
}

void TFnotify::ShowSettings(const NotifySettings& s) {
    CheckMqtt->setChecked(s.mqttEnabled);
    EditHost->setText(s.host);
    SpinPort->setValue(s.port);
    EditUser->setText(s.username);
    EditPassword->setText(s.password);
    CheckTls->setChecked(s.tls);
    EditCaFile->setText(s.cafile);
    EditPrefix->setText(s.prefix);
    EditWebhook->setText(s.webhooks.join(QLatin1Char(' ')));
    ComboFormat->setCurrentIndex(s.webhookFormat == QStringLiteral("robot") ? 1 : 0);
    EditSmtpUrl->setText(s.smtpUrl);
    EditSmtpUser->setText(s.smtpUser);
    EditSmtpPassword->setText(s.smtpPassword);
    EditSmtpCaFile->setText(s.smtpCaFile);
    EditMailFrom->setText(s.mailFrom);
    EditMailTo->setText(s.mailTo.join(QLatin1Char(',')));
    SpinRepeat->setValue(s.repeatMinutes);
    CheckSoundRepeat->setChecked(s.soundRepeat);
}

NotifySettings TFnotify::FieldSettings() const {
    NotifySettings s = NotifySettings::Load(settingsPath_);  // keeps the title
    s.mqttEnabled = CheckMqtt->isChecked();
    s.host = EditHost->text().trimmed();
    s.port = SpinPort->value();
    s.username = EditUser->text().trimmed();
    s.password = EditPassword->text();
    s.tls = CheckTls->isChecked();
    s.cafile = EditCaFile->text().trimmed();
    s.prefix = EditPrefix->text().trimmed();
    while (s.prefix.endsWith(QLatin1Char('/'))) s.prefix.chop(1);
    s.webhooks = EditWebhook->text().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    s.webhookFormat = ComboFormat->currentData().toString();
    s.smtpUrl = EditSmtpUrl->text().trimmed();
    s.smtpUser = EditSmtpUser->text().trimmed();
    s.smtpPassword = EditSmtpPassword->text();
    s.smtpCaFile = EditSmtpCaFile->text().trimmed();
    s.mailFrom = EditMailFrom->text().trimmed();
    s.mailTo.clear();
    for (const QString& a : EditMailTo->text().split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (!a.trimmed().isEmpty()) s.mailTo << a.trimmed();
    s.repeatMinutes = SpinRepeat->value();
    s.soundRepeat = CheckSoundRepeat->isChecked();
    return s;
}

void TFnotify::ButtonSaveClick() {
    try {
        FieldSettings().Save(settingsPath_);
    } catch (const StationError& e) {
        QMessageBox::critical(this, windowTitle(), e.Message());
        return;
    }
    notify::Reload();
    ResultView->setPlainText(QStringLiteral("已保存"));
}

QVector<WayResult> TFnotify::SendTest(const NotifySettings& s) {
    const Notice n = Notice::Plain(Notice::Kind::Test, QDateTime::currentDateTime());
    QVector<WayResult> results;
    if (s.MqttOn()) {
        WayResult r;
        r.way = QStringLiteral("MQTT ") + s.host;
        const QByteArray payload =
            QJsonDocument(n.Json(s.StationName())).toJson(QJsonDocument::Compact);
        r.ok = MqttPublisher::SendOnce(s, payload, &r.error);
        results << r;
    }
    results << MessageSender::Deliver(s, n);
    return results;
}

void TFnotify::ButtonTestClick() {
    if (tester_) return;
    const NotifySettings s = FieldSettings();
    ButtonTest->setEnabled(false);
    ResultView->setPlainText(QStringLiteral("正在发送测试消息..."));
    results_.clear();
    // The network is never waited on here: the sending runs on a thread of its own.
    auto* results = new QVector<WayResult>;
    tester_ = QThread::create([s, results] { *results = SendTest(s); });
    connect(tester_, &QThread::finished, this, [this, results] {
        results_ = *results;
        delete results;
        tester_->deleteLater();
        tester_ = nullptr;
        ButtonTest->setEnabled(true);
        ShowResults();
        emit TestFinished();
    });
    tester_->start();
}

void TFnotify::ShowResults() {
    if (results_.isEmpty()) {
        ResultView->setPlainText(QStringLiteral("没有启用任何发送方式"));
        return;
    }
    QStringList lines;
    for (const WayResult& r : std::as_const(results_))
        lines << (r.ok ? QStringLiteral("✔ %1：已发出").arg(r.way)
                       : QStringLiteral("✘ %1：未发出 — %2").arg(r.way, r.error));
    ResultView->setPlainText(lines.join(QLatin1Char('\n')));
}
