// Two real stations watched on one broker, the way many rooms are watched: each station runs
// from a program folder of its own on a simulated bus of its own, in a network namespace of its
// own, and reaches the broker only through the broker's Unix socket. A subscriber on 127.0.0.1
// sees both under their prefixes, and the last will of the one that is killed.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <iostream>

#include "Broker.h"
#include "BusSimulator.h"
#include "NamespacedStation.h"
#include "Subscriber.h"
#include "TestSupport.h"

namespace {

struct Room {
    QString prefix;
    QString title;
    // Register number -> (sensor ID, location, temperature the bus gives).
    struct Sensor {
        int code;
        QString id;
        QString location;
        double celsius;
    };
    QVector<Sensor> sensors;
};

QByteArray Ini(const Room& room, const QString& socket) {
    return "[seting]\nstart=1\nicon=0\ntitle=" + room.title.toUtf8() +
           "\naddhigh=25\ninterval=2\nmedia=\n[mqtt]\nenabled=1\nhost=" + socket.toUtf8() +
           "\nprefix=" + room.prefix.toUtf8() + "\n";
}

void Register(const NotifyFolder& folder, const Room& room) {
    QString sql;
    for (const Room::Sensor& s : room.sensors)
        sql += QStringLiteral(
                   "insert into settab(code,codeid,fix,almhigh,almlow,remark) "
                   "values(%1,'%2 ','%3 ',30,-30,' ');")
                   .arg(s.code)
                   .arg(s.id, s.location);
    folder.Sql(sql);
}

QStringList SimulatorArgs(const Room& room) {
    QStringList args;
    for (const Room::Sensor& s : room.sensors)
        args << QStringLiteral("--sensor") << QStringLiteral("%1=%2").arg(s.id).arg(s.celsius);
    return args;
}

QByteArray Last(Subscriber& sub, const QString& topic) {
    const QVector<Message> m = sub.On(topic);
    return m.isEmpty() ? QByteArray("(nothing)") : m.last().payload;
}

// Every sensor of the room is on the broker with the reading its bus gave.
bool AllSensorsShown(Subscriber& sub, const Room& room) {
    for (const Room::Sensor& s : room.sensors) {
        const QVector<Message> m = sub.On(room.prefix + QStringLiteral("/sensor/%1").arg(s.code));
        if (m.isEmpty()) return false;
        const QJsonObject o = QJsonDocument::fromJson(m.last().payload).object();
        if (o.value("celsius").toDouble() != s.celsius) return false;
    }
    return true;
}

bool OnlineWithBus(Subscriber& sub, const Room& room) {
    return Last(sub, room.prefix + "/status") == "online" &&
           Last(sub, room.prefix + "/bus") == "ok";
}

}  // namespace

TEST(TwoStations, OneBrokerSeesBothAndTheLastWillOfTheKilledOne) {
    if (!NamespacedStation::CanRun())
        GTEST_SKIP() << "needs root for unshare -n (a network namespace per station)";
    QElapsedTimer clock;
    clock.start();

    Broker::Options o;
    o.unixSocket = true;
    Broker broker(o);
    ASSERT_TRUE(broker.Start()) << broker.Log().toStdString();

    // In a namespace of its own a client cannot reach the broker's TCP listener, only its
    // socket: the stations below are in the same position.
    auto publishFromNamespace = [](const QStringList& to) {
        QProcess p;
        p.start("unshare", QStringList{"-n", "mosquitto_pub"} + to +
                               QStringList{"-t", "rooms/probe", "-m", "x"});
        return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    };
    EXPECT_FALSE(publishFromNamespace(At(broker.Port())));
    EXPECT_TRUE(publishFromNamespace({"--unix", broker.SocketPath()}));

    const Room north{
        "rooms/north", "北库", {{1, "0A1B01", "北库门口", 4.5}, {2, "0A1B02", "北库深处", 2.25}}};
    const Room south{"rooms/south",
                     "南库",
                     {{1, "0A2C01", "南库一号", -18.5},
                      {2, "0A2C02", "南库二号", -20.0625},
                      {5, "0A2C05", "南库冷柜", 3}}};
    const QStringList topics = {"rooms/+/status", "rooms/+/bus", "rooms/+/sensor/+"};
    Subscriber sub(At(broker.Port()), topics);
    ASSERT_TRUE(sub.Running());

    // The buses first, so that they outlive the stations on them.
    BusSimulator northBus(SimulatorArgs(north));
    BusSimulator southBus(SimulatorArgs(south));
    NamespacedStation a;
    NamespacedStation b;
    a.Folder().WriteIni(Ini(north, broker.SocketPath()));
    b.Folder().WriteIni(Ini(south, broker.SocketPath()));
    Register(a.Folder(), north);
    Register(b.Folder(), south);
    ASSERT_TRUE(a.Start(northBus.Path()));
    ASSERT_TRUE(b.Start(southBus.Path()));

    // Both online, both buses ok, every sensor of both with its reading.
    const bool seen = sub.WaitFor(
        [&](const QVector<Message>&) {
            return OnlineWithBus(sub, north) && OnlineWithBus(sub, south) &&
                   AllSensorsShown(sub, north) && AllSensorsShown(sub, south);
        },
        30000);
    ASSERT_TRUE(seen) << "north status " << Last(sub, "rooms/north/status").toStdString() << " bus "
                      << Last(sub, "rooms/north/bus").toStdString() << ", south status "
                      << Last(sub, "rooms/south/status").toStdString() << " bus "
                      << Last(sub, "rooms/south/bus").toStdString() << "; all sensors shown: north "
                      << AllSensorsShown(sub, north) << ", south " << AllSensorsShown(sub, south)
                      << "; " << sub.Messages().size()
                      << " messages\nnorth: " << a.Output().toStdString()
                      << "\nsouth: " << b.Output().toStdString();
    ASSERT_TRUE(a.Running() && b.Running());

    // A subscriber coming now finds it all retained on the broker, each sensor under its own
    // station's prefix with its own location.
    Subscriber late(At(broker.Port()), topics);
    ASSERT_TRUE(
        late.WaitFor([&](const QVector<Message>& m) { return m.size() >= 4 + 2 + 3; }, 10000))
        << late.Messages().size();
    for (const Message& m : late.Messages()) EXPECT_TRUE(m.retained) << m.topic.toStdString();
    for (const Room* room : {&north, &south}) {
        EXPECT_EQ(Last(late, room->prefix + "/status"), "online");
        EXPECT_EQ(Last(late, room->prefix + "/bus"), "ok");
        for (const Room::Sensor& s : room->sensors) {
            const QString topic = room->prefix + QStringLiteral("/sensor/%1").arg(s.code);
            const QJsonObject j = QJsonDocument::fromJson(Last(late, topic)).object();
            EXPECT_EQ(j.value("number").toInt(), s.code) << topic.toStdString();
            EXPECT_EQ(j.value("id").toString(), s.id) << topic.toStdString();
            EXPECT_EQ(j.value("location").toString(), s.location) << topic.toStdString();
            EXPECT_EQ(j.value("celsius").toDouble(), s.celsius) << topic.toStdString();
            EXPECT_EQ(j.value("state").toString(), "normal") << topic.toStdString();
        }
    }
    // Nothing under either prefix but the sensors each station has.
    QMap<QString, int> perRoom;
    for (const Message& m : late.Messages())
        if (m.topic.contains("/sensor/")) ++perRoom[m.topic.section('/', 0, 1)];
    EXPECT_EQ(perRoom.value("rooms/north"), 2);
    EXPECT_EQ(perRoom.value("rooms/south"), 3);
    late.Stop();

    // The north station dies without a word: the broker says so through its last will, and the
    // south station stays online.
    a.Kill();
    ASSERT_TRUE(sub.WaitFor(
        [&](const QVector<Message>&) { return Last(sub, "rooms/north/status") == "offline"; },
        10000))
        << Last(sub, "rooms/north/status").toStdString();
    EXPECT_EQ(Last(sub, "rooms/south/status"), "online");
    EXPECT_TRUE(b.Running());
    Subscriber after(At(broker.Port()), {"rooms/+/status"});
    ASSERT_TRUE(after.WaitFor([](const QVector<Message>& m) { return m.size() >= 2; }));
    EXPECT_EQ(Last(after, "rooms/north/status"), "offline");
    EXPECT_EQ(Last(after, "rooms/south/status"), "online");

    std::cout << "[ figures  ] two stations seen and one killed in " << clock.elapsed() << " ms"
              << std::endl;
}
