// The station's publications on a real mosquitto broker, watched with mosquitto_sub: discovery
// configs, retained states, every event in order, the last will of a killed station, events kept
// while the broker is away, credentials and TLS, and two stations on one broker.
#include <gtest/gtest.h>
#include <signal.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QThread>

#include "Broker.h"
#include "MqttPublisher.h"
#include "NotifyFolder.h"
#include "NotifyService.h"
#include "StationEvents.h"
#include "Subscriber.h"
#include "TestSupport.h"

namespace {

QJsonObject Json(const QByteArray& payload) {
    return QJsonDocument::fromJson(payload).object();
}

QByteArray MqttIni(int port, const QString& prefix, const QByteArray& extra = {}) {
    return "[seting]\ntitle=冷库监测\n[mqtt]\nenabled=1\nhost=127.0.0.1\nport=" +
           QByteArray::number(port) + "\nprefix=" + prefix.toUtf8() + "\n" + extra;
}

ReadingEvent Reading(int code, const QString& fix, double t, ReadingState state, double high = 8,
                     double low = 2) {
    ReadingEvent r;
    r.sensor.code = code;
    r.sensor.codeid = QStringLiteral("28A00%1").arg(code);
    r.sensor.fix = fix;
    r.sensor.high = high;
    r.sensor.low = low;
    r.time = QDateTime::currentDateTime();
    r.celsius = t;
    r.text = QString::number(t);
    r.state = state;
    return r;
}

QStringList EventKinds(const QVector<Message>& messages) {
    QStringList kinds;
    for (const Message& m : messages) kinds << Json(m.payload).value("event").toString();
    return kinds;
}

}  // namespace

// Discovery configs for each registered sensor and its alarm, retained states as a late
// subscriber sees them, and the configs updated and removed when the register changes.
TEST(MqttPublish, DiscoveryAndRetainedStatesFollowTheRegister) {
    Broker broker;
    ASSERT_TRUE(broker.Start()) << broker.Log().toStdString();
    NotifyFolder folder;
    folder.WriteIni(MqttIni(broker.Port(), "site/room1"));
    folder.Sql(
        "insert into settab(code,codeid,fix,almhigh,almlow,remark) values"
        "(1,'28A001 ','冷库一号 ',8,2,' '),(2,'28A002 ','机房 ',30,0,' '),"
        "(0,'28A009 ','未编号 ',0,0,' ');");
    StationEvents events;
    NotifyService service(events, folder.Ini(), folder.Db(), {});
    ASSERT_NE(service.Publisher(), nullptr);
    ASSERT_TRUE(testsupport::WaitFor([&] { return service.Publisher()->Connected(); }));
    const QString node = service.Publisher()->NodeId();
    EXPECT_EQ(node, "site_room1");

    emit events.BusRestored(QDateTime::currentDateTime());
    emit events.ReadingEvaluated(Reading(1, "冷库一号", 9.5, ReadingState::High));
    emit events.ReadingEvaluated(Reading(2, "机房", 22.0625, ReadingState::Normal, 30, 0));

    // A subscriber that comes later gets the retained picture.
    const QString t1 = "homeassistant/sensor/" + node + "/sensor1/config";
    const QString a1 = "homeassistant/binary_sensor/" + node + "/alarm1/config";
    const QString t2 = "homeassistant/sensor/" + node + "/sensor2/config";
    testsupport::WaitFor([] { return false; }, 800);
    Subscriber late(At(broker.Port()), {"site/room1/#", "homeassistant/#"});
    ASSERT_TRUE(late.WaitFor([&](const QVector<Message>& m) { return m.size() >= 8; }))
        << late.Messages().size();
    for (const Message& m : late.Messages()) EXPECT_TRUE(m.retained) << m.topic.toStdString();
    ASSERT_EQ(late.On("site/room1/status").size(), 1);
    EXPECT_EQ(late.On("site/room1/status")[0].payload, "online");
    ASSERT_EQ(late.On("site/room1/bus").size(), 1);
    EXPECT_EQ(late.On("site/room1/bus")[0].payload, "ok");

    ASSERT_EQ(late.On("site/room1/sensor/1").size(), 1);
    const QJsonObject s1 = Json(late.On("site/room1/sensor/1")[0].payload);
    EXPECT_EQ(s1["number"].toInt(), 1);
    EXPECT_EQ(s1["id"].toString(), "28A001");
    EXPECT_EQ(s1["location"].toString(), "冷库一号");
    EXPECT_DOUBLE_EQ(s1["celsius"].toDouble(), 9.5);
    EXPECT_EQ(s1["state"].toString(), "high");
    EXPECT_DOUBLE_EQ(s1["high"].toDouble(), 8);
    EXPECT_DOUBLE_EQ(s1["low"].toDouble(), 2);
    const QDateTime when = QDateTime::fromString(s1["time"].toString(), Qt::ISODate);
    EXPECT_TRUE(when.isValid());
    EXPECT_TRUE(s1["time"].toString().contains(QRegularExpression("([+-]\\d\\d:\\d\\d|Z)$")))
        << s1["time"].toString().toStdString();
    const QJsonObject s2 = Json(late.On("site/room1/sensor/2")[0].payload);
    EXPECT_EQ(s2["state"].toString(), "normal");
    EXPECT_TRUE(s2["low"].isNull());  // no low limit

    ASSERT_EQ(late.On(t1).size(), 1);
    const QJsonObject c1 = Json(late.On(t1)[0].payload);
    EXPECT_EQ(c1["name"].toString(), "冷库一号");
    EXPECT_EQ(c1["device_class"].toString(), "temperature");
    EXPECT_EQ(c1["unit_of_measurement"].toString(), "°C");
    EXPECT_EQ(c1["state_topic"].toString(), "site/room1/sensor/1");
    EXPECT_EQ(c1["availability_topic"].toString(), "site/room1/status");
    EXPECT_EQ(c1["value_template"].toString(), "{{ value_json.celsius }}");
    ASSERT_EQ(late.On(a1).size(), 1);
    const QJsonObject c1a = Json(late.On(a1)[0].payload);
    EXPECT_EQ(c1a["device_class"].toString(), "problem");
    EXPECT_EQ(c1a["state_topic"].toString(), "site/room1/sensor/1");
    EXPECT_NE(c1a["unique_id"], c1["unique_id"]);
    EXPECT_EQ(late.On(t2).size(), 1);
    // The unnumbered row is not monitored and not announced.
    for (const Message& m : late.Messages()) EXPECT_FALSE(m.topic.endsWith("0/config"));

    // The register is saved: sensor 2 removed, sensor 1 renamed.
    folder.Sql(
        "delete from settab where code = 2; update settab set fix = '冷库甲 ' where code = 1;");
    emit events.RegisterChanged();
    ASSERT_TRUE(late.WaitFor([&](const QVector<Message>&) {
        return late.On(t1).size() == 2 && late.On(t2).size() == 2 &&
               late.On("site/room1/sensor/2").size() == 2;
    })) << late.Messages().size();
    EXPECT_EQ(Json(late.On(t1)[1].payload)["name"].toString(), "冷库甲");
    EXPECT_TRUE(late.On(t2)[1].payload.isEmpty());
    EXPECT_TRUE(late.On("homeassistant/binary_sensor/" + node + "/alarm2/config")
                    .value(1)
                    .payload.isEmpty());
    EXPECT_TRUE(late.On("site/room1/sensor/2")[1].payload.isEmpty());

    // What the broker keeps now: sensor 1 renamed, nothing of sensor 2.
    Subscriber after(At(broker.Port()), {"homeassistant/#"});
    ASSERT_TRUE(after.WaitFor([&](const QVector<Message>& m) { return m.size() >= 2; }));
    testsupport::WaitFor([] { return false; }, 300);
    EXPECT_EQ(after.Messages().size(), 2);
    EXPECT_EQ(Json(after.On(t1).value(0).payload)["name"].toString(), "冷库甲");
}

// Every kind of event, once each, in the order it happened; bus states and a silent sensor on
// their retained topics.
TEST(MqttPublish, EveryEventKindInOrder) {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    NotifyFolder folder;
    folder.WriteIni(MqttIni(broker.Port(), "site/room2"));
    StationEvents events;
    NotifyService service(events, folder.Ini(), folder.Db(), {});
    Subscriber sub(At(broker.Port()), {"site/room2/event", "site/room2/bus", "site/room2/sensor/+"},
                   {"-q", "1"});
    ASSERT_TRUE(testsupport::WaitFor([&] { return service.Publisher()->Connected(); }));

    const QDateTime now = QDateTime::currentDateTime();
    const ReadingEvent high = Reading(3, "冷库三号", 9.125, ReadingState::High);
    const ReadingEvent back = Reading(3, "冷库三号", 5, ReadingState::Recorded);
    emit events.BusLost(now);
    emit events.BusReconnecting(now);
    emit events.BusRestored(now);
    emit events.AlarmRecorded(high);
    emit events.AlarmEnded(back);
    emit events.SensorSilent(high.sensor, now);
    emit events.SensorBack(high.sensor, now);
    emit events.ScreenRefreshed(now);

    const QStringList expected = {"bus_lost",      "bus_restored", "alarm",         "alarm_end",
                                  "sensor_silent", "sensor_back",  "screen_refresh"};
    ASSERT_TRUE(sub.WaitFor([&](const QVector<Message>&) {
        return sub.On("site/room2/event").size() >= expected.size();
    }));
    testsupport::WaitFor([] { return false; }, 300);
    const QVector<Message> ev = sub.On("site/room2/event");
    EXPECT_EQ(EventKinds(ev), expected);
    for (const Message& m : ev) EXPECT_FALSE(m.retained);
    const QJsonObject alarm = Json(ev.value(2).payload);
    EXPECT_EQ(alarm["number"].toInt(), 3);
    EXPECT_EQ(alarm["location"].toString(), "冷库三号");
    EXPECT_DOUBLE_EQ(alarm["celsius"].toDouble(), 9.125);
    EXPECT_EQ(alarm["state"].toString(), "high");
    EXPECT_EQ(alarm["station"].toString(), "冷库监测");
    EXPECT_TRUE(alarm["text"].toString().contains("超过上限 8℃"))
        << alarm["text"].toString().toStdString();

    // The bus topic went through lost, reconnecting and ok (latest values may be merged, the
    // last one is always there).
    const QVector<Message> bus = sub.On("site/room2/bus");
    ASSERT_FALSE(bus.isEmpty());
    EXPECT_EQ(bus.last().payload, "ok");
    // The silent sensor was shown silent, unless its return overtook it.
    const QVector<Message> s3 = sub.On("site/room2/sensor/3");
    ASSERT_FALSE(s3.isEmpty());
    EXPECT_NE(Json(s3.last().payload)["state"].toString(), "silent");
}

// Publishing switched on (or set up anew) while the station runs: the broker learns the bus
// state the station already has, without waiting for the bus to change.
TEST(MqttPublish, BusStateKnownBeforeTheBrokerIsPublished) {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    NotifyFolder folder;
    folder.WriteIni("[seting]\ntitle=x\n");
    StationEvents events;
    NotifyService service(events, folder.Ini(), folder.Db(), {});
    ASSERT_EQ(service.Publisher(), nullptr);
    emit events.BusConnected(QDateTime::currentDateTime());
    // Saved in the settings window.
    folder.WriteIni(MqttIni(broker.Port(), "site/later"));
    service.Configure();
    ASSERT_NE(service.Publisher(), nullptr);
    Subscriber sub(At(broker.Port()), {"site/later/bus"});
    ASSERT_TRUE(sub.WaitFor([](const QVector<Message>& m) { return !m.isEmpty(); }))
        << service.Publisher()->LastError().toStdString();
    EXPECT_EQ(sub.Messages().last().payload, "ok");

    // Lost while publishing, then set up anew: the new connection says lost too.
    emit events.BusLost(QDateTime::currentDateTime());
    ASSERT_TRUE(sub.WaitFor(
        [](const QVector<Message>& m) { return !m.isEmpty() && m.last().payload == "lost"; }));
    folder.WriteIni(MqttIni(broker.Port(), "site/again"));
    service.Configure();
    Subscriber again(At(broker.Port()), {"site/again/bus"});
    ASSERT_TRUE(again.WaitFor([](const QVector<Message>& m) { return !m.isEmpty(); }));
    EXPECT_EQ(again.Messages().last().payload, "lost");
}

// A silent sensor's retained state says "silent".
TEST(MqttPublish, SilentSensorIsRetainedSilent) {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    NotifyFolder folder;
    folder.WriteIni(MqttIni(broker.Port(), "site/room3"));
    StationEvents events;
    NotifyService service(events, folder.Ini(), folder.Db(), {});
    ASSERT_TRUE(testsupport::WaitFor([&] { return service.Publisher()->Connected(); }));
    const ReadingEvent r = Reading(4, "走廊", 20, ReadingState::Normal);
    emit events.ReadingEvaluated(r);
    emit events.SensorSilent(r.sensor, QDateTime::currentDateTime());
    testsupport::WaitFor([] { return false; }, 500);
    Subscriber late(At(broker.Port()), {"site/room3/sensor/4"});
    ASSERT_TRUE(late.WaitFor([](const QVector<Message>& m) { return !m.isEmpty(); }));
    const QJsonObject s = Json(late.Messages()[0].payload);
    EXPECT_EQ(s["state"].toString(), "silent");
    EXPECT_DOUBLE_EQ(s["celsius"].toDouble(), 20);  // the last value it gave
}

// A station killed with SIGKILL is announced "offline" by the broker, through its last will.
TEST(MqttPublish, KilledStationIsSeenOffline) {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    NotifyFolder folder;
    folder.WriteIni(MqttIni(broker.Port(), "site/dies"));
    Subscriber sub(At(broker.Port()), {"site/dies/status"});
    QProcess probe;
    probe.start(QStringLiteral(NOTIFY_PROBE), {folder.Ini()});
    ASSERT_TRUE(probe.waitForReadyRead(10000));
    EXPECT_EQ(probe.readAll().trimmed(), "online");
    ASSERT_TRUE(sub.WaitFor(
        [&](const QVector<Message>& m) { return !m.isEmpty() && m.last().payload == "online"; }));
    ::kill(static_cast<pid_t>(probe.processId()), SIGKILL);
    probe.waitForFinished(5000);
    ASSERT_TRUE(sub.WaitFor([&](const QVector<Message>& m) {
        return !m.isEmpty() && m.last().payload == "offline";
    })) << sub.Messages().size();
    // And a subscriber coming later still finds it offline.
    Subscriber late(At(broker.Port()), {"site/dies/status"});
    ASSERT_TRUE(late.WaitFor([](const QVector<Message>& m) { return !m.isEmpty(); }));
    EXPECT_EQ(late.Messages().last().payload, "offline");
    EXPECT_TRUE(late.Messages().last().retained);
}

// The broker is stopped for 30 s while three alarms happen: the window's side returns at once,
// the three events wait, and after the restart they arrive in order, none twice.
TEST(MqttPublish, EventsWaitForTheBrokerAndArriveOnceInOrder) {
    Broker::Options o;
    o.persistence = true;
    Broker broker(o);
    ASSERT_TRUE(broker.Start());
    // A persistent subscriber: the broker keeps its subscription and messages over the restart.
    const QStringList watch = {"-c", "-i", "watcher", "-q", "1"};
    auto sub =
        std::make_unique<Subscriber>(At(broker.Port()), QStringList{"site/away/event"}, watch);
    NotifyFolder folder;
    folder.WriteIni(MqttIni(broker.Port(), "site/away"));
    StationEvents events;
    NotifyService service(events, folder.Ini(), folder.Db(), {});
    MqttPublisher* pub = service.Publisher();
    ASSERT_TRUE(testsupport::WaitFor([&] { return pub->Connected(); }));
    sub->Stop();  // its session stays on the broker
    broker.Stop();
    ASSERT_TRUE(testsupport::WaitFor([&] { return !pub->Connected(); }));

    for (int code = 1; code <= 3; ++code) {
        emit events.AlarmRecorded(
            Reading(code, QStringLiteral("库%1").arg(code), 10 + code, ReadingState::High));
        testsupport::WaitFor([] { return false; }, 10000);
    }
    EXPECT_EQ(pub->WaitingEvents(), 3);
    testsupport::WaitFor([] { return false; }, 2000);  // 32 s in all
    EXPECT_FALSE(pub->Connected());
    EXPECT_FALSE(pub->LastError().isEmpty());

    ASSERT_TRUE(broker.Start());
    sub = std::make_unique<Subscriber>(At(broker.Port()), QStringList{"site/away/event"}, watch);
    ASSERT_TRUE(testsupport::WaitFor([&] { return pub->Connected(); }, 20000));
    ASSERT_TRUE(sub->WaitFor([](const QVector<Message>& m) { return m.size() >= 3; }, 20000));
    testsupport::WaitFor([] { return false; }, 1000);
    const QVector<Message> ev = sub->Messages();
    ASSERT_EQ(ev.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QJsonObject o = Json(ev[i].payload);
        EXPECT_EQ(o["event"].toString(), "alarm");
        EXPECT_EQ(o["number"].toInt(), i + 1);
        // Numbered in the order raised, so that a repeat after a broken connection is known.
        EXPECT_EQ(o["seq"].toInteger(), i + 1);
    }
    EXPECT_EQ(pub->WaitingEvents(), 0);
}

// With a user and password only the right ones are let in; over TLS the broker's certificate is
// checked against the CA file; a wrong password is refused with the broker's reason.
TEST(MqttPublish, CredentialsAndTls) {
    Broker::Options o;
    o.user = "station";
    o.password = "geheim";
    o.tls = true;
    Broker broker(o);
    ASSERT_TRUE(broker.Start()) << broker.Log().toStdString();

    NotifySettings s;
    s.mqttEnabled = true;
    s.host = "127.0.0.1";
    s.port = broker.Port();
    s.prefix = "site/secure";
    s.username = "station";
    s.password = "wrong";
    QString error;
    EXPECT_FALSE(MqttPublisher::SendOnce(s, "{}", &error, 5000));
    EXPECT_TRUE(error.contains("not authori", Qt::CaseInsensitive)) << error.toStdString();

    s.password = "geheim";
    Subscriber sub(At(broker.Port()), {"site/secure/#"}, {"-u", "station", "-P", "geheim"});
    error.clear();
    EXPECT_TRUE(MqttPublisher::SendOnce(s, "{\"event\":\"test\"}", &error, 5000))
        << error.toStdString();

    // TLS with the CA that signed the broker's certificate.
    s.port = broker.TlsPort();
    s.tls = true;
    s.cafile = broker.CaFile();
    {
        MqttPublisher pub(s, QString());
        ASSERT_TRUE(testsupport::WaitFor([&] { return pub.Connected(); }))
            << pub.LastError().toStdString();
        pub.PublishEvent(Notice::Plain(Notice::Kind::BusLost, QDateTime::currentDateTime()));
        ASSERT_TRUE(sub.WaitFor([](const QVector<Message>& m) {
            for (const Message& x : m)
                if (x.payload.contains("bus_lost")) return true;
            return false;
        }));
    }
    // A clean stop says offline itself.
    ASSERT_TRUE(sub.WaitFor([&](const QVector<Message>&) {
        const auto st = sub.On("site/secure/status");
        return !st.isEmpty() && st.last().payload == "offline";
    }));
    EXPECT_TRUE(sub.On("site/secure/event").value(0).payload.contains("\"test\""));

    // TLS against a CA that did not sign the certificate fails.
    Broker::Options o2;
    o2.tls = true;
    Broker stranger(o2);
    s.cafile = stranger.CaFile();
    error.clear();
    EXPECT_FALSE(MqttPublisher::SendOnce(s, "{}", &error, 5000));
    EXPECT_FALSE(error.isEmpty());
}

// Two stations on one broker, one through the broker's Unix socket, one over TCP: a subscriber
// sees the sensors of both under their prefixes.
TEST(MqttPublish, TwoStationsOneBroker) {
    Broker::Options o;
    o.unixSocket = true;
    Broker broker(o);
    ASSERT_TRUE(broker.Start()) << broker.Log().toStdString();
    Subscriber sub(At(broker.Port()), {"rooms/+/sensor/+", "rooms/+/status"});

    NotifySettings a;
    a.mqttEnabled = true;
    a.host = broker.SocketPath();
    a.prefix = "rooms/north";
    NotifySettings b;
    b.mqttEnabled = true;
    b.host = "127.0.0.1";
    b.port = broker.Port();
    b.prefix = "rooms/south";
    MqttPublisher pa(a, QString());
    MqttPublisher pb(b, QString());
    ASSERT_TRUE(testsupport::WaitFor([&] { return pa.Connected() && pb.Connected(); }))
        << pa.LastError().toStdString() << " / " << pb.LastError().toStdString();
    pa.SetReading(Reading(1, "北库", 3.5, ReadingState::Normal));
    pb.SetReading(Reading(1, "南库", 4.25, ReadingState::Normal));
    ASSERT_TRUE(sub.WaitFor([&](const QVector<Message>&) {
        return !sub.On("rooms/north/sensor/1").isEmpty() &&
               !sub.On("rooms/south/sensor/1").isEmpty();
    }));
    EXPECT_EQ(Json(sub.On("rooms/north/sensor/1")[0].payload)["location"].toString(), "北库");
    EXPECT_EQ(Json(sub.On("rooms/south/sensor/1")[0].payload)["location"].toString(), "南库");
    EXPECT_EQ(sub.On("rooms/north/status").value(0).payload, "online");
    EXPECT_EQ(sub.On("rooms/south/status").value(0).payload, "online");
}

// Without the sections, or with them switched off, nothing is started and nothing connects.
TEST(MqttPublish, NothingConfiguredNothingConnects) {
    QTcpServer trap;
    ASSERT_TRUE(trap.listen(QHostAddress::LocalHost, 0));
    NotifyFolder folder;
    folder.WriteIni("[seting]\ntitle=x\n");
    StationEvents events;
    {
        NotifyService service(events, folder.Ini(), folder.Db(), {});
        EXPECT_EQ(service.Publisher(), nullptr);
        EXPECT_EQ(service.Sender(), nullptr);
    }
    folder.WriteIni(
        "[mqtt]\nenabled=0\nhost=127.0.0.1\nport=" + QByteArray::number(trap.serverPort()) +
        "\n[notify]\nwebhook=\nsmtp_url=smtp://127.0.0.1:" + QByteArray::number(trap.serverPort()) +
        "\nmail_to=\n");
    NotifyService service(events, folder.Ini(), folder.Db(), {});
    EXPECT_EQ(service.Publisher(), nullptr);
    EXPECT_EQ(service.Sender(), nullptr);
    emit events.AlarmRecorded(Reading(1, "x", 20, ReadingState::High));
    emit events.BusLost(QDateTime::currentDateTime());
    testsupport::WaitFor([] { return false; }, 1000);
    EXPECT_FALSE(trap.hasPendingConnections());
}
