// Messages to people against real servers on 127.0.0.1: web hooks in both formats on an HTTP
// server of the test, e-mail on aiosmtpd, repetition of an active alarm until the screen
// refresh, and failures named once on the message board.
#include <gtest/gtest.h>

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>

#include "Broker.h"
#include "HookServer.h"
#include "MessageSender.h"
#include "NotifyFolder.h"
#include "NotifyService.h"
#include "StationEvents.h"
#include "TestSupport.h"

namespace {

ReadingEvent HighReading() {
    ReadingEvent r;
    r.sensor.code = 7;
    r.sensor.codeid = "28A007";
    r.sensor.fix = "疫苗冷柜 ";
    r.sensor.high = 8;
    r.sensor.low = 2;
    r.time = QDateTime::currentDateTime();
    r.celsius = 9.0625;
    r.text = "9.0625";
    r.state = ReadingState::High;
    return r;
}

QJsonObject Json(const QByteArray& b) {
    return QJsonDocument::fromJson(b).object();
}

QByteArray HookIni(const QStringList& urls, const QByteArray& format, int repeat = 0) {
    return "[seting]\ntitle=三号库房\n[notify]\nwebhook=" + urls.join(' ').toUtf8() +
           "\nwebhook_format=" + format + "\nrepeat=" + QByteArray::number(repeat) + "\n";
}

}  // namespace

// Each event goes to every web hook as a plain JSON object; the Chinese text names the station,
// the sensor's number and location, the value and the limit.
TEST(People, WebhooksReceiveEveryEventAsJson) {
    HookServer hooks;
    NotifyFolder folder;
    folder.WriteIni(HookIni({hooks.Url("/one"), hooks.Url("/two")}, "json"));
    StationEvents events;
    NotifyService service(events, folder.Ini(), folder.Db(), {});
    ASSERT_NE(service.Sender(), nullptr);
    const ReadingEvent r = HighReading();
    emit events.AlarmRecorded(r);
    ReadingEvent back = r;
    back.celsius = 5;
    back.text = "5";
    back.state = ReadingState::Recorded;
    emit events.AlarmEnded(back);
    emit events.BusLost(QDateTime::currentDateTime());
    ASSERT_TRUE(testsupport::WaitFor([&] { return hooks.On("/two").size() == 3; }));
    ASSERT_EQ(hooks.On("/one").size(), 3);
    const QJsonObject alarm = Json(hooks.On("/one")[0].body);
    EXPECT_TRUE(hooks.On("/one")[0].contentType.startsWith("application/json"));
    EXPECT_EQ(alarm["event"].toString(), "alarm");
    EXPECT_EQ(alarm["number"].toInt(), 7);
    EXPECT_EQ(alarm["location"].toString(), "疫苗冷柜");
    EXPECT_DOUBLE_EQ(alarm["celsius"].toDouble(), 9.0625);
    const QString text = alarm["text"].toString();
    for (const char* part : {"三号库房", "7号传感器", "疫苗冷柜", "9.0625℃", "超过上限 8℃"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(part))) << text.toStdString();
    EXPECT_EQ(Json(hooks.On("/one")[1].body)["event"].toString(), "alarm_end");
    EXPECT_TRUE(Json(hooks.On("/one")[1].body)["text"].toString().contains("报警解除"));
    EXPECT_EQ(Json(hooks.On("/two")[2].body)["event"].toString(), "bus_lost");
}

// The robot format is the text message the messengers' group robots accept.
TEST(People, RobotFormatIsATextMessage) {
    HookServer hooks;
    NotifyFolder folder;
    folder.WriteIni(HookIni({hooks.Url("/robot")}, "robot"));
    StationEvents events;
    NotifyService service(events, folder.Ini(), folder.Db(), {});
    ReadingEvent low = HighReading();
    low.celsius = 1.5;
    low.text = "1.5";
    low.state = ReadingState::Low;
    emit events.AlarmRecorded(low);
    ASSERT_TRUE(testsupport::WaitFor([&] { return hooks.requests.size() == 1; }));
    const QJsonObject o = Json(hooks.requests[0].body);
    EXPECT_EQ(o.keys(), QStringList({"msgtype", "text"}));
    EXPECT_EQ(o["msgtype"].toString(), "text");
    const QString content = o["text"].toObject()["content"].toString();
    EXPECT_TRUE(content.contains("低于下限 2℃")) << content.toStdString();
    EXPECT_TRUE(content.contains("1.5℃"));
    EXPECT_TRUE(content.contains("三号库房"));
}

// An active alarm is told again every `repeat` minutes until the screen refresh; an alarm that
// ended is not repeated.
TEST(People, ActiveAlarmRepeatsUntilScreenRefresh) {
    HookServer hooks;
    NotifyFolder folder;
    folder.WriteIni(HookIni({hooks.Url("/r")}, "json", 1));
    StationEvents events;
    // One "minute" of the repeat key lasts 300 ms here.
    NotifyService service(events, folder.Ini(), folder.Db(), {}, 300);
    emit events.AlarmRecorded(HighReading());
    auto repeats = [&] {
        int n = 0;
        for (const auto& r : hooks.requests)
            if (Json(r.body)["event"].toString() == "alarm_repeat") ++n;
        return n;
    };
    ASSERT_TRUE(testsupport::WaitFor([&] { return repeats() >= 2; }));
    EXPECT_EQ(service.ActiveAlarms(), QList<int>({7}));
    const QJsonObject rep = Json(hooks.requests.last().body);
    EXPECT_TRUE(rep["text"].toString().contains("报警仍未处理"));
    emit events.ScreenRefreshed(QDateTime::currentDateTime());
    EXPECT_TRUE(service.ActiveAlarms().isEmpty());
    testsupport::WaitFor([] { return false; }, 400);  // a transfer under way ends
    const int after = repeats();
    testsupport::WaitFor([] { return false; }, 1200);  // four "minutes"
    EXPECT_EQ(repeats(), after);
    EXPECT_EQ(Json(hooks.requests.last().body)["event"].toString(), "screen_refresh");

    // An alarm that ended is not repeated either.
    emit events.AlarmRecorded(HighReading());
    ReadingEvent back = HighReading();
    back.state = ReadingState::Recorded;
    emit events.AlarmEnded(back);
    EXPECT_TRUE(service.ActiveAlarms().isEmpty());
    // Out of range again before the refresh: active again, and repeated.
    emit events.ReadingEvaluated(HighReading());
    EXPECT_EQ(service.ActiveAlarms(), QList<int>({7}));
}

// A web hook that answers with an error is named once on the board, and once when it works
// again.
TEST(People, FailingWayIsNamedOnceOnTheBoard) {
    HookServer hooks;
    hooks.status = 500;
    NotifyFolder folder;
    folder.WriteIni(HookIni({hooks.Url("/bad")}, "json"));
    StationEvents events;
    QStringList board;
    NotifyService service(events, folder.Ini(), folder.Db(),
                          [&](const QString& line) { board << line; });
    emit events.BusLost(QDateTime::currentDateTime());
    emit events.BusRestored(QDateTime::currentDateTime());
    ASSERT_TRUE(testsupport::WaitFor([&] { return hooks.requests.size() == 2; }));
    testsupport::WaitFor([&] { return false; }, 300);
    ASSERT_EQ(board.size(), 1) << board.join('|').toStdString();
    EXPECT_TRUE(board[0].contains("发送失败")) << board[0].toStdString();
    EXPECT_TRUE(board[0].contains("HTTP 500"));
    hooks.status = 200;
    emit events.BusLost(QDateTime::currentDateTime());
    ASSERT_TRUE(testsupport::WaitFor([&] { return board.size() == 2; }));
    EXPECT_TRUE(board[1].contains("发送恢复"));
}

// E-mail through a real SMTP server to two recipients, with a Chinese subject and text.
TEST(People, MailReachesEveryRecipient) {
    QTemporaryDir maildir;
    const int port = Broker::FreePort();
    QProcess smtp;
    smtp.setProcessChannelMode(QProcess::MergedChannels);
    smtp.start("/usr/bin/python3",
               {"-m", "aiosmtpd", "-n", "-l", QStringLiteral("127.0.0.1:%1").arg(port), "-c",
                "aiosmtpd.handlers.Mailbox", maildir.path() + "/box"});
    ASSERT_TRUE(smtp.waitForStarted());
    ASSERT_TRUE(testsupport::WaitFor([&] {
        QTcpSocket s;
        s.connectToHost("127.0.0.1", port);
        return s.waitForConnected(200);
    }));
    NotifyFolder folder;
    folder.WriteIni("[seting]\ntitle=三号库房\n[notify]\nsmtp_url=smtp://127.0.0.1:" +
                    QByteArray::number(port) +
                    "\nmail_from=station@example.org\nmail_to=a@example.org, b@example.org\n");
    StationEvents events;
    QStringList board;
    NotifyService service(events, folder.Ini(), folder.Db(),
                          [&](const QString& line) { board << line; });
    ASSERT_NE(service.Sender(), nullptr);
    emit events.AlarmRecorded(HighReading());
    QDir box(maildir.path() + "/box/new");
    ASSERT_TRUE(testsupport::WaitFor([&] { return box.entryList(QDir::Files).size() == 1; }))
        << board.join('|').toStdString() << smtp.readAll().toStdString();
    QFile f(box.filePath(box.entryList(QDir::Files)[0]));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray mail = f.readAll();
    smtp.terminate();
    smtp.waitForFinished();
    EXPECT_TRUE(mail.contains("X-RcptTo: a@example.org, b@example.org")) << mail.toStdString();
    EXPECT_TRUE(mail.contains("X-MailFrom: station@example.org"));
    const QRegularExpression subject("Subject: =\\?UTF-8\\?B\\?([A-Za-z0-9+/=]+)\\?=");
    const auto m = subject.match(QString::fromLatin1(mail));
    ASSERT_TRUE(m.hasMatch());
    EXPECT_EQ(QString::fromUtf8(QByteArray::fromBase64(m.captured(1).toLatin1())),
              "【三号库房】温度报警 7号传感器");
    const qsizetype split =
        mail.indexOf("\n\n") >= 0 ? mail.indexOf("\n\n") : mail.indexOf("\r\n\r\n");
    const QString text = QString::fromUtf8(QByteArray::fromBase64(mail.mid(split).trimmed()));
    EXPECT_TRUE(text.contains("疫苗冷柜")) << text.toStdString();
    EXPECT_TRUE(text.contains("9.0625℃，超过上限 8℃"));
    EXPECT_TRUE(board.isEmpty()) << board.join('|').toStdString();
}

// A server that is not there gives the transfer's own error text.
TEST(People, UnreachableServersGiveTheirErrors) {
    NotifySettings s;
    const int closed = Broker::FreePort();
    s.webhooks = {QStringLiteral("http://127.0.0.1:%1/x").arg(closed)};
    s.smtpUrl = QStringLiteral("smtp://127.0.0.1:%1").arg(closed);
    s.mailTo = {"a@example.org"};
    const QVector<WayResult> r =
        MessageSender::Deliver(s, Notice::Plain(Notice::Kind::Test, QDateTime::currentDateTime()));
    ASSERT_EQ(r.size(), 2);
    for (const WayResult& w : r) {
        EXPECT_FALSE(w.ok);
        // Said in Chinese first, the library's own account after it, once.
        EXPECT_TRUE(w.error.startsWith("无法连接服务器（")) << w.error.toStdString();
        EXPECT_TRUE(w.error.contains("connect", Qt::CaseInsensitive)) << w.error.toStdString();
        EXPECT_LE(w.error.count("Couldn't connect to server"), 1) << w.error.toStdString();
    }
}
