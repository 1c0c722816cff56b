// The "远程通知" window driven as an operator would: fields filled, the test message sent
// through every configured way with the outcome of each shown, the settings saved.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "Broker.h"
#include "HookServer.h"
#include "NotifyFolder.h"
#include "NotifySettings.h"
#include "SmtpServer.h"
#include "Subscriber.h"
#include "TFnotify.h"
#include "TestCertificates.h"
#include "TestSupport.h"

TEST(NotifyWindow, TestMessageShowsEveryWayAndItsOutcome) {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    HookServer hooks;
    NotifyFolder folder;
    folder.WriteIni("[seting]\ntitle=一号冷库\n");
    TFnotify w(folder.Ini());
    w.show();
    EXPECT_EQ(w.windowTitle(), "远程通知");
    EXPECT_FALSE(w.CheckMqtt->isChecked());

    w.CheckMqtt->setChecked(true);
    QTest::keyClicks(w.EditHost, "127.0.0.1");
    w.SpinPort->setValue(broker.Port());
    QTest::keyClicks(w.EditPrefix, "site/window");
    QTest::keyClicks(w.EditWebhook, hooks.Url("/hook"));
    w.ComboFormat->setCurrentIndex(1);  // robot
    const int closed = Broker::FreePort();
    QTest::keyClicks(w.EditSmtpUrl, QStringLiteral("smtp://127.0.0.1:%1").arg(closed));
    QTest::keyClicks(w.EditMailTo, "duty@example.org");
    Subscriber sub(At(broker.Port()), {"site/window/event"});

    EXPECT_EQ(w.ButtonTest->text(), "发送测试消息");
    QTest::mouseClick(w.ButtonTest, Qt::LeftButton);
    EXPECT_FALSE(w.ButtonTest->isEnabled());  // the window goes on while the test runs
    ASSERT_TRUE(testsupport::WaitFor([&] { return !w.Testing(); }, 30000));
    const QVector<WayResult>& r = w.TestResults();
    ASSERT_EQ(r.size(), 3);
    EXPECT_TRUE(r[0].way.startsWith("MQTT"));
    EXPECT_TRUE(r[0].ok) << r[0].error.toStdString();
    EXPECT_TRUE(r[1].way.contains("/hook"));
    EXPECT_TRUE(r[1].ok) << r[1].error.toStdString();
    EXPECT_EQ(r[2].way, "邮件");
    EXPECT_FALSE(r[2].ok);
    const QStringList lines = w.ResultView->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].contains("已发出"));
    EXPECT_TRUE(lines[1].contains("已发出"));
    EXPECT_TRUE(lines[2].contains("未发出"));
    EXPECT_TRUE(lines[2].contains(r[2].error));
    EXPECT_FALSE(r[2].error.isEmpty());

    // What went out: a test event on the broker, a robot text on the hook.
    ASSERT_TRUE(sub.WaitFor([](const QVector<Message>& m) { return !m.isEmpty(); }));
    EXPECT_TRUE(sub.Messages()[0].payload.contains("\"event\":\"test\""));
    ASSERT_EQ(hooks.requests.size(), 1);
    EXPECT_TRUE(QString::fromUtf8(hooks.requests[0].body).contains("【一号冷库】测试消息"));

    const QByteArray shot = qgetenv("NOTIFY_WINDOW_SCREENSHOT");
    if (!shot.isEmpty()) w.grab().save(QString::fromLocal8Bit(shot));
}

TEST(NotifyWindow, SaveWritesBothSectionsAndClosesTheFileWithAPassword) {
    NotifyFolder folder;
    folder.WriteIni("[seting]\ntitle=一号冷库\n");
    QFile::setPermissions(
        folder.Ini(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    TFnotify w(folder.Ini());
    w.show();
    w.CheckMqtt->setChecked(true);
    QTest::keyClicks(w.EditHost, "/run/broker.sock");
    QTest::keyClicks(w.EditUser, "station");
    QTest::keyClicks(w.EditPassword, "geheim");
    QTest::keyClicks(w.EditMailTo, "a@example.org, b@example.org");
    w.SpinRepeat->setValue(15);
    QTest::mouseClick(w.ButtonSave, Qt::LeftButton);

    const NotifySettings s = NotifySettings::Load(folder.Ini());
    EXPECT_TRUE(s.mqttEnabled);
    EXPECT_TRUE(s.HostIsSocket());
    EXPECT_EQ(s.username, "station");
    EXPECT_EQ(s.password, "geheim");
    EXPECT_EQ(s.mailTo, QStringList({"a@example.org", "b@example.org"}));
    EXPECT_EQ(s.repeatMinutes, 15);
    EXPECT_EQ(s.title, "一号冷库");  // other sections kept
    const QFile::Permissions p = QFile::permissions(folder.Ini());
    EXPECT_FALSE(p & (QFile::ReadOther | QFile::WriteOther | QFile::ExeOther));
    EXPECT_TRUE(p & QFile::ReadGroup);
    EXPECT_TRUE(p & QFile::WriteGroup);

    // Shown again, the window holds what was saved.
    TFnotify again(folder.Ini());
    again.show();
    EXPECT_EQ(again.EditHost->text(), "/run/broker.sock");
    EXPECT_EQ(again.EditPassword->text(), "geheim");
    EXPECT_EQ(again.SpinRepeat->value(), 15);
}

// The mail server's CA file is set in the window: the test message goes out over STARTTLS with
// the CA that vouches for the server, and with another CA the mail line shows the transfer's
// reason; saved, the file is in peizhi.ini and back in the window.
TEST(NotifyWindow, MailCaFileIsUsedShownAndSaved) {
    SmtpServer server(SmtpServer::Tls::StartTls);
    ASSERT_TRUE(server.Start()) << server.Output().toStdString();
    QTemporaryDir otherDir;
    const TestCertificates other(otherDir.path());
    ASSERT_TRUE(other.Made());
    NotifyFolder folder;
    folder.WriteIni("[seting]\ntitle=一号冷库\n");
    TFnotify w(folder.Ini());
    w.show();
    QTest::keyClicks(w.EditSmtpUrl, QStringLiteral("smtp://127.0.0.1:%1").arg(server.Port()));
    QTest::keyClicks(w.EditSmtpCaFile, server.CaFile());
    QTest::keyClicks(w.EditMailTo, "duty@example.org");
    auto sendTest = [&] {
        QTest::mouseClick(w.ButtonTest, Qt::LeftButton);
        return testsupport::WaitFor([&] { return !w.Testing(); }, 30000);
    };
    ASSERT_TRUE(sendTest());
    ASSERT_EQ(w.TestResults().size(), 1);
    EXPECT_TRUE(w.TestResults()[0].ok) << w.TestResults()[0].error.toStdString();
    EXPECT_EQ(w.ResultView->toPlainText(), "✔ 邮件：已发出");
    EXPECT_EQ(server.Mails().size(), 1);

    w.EditSmtpCaFile->clear();
    QTest::keyClicks(w.EditSmtpCaFile, other.CaFile());
    ASSERT_TRUE(sendTest());
    ASSERT_EQ(w.TestResults().size(), 1);
    EXPECT_FALSE(w.TestResults()[0].ok);
    const QString line = w.ResultView->toPlainText();
    EXPECT_TRUE(line.startsWith("✘ 邮件：未发出 — ")) << line.toStdString();
    EXPECT_TRUE(line.contains("certificate", Qt::CaseInsensitive)) << line.toStdString();
    EXPECT_EQ(server.Mails().size(), 1);  // nothing more arrived

    QTest::mouseClick(w.ButtonSave, Qt::LeftButton);
    EXPECT_EQ(NotifySettings::Load(folder.Ini()).smtpCaFile, other.CaFile());
    TFnotify again(folder.Ini());
    again.show();
    EXPECT_EQ(again.EditSmtpCaFile->text(), other.CaFile());
}
