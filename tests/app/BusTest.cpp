// The main window on the bus: discovery, the receive dispatcher and the acquisition cycle,
// against the bus simulator on pseudo-terminals.
#include <gtest/gtest.h>

#include <QTest>

#include "BusSimulator.h"
#include "StationFixture.h"
#include "TestSupport.h"

namespace {

bool BoardHas(const Station& s, const QString& line) {
    return s.Board().contains(line);
}

void Deliver(Station& s, const QByteArray& bytes) {
    s.Fmain->Comm1ReceiveData(&s.Fmain->Comm1, reinterpret_cast<const uint8_t*>(bytes.constData()),
                              static_cast<uint16_t>(bytes.size()));
}

// Environment for one test: the station's port list.
struct Ports {
    explicit Ports(const QString& list) { qputenv("SENSORBUS_PORTS", list.toLocal8Bit()); }
    ~Ports() { qunsetenv("SENSORBUS_PORTS"); }
};

}  // namespace

TEST(Discovery, BusOnTheSecondPortAfterASilentOne) {
    BusSimulator silent({"--silent"});
    BusSimulator bus({"--sensor", "0A1B2C=20", "--version-char", "1"});
    PortLinks links({silent.Path(), bus.Path()});
    Ports env(links.List());
    StationFolder folder;
    Station s(folder);
    ASSERT_TRUE(
        testsupport::WaitFor([&] { return s.Fset2->sLabelFX3->text() == "对接正常      "; }, 5000));
    ASSERT_TRUE(testsupport::WaitFor([&] { return !s.Fmain->Timer3()->isActive(); }, 2000));
    EXPECT_EQ(s.Board(), QStringList({"对接测试...", "对接成功！", "设备版本: V1"}));
    EXPECT_EQ(s.Fset2->ComboBox1->currentText(), links.Link(1));
    EXPECT_TRUE(s.Fmain->Comm1.PortOpen());
    EXPECT_EQ(silent.Received("AaaA").size(), 1);
    EXPECT_EQ(bus.Received("AaaA").size(), 1);
    EXPECT_FALSE(s.Fmain->Timer2()->isActive());
}

TEST(Discovery, TwoSilentPortsFindNoDeviceAndLeaveNothingOpen) {
    BusSimulator a({"--silent"});
    BusSimulator b({"--silent"});
    PortLinks links({a.Path(), b.Path()});
    Ports env(links.List());
    StationFolder folder;
    Station s(folder);
    ASSERT_TRUE(testsupport::WaitFor([&] { return BoardHas(s, "未找到设备！"); }, 5000));
    EXPECT_EQ(s.Fset2->sLabelFX3->text(), "未连接       ");
    EXPECT_FALSE(s.Fmain->Comm1.PortOpen());
    EXPECT_FALSE(s.Fmain->Timer2()->isActive());
    EXPECT_FALSE(s.Fmain->Timer3()->isActive());
    EXPECT_EQ(a.Received("AaaA").size(), 1);
    EXPECT_EQ(b.Received("AaaA").size(), 1);
}

TEST(Discovery, APortHeldByAnotherProgramIsReportedOccupied) {
    BusSimulator bus({"--sensor", "0A1B2C=20"});
    TComm other;
    other.SetCommName(bus.Path());
    other.OpenComm();
    ASSERT_TRUE(other.PortOpen());
    Ports env(bus.Path());
    StationFolder folder;
    Station s(folder);
    s.Fset2->sLabelFX3->setText("unchanged");
    ASSERT_TRUE(testsupport::WaitFor([&] { return BoardHas(s, "通信口被占用！"); }, 3000));
    EXPECT_EQ(s.Fset2->sLabelFX3->text(), "unchanged");
    EXPECT_FALSE(s.Fmain->Comm1.PortOpen());
    EXPECT_EQ(bus.Received("AaaA").size(), 0);
}

TEST(Discovery, TheFirstPortAnsweringMeansTheSecondIsNeverTried) {
    BusSimulator bus({"--sensor", "0A1B2C=20", "--version-char", "7"});
    BusSimulator other({"--sensor", "0A1B2D=20"});
    PortLinks links({bus.Path(), other.Path()});
    Ports env(links.List());
    StationFolder folder;
    Station s(folder);
    ASSERT_TRUE(testsupport::WaitFor([&] { return BoardHas(s, "设备版本: V7"); }, 3000));
    QTest::qWait(600);  // longer than a further probe step would take
    EXPECT_EQ(other.Received("AaaA").size(), 0);
    EXPECT_EQ(s.Fset2->ComboBox1->currentText(), links.Link(0));
}

TEST(Discovery, ALateHandshakeReplyIsTakenByTheNextPortThatOpens) {
    BusSimulator first({"--silent"});
    BusSimulator second({"--silent"});
    PortLinks links({first.Path(), second.Path()});
    Ports env(links.List());
    StationFolder folder;
    Station s(folder);
    // The first port's wait is over and it has been closed: its reply comes too late.
    ASSERT_TRUE(testsupport::WaitFor([&] { return s.Fmain->State().silentPortSeen; }, 3000));
    Deliver(s, QByteArray::fromHex("41616131"));
    EXPECT_EQ(s.Board().mid(1), QStringList({"对接成功！", "设备版本: V1"}));
    ASSERT_TRUE(testsupport::WaitFor(
        [&] {
            return second.Received("AaaA").size() == 1 && !s.Fmain->Timer3()->isActive() &&
                   !s.Fmain->Timer2()->isActive();
        },
        3000));
    EXPECT_EQ(s.Fset2->ComboBox1->currentText(), links.Link(1));
    EXPECT_TRUE(s.Fmain->Comm1.PortOpen());
    EXPECT_FALSE(BoardHas(s, "未找到设备！"));
}

TEST(Discovery, ReconnectWhileConnectedProbesAgainFromTheFirstPort) {
    BusSimulator silent({"--silent"});
    BusSimulator bus({"--sensor", "0A1B2C=20"});
    PortLinks links({silent.Path(), bus.Path()});
    Ports env(links.List());
    StationFolder folder;
    Station s(folder);
    ASSERT_TRUE(testsupport::WaitFor([&] { return BoardHas(s, "对接成功！"); }, 5000));
    ASSERT_TRUE(testsupport::WaitFor([&] { return !s.Fmain->Timer3()->isActive(); }, 1000));
    // What the settings window's reconnect does.
    StationState& st = s.Fmain->State();
    st.portIndex = 0;
    st.handshakeOk = false;
    st.silentPortSeen = false;
    s.Fmain->Timer2()->start();
    ASSERT_TRUE(testsupport::WaitFor([&] { return bus.Received("AaaA").size() == 2; }, 5000));
    EXPECT_EQ(silent.Received("AaaA").size(), 2);
    ASSERT_TRUE(testsupport::WaitFor([&] { return !s.Fmain->Timer3()->isActive(); }, 1000));
    EXPECT_TRUE(s.Fmain->Comm1.PortOpen());
    EXPECT_EQ(s.Board().count("对接成功！"), 2);
}

TEST(Discovery, AnEmptyPortListOpensNothingAndLeavesNoTimerRunning) {
    Ports env("");
    StationFolder folder;
    Station s(folder);
    QTest::qWait(400);
    EXPECT_FALSE(s.Fmain->Timer2()->isActive());
    EXPECT_FALSE(s.Fmain->Timer3()->isActive());
    EXPECT_FALSE(s.Fmain->Comm1.PortOpen());
    EXPECT_EQ(s.Board(), QStringList({"未找到通信口", "对接测试..."}));
}

TEST(Dispatcher, SortsEachDeliveryByItsLengthAndFirstBytes) {
    Ports env("");
    StationFolder folder;
    folder.AddSensors({{3, "0A1B2C ", "hall "}});
    Station s(folder);
    s.Fmain->RzListBox1->Clear();

    Deliver(s, QByteArray::fromHex("41616131"));
    EXPECT_EQ(s.Board(), QStringList({"对接成功！", "设备版本: V1"}));
    EXPECT_TRUE(s.Fmain->State().handshakeOk);
    s.Fmain->RzListBox1->Clear();

    Deliver(s, QByteArray::fromHex("41616231"));              // not "Aaa"
    Deliver(s, QByteArray::fromHex("0A1B2C01910A1B2C0191"));  // two readings merged
    Deliver(s, QByteArray::fromHex("0A1B2C"));                // register window not showing
    EXPECT_TRUE(s.Board().isEmpty());

    Deliver(s, QByteArray::fromHex("0A1B2C0191"));
    EXPECT_EQ(s.Board(), QStringList({"ID:0A1B2C 温度:25.0625℃"}));
    EXPECT_EQ(s.Fmain->RzStringGrid1->Cell(1, 1), "25.0625");
}

TEST(Dispatcher, FiveBytesStartingLikeAHandshakeAreAReading) {
    Ports env("");
    StationFolder folder;
    Station s(folder);
    s.Fmain->RzListBox1->Clear();
    Deliver(s, QByteArray::fromHex("4161610191"));
    EXPECT_EQ(s.Board(), QStringList({"接收ID:416161未配置"}));
    EXPECT_FALSE(s.Fmain->State().handshakeOk);
}

TEST(Acquisition, TimedRequestsReachTheBusEveryInterval) {
    BusSimulator bus({"--sensor", "0A1B2C=20"});
    Ports env(bus.Path());
    StationFolder folder;
    folder.WriteIni(DefaultIni("2"));
    Station s(folder);
    ASSERT_TRUE(testsupport::WaitFor([&] { return bus.Received("BA").size() >= 3; }, 9000));
    const QVector<double> t = bus.Received("BA");
    for (int i = 1; i < t.size(); ++i) {
        EXPECT_GT(t[i] - t[i - 1], 1700) << i;
        EXPECT_LT(t[i] - t[i - 1], 2300) << i;
    }
    EXPECT_TRUE(BoardHas(s, "采集数据..."));
    EXPECT_TRUE(s.Fmain->RzLabel1->text().startsWith("采集倒计时:"));
    EXPECT_TRUE(s.Fmain->RzLabel1->text().endsWith("秒"));
}

TEST(Acquisition, CountdownLabelRunsDownAndRequestsGoOutAtZero) {
    BusSimulator bus({"--sensor", "0A1B2C=20"});
    Ports env(bus.Path());
    StationFolder folder;
    folder.WriteIni(DefaultIni("3"));
    Station s(folder);
    ASSERT_TRUE(testsupport::WaitFor([&] { return BoardHas(s, "对接成功！"); }, 3000));
    s.Fmain->TimerB()->stop();
    s.Fmain->RzListBox1->Clear();
    QStringList labels;
    for (int i = 0; i < 4; ++i) {
        s.Fmain->TimerBTimer();
        labels << s.Fmain->RzLabel1->text();
    }
    EXPECT_EQ(labels, QStringList({"采集倒计时:2秒", "采集倒计时:1秒", "采集倒计时:0秒",
                                   "采集倒计时:2秒"}));
    EXPECT_EQ(s.Board(), QStringList({"采集数据..."}));
}

// With no port open nothing can be asked: the board never claims a collection then, so that
// a station that lost its bus does not look as if it were still reading it.
TEST(Acquisition, WithoutAnOpenPortNoCollectionIsClaimed) {
    Ports env("");
    StationFolder folder;
    folder.WriteIni(DefaultIni("2"));
    Station s(folder);
    s.Fmain->TimerB()->stop();
    s.Fmain->RzListBox1->Clear();
    for (int i = 0; i < 5; ++i) s.Fmain->TimerBTimer();
    EXPECT_EQ(s.Fmain->RzLabel1->text(), "采集倒计时:1秒");
    EXPECT_TRUE(s.Board().isEmpty()) << s.Board().join('|').toStdString();
    QTest::mouseClick(s.Fmain->SpeedButton1, Qt::LeftButton);
    EXPECT_EQ(s.Board(), QStringList({"未连接，未能采集数据"}));
}

TEST(Acquisition, NegativeIntervalSendsNothingButKeepsTheLabel) {
    Ports env("");
    StationFolder folder;
    folder.WriteIni(DefaultIni("-5"));
    Station s(folder);
    s.Fmain->RzListBox1->Clear();
    for (int i = 0; i < 3; ++i) s.Fmain->TimerBTimer();
    EXPECT_EQ(s.Fmain->RzLabel1->text(), "采集倒计时:");
    EXPECT_TRUE(s.Board().isEmpty());
}

TEST(Acquisition, AcquireNowSendsAtOnceAndPostponesTheTimedRequest) {
    BusSimulator bus({"--sensor", "0A1B2C=20"});
    Ports env(bus.Path());
    StationFolder folder;
    folder.WriteIni(DefaultIni("3"));
    Station s(folder);
    ASSERT_TRUE(testsupport::WaitFor([&] { return BoardHas(s, "对接成功！"); }, 3000));
    ASSERT_TRUE(testsupport::WaitFor([&] { return bus.Received("BA").size() == 1; }, 5000));
    QTest::qWait(1500);  // half way to the next timed request
    QTest::mouseClick(s.Fmain->SpeedButton1, Qt::LeftButton);
    EXPECT_EQ(s.Board().last(), "数据采集...");
    EXPECT_EQ(s.Fmain->State().countdown, 3);
    ASSERT_TRUE(testsupport::WaitFor([&] { return bus.Received("BA").size() == 3; }, 6000));
    const QVector<double> t = bus.Received("BA");
    EXPECT_GT(t[1] - t[0], 1200);  // the press, not the timer
    // Three ticks after the press (the first tick keeps the timer's phase), where the
    // timed request would otherwise have gone out 1.5 s after it.
    EXPECT_GT(t[2] - t[1], 2000);
}

TEST(Acquisition, IntervalZeroOnlySendsOnTheButton) {
    BusSimulator bus({"--sensor", "0A1B2C=20"});
    Ports env(bus.Path());
    StationFolder folder;
    folder.WriteIni(DefaultIni("0"));
    Station s(folder);
    ASSERT_TRUE(testsupport::WaitFor([&] { return BoardHas(s, "对接成功！"); }, 3000));
    QTest::qWait(1500);
    EXPECT_EQ(bus.Received("BA").size(), 0);
    QTest::mouseClick(s.Fmain->SpeedButton1, Qt::LeftButton);
    ASSERT_TRUE(testsupport::WaitFor([&] { return bus.Received("BA").size() == 1; }, 2000));
    EXPECT_EQ(s.Fmain->RzLabel1->text(), "不启用定时采集");
    ASSERT_TRUE(testsupport::WaitFor(
        [&] {
            return BoardHas(s, "ID:0A1B2C 温度:20℃") || s.Board().contains("接收ID:0A1B2C未配置");
        },
        3000));
}
