// The station watching itself, end to end against the bus simulator: a bus that goes away and
// comes back, a sensor that falls silent, monitoring while windows are open, and a database
// that is locked, write-protected or damaged while alarms happen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "BusSimulator.h"
#include "ReadOnlyMount.h"
#include "SoundPlayer.h"
#include "StationFixture.h"
#include "TestSupport.h"

namespace {

QByteArray Ini(int interval) {
    return "[seting]\nstart=1\nicon=0\ntitle=t\naddhigh=25\ninterval=" +
           QByteArray::number(interval) + "\nmedia=" + testsupport::BinDir().toUtf8() +
           "/Alarm.wav\n";
}

struct Ports {
    explicit Ports(const QString& list) { qputenv("SENSORBUS_PORTS", list.toLocal8Bit()); }
    ~Ports() { qunsetenv("SENSORBUS_PORTS"); }
};

int Rows(const StationFolder& f, const QString& where = "1") {
    return f.Sql("select count(*) from alming where " + where).toInt();
}

bool Connected(const Station& s) {
    return s.Fmain->busStateLabel->text() == "通信正常";
}

// Points a port link at another port, as a device that comes back under the same name.
void Relink(const QString& link, const QString& target) {
    QFile::remove(link);
    ASSERT_TRUE(QFile::link(target, link));
}

long RssKb() {
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

int OpenBoxes() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox*>(w) && w->isVisible()) ++n;
    return n;
}

void CloseBoxes() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) box->accept();
}

class Supervision : public ::testing::Test {
  protected:
    void SetUp() override { SoundPlayer::Shared().SetAudioSink("fakesink"); }
    void TearDown() override { CloseSound("mywave"); }
};

}  // namespace

TEST_F(Supervision, ADroppedBusIsReportedOnceAndFoundAgainUnderItsName) {
    auto bus = std::make_unique<BusSimulator>(QStringList{"--sensor", "0A1B2C=20", "--gap", "60"});
    PortLinks links({bus->Path()});
    Ports env(links.List());
    StationFolder folder;
    folder.AddSensors({{1, "0A1B2C ", "cold room ", 30, 0}});
    folder.WriteIni(Ini(1));
    const QDateTime started = QDateTime::currentDateTime().addSecs(-1);
    Station s(folder);
    TStringGrid* g = s.Fmain->RzStringGrid1;
    ASSERT_TRUE(testsupport::WaitFor([&] { return g->Cell(1, 1) == "20"; }, 5000));
    EXPECT_TRUE(Connected(s));
    // The hint names the reading's local time to the second, zero-padded.
    const QString hint = g->CellHint(1, 1);
    ASSERT_TRUE(hint.startsWith("读取时间: ")) << hint.toStdString();
    const QString stamp = hint.mid(QString("读取时间: ").size());
    const QDateTime read = QDateTime::fromString(stamp, "yyyy-MM-dd HH:mm:ss");
    ASSERT_TRUE(read.isValid()) << stamp.toStdString();
    EXPECT_EQ(read.toString("yyyy-MM-dd HH:mm:ss"), stamp);
    EXPECT_GE(read, started);
    EXPECT_LE(read, QDateTime::currentDateTime());

    bus->Control("drop");
    ASSERT_TRUE(testsupport::WaitFor([&] { return s.Board().contains("通信中断"); }, 5000));
    const QDateTime lostAt = QDateTime::currentDateTime();
    EXPECT_EQ(s.Fmain->busStateLabel->text(), "通信中断");
    EXPECT_NE(s.Fset2->sLabelFX3->text(), "对接正常      ");
    EXPECT_EQ(g->Cell(1, 1), "无数据");
    EXPECT_TRUE(s.Fmain->hTrayIcon1->Animate());
    EXPECT_TRUE(s.Fmain->Led->isVisible());
    EXPECT_FALSE(s.Fmain->Comm1.PortOpen());
    EXPECT_EQ(Rows(folder, "code=0 and fix='通信中断' and almtemp=''"), 1);
    QTest::qWait(3000);  // requests go on meanwhile: still one episode
    EXPECT_EQ(s.Board().count("通信中断"), 1);
    EXPECT_EQ(Rows(folder), 1);

    // The adapter comes back: a new bus behind the same name.
    bus = std::make_unique<BusSimulator>(QStringList{"--sensor", "0A1B2C=21.5", "--gap", "60"});
    Relink(links.Link(0), bus->Path());
    ASSERT_TRUE(testsupport::WaitFor([&] { return s.Board().contains("通信恢复"); }, 40000));
    EXPECT_LE(lostAt.secsTo(QDateTime::currentDateTime()), 40);
    EXPECT_TRUE(Connected(s));
    ASSERT_TRUE(testsupport::WaitFor([&] { return g->Cell(1, 1) == "21.5"; }, 5000));
    EXPECT_TRUE(s.Board().contains("对接成功！"));
    EXPECT_EQ(Rows(folder), 1);
}

TEST_F(Supervision, ABusThatReturnsUnderANewNameIsFoundByTheNextSearch) {
    auto bus = std::make_unique<BusSimulator>(QStringList{"--sensor", "0A1B2C=20", "--gap", "60"});
    auto env = std::make_unique<Ports>(bus->Path());
    StationFolder folder;
    folder.AddSensors({{1, "0A1B2C ", "cold room ", 30, 0}});
    folder.WriteIni(Ini(1));
    Station s(folder);
    s.Fmain->TimerR()->setInterval(1000);  // the search interval itself is not under test here
    ASSERT_TRUE(testsupport::WaitFor([&] { return s.Fmain->RzStringGrid1->Cell(1, 1) == "20"; }));
    bus->Control("drop");
    ASSERT_TRUE(testsupport::WaitFor([&] { return s.Board().contains("通信中断"); }, 5000));
    auto replugged =
        std::make_unique<BusSimulator>(QStringList{"--sensor", "0A1B2C=22", "--gap", "60"});
    env.reset();
    env = std::make_unique<Ports>(replugged->Path());  // the kernel lists another name now
    ASSERT_TRUE(testsupport::WaitFor([&] { return s.Board().contains("通信恢复"); }, 10000))
        << s.Board().join('\n').toStdString();
    ASSERT_TRUE(testsupport::WaitFor([&] { return s.Fmain->RzStringGrid1->Cell(1, 1) == "22"; }));
    EXPECT_EQ(s.Fset2->ComboBox1->currentText(), replugged->Path());
}

TEST_F(Supervision, ABusThatStopsAnsweringIsLostAfterTwoRequests) {
    BusSimulator bus({"--sensor", "0A1B2C=20", "--gap", "60"});
    Ports env(bus.Path());
    StationFolder folder;
    folder.AddSensors({{1, "0A1B2C ", "cold room ", 30, 0}});
    folder.WriteIni(Ini(1));
    Station s(folder);
    ASSERT_TRUE(testsupport::WaitFor([&] { return s.Fmain->RzStringGrid1->Cell(1, 1) == "20"; }));
    bus.Control("silent on");
    ASSERT_TRUE(testsupport::WaitFor([&] { return s.Board().contains("通信中断"); }, 6000));
    EXPECT_EQ(Rows(folder, "code=0"), 1);
}

TEST_F(Supervision, OneSilentSensorOfThreeIsReportedAndComesBack) {
    BusSimulator bus({"--sensor", "0A1B01=20", "--sensor", "0A1B02=21", "--sensor", "0A1B03=22",
                      "--gap", "120"});
    Ports env(bus.Path());
    StationFolder folder;
    folder.AddSensors({{1, "0A1B01 ", "hall ", 30, 0},
                       {2, "0A1B02 ", "cold room ", 30, 0},
                       {3, "0A1B03 ", "store ", 30, 0}});
    folder.WriteIni(Ini(1));
    Station s(folder);
    TStringGrid* g = s.Fmain->RzStringGrid1;
    ASSERT_TRUE(testsupport::WaitFor([&] { return g->Cell(1, 3) == "22"; }, 5000))
        << s.Board().join('\n').toStdString();
    bus.Control("mute 0A1B02 on");
    ASSERT_TRUE(testsupport::WaitFor([&] { return Rows(folder, "almtemp='离线'") == 1; }, 8000))
        << s.Board().join('\n').toStdString();
    EXPECT_EQ(Rows(folder, "almtemp='离线' and code=2 and fix='cold room '"), 1);
    EXPECT_EQ(g->Cell(1, 2), "无数据");
    EXPECT_EQ(g->Cell(1, 1), "20");
    EXPECT_TRUE(s.Fmain->Watch().Silent(2));
    EXPECT_FALSE(s.Fmain->Watch().Silent(1));
    EXPECT_TRUE(s.Board().contains("传感器离线: 编号2 cold room"));
    EXPECT_TRUE(s.Fmain->hTrayIcon1->Animate());
    // The row has a colour of its own.
    QTest::qWait(50);
    const QImage img = g->viewport()->grab().toImage();
    const QRect cell = g->CellRect(2, 2);
    const QColor silent = img.pixelColor(cell.right() - 3, cell.bottom() - 3);
    const QColor other =
        img.pixelColor(g->CellRect(2, 1).right() - 3, g->CellRect(2, 1).bottom() - 3);
    EXPECT_NE(silent, other);
    EXPECT_NE(silent, QColor(255, 0, 0));
    EXPECT_NE(silent, QColor(128, 128, 128));

    bus.Control("mute 0A1B02 off");
    ASSERT_TRUE(testsupport::WaitFor([&] { return g->Cell(1, 2) == "21"; }, 5000));
    EXPECT_TRUE(s.Board().contains("传感器恢复: 编号2 cold room"));
    EXPECT_FALSE(s.Fmain->Watch().Silent(2));
    EXPECT_FALSE(s.Board().contains("通信中断"));
    EXPECT_EQ(Rows(folder), 1);
}

TEST_F(Supervision, RequestsGoOnWhileEachWindowIsOpen) {
    BusSimulator bus({"--sensor", "0A1B2C=20", "--gap", "60"});
    Ports env(bus.Path());
    StationFolder folder;
    folder.AddSensors({{1, "0A1B2C ", "cold room ", 30, 0}});
    folder.WriteIni(Ini(1));
    Station s(folder);
    ASSERT_TRUE(testsupport::WaitFor([&] { return s.Fmain->RzStringGrid1->Cell(1, 1) == "20"; }));
    for (QToolButton* button :
         {s.Fmain->SpeedButton3, s.Fmain->SpeedButton2, s.Fmain->SpeedButton7}) {
        QDialog* window = button == s.Fmain->SpeedButton3   ? static_cast<QDialog*>(s.Falm)
                          : button == s.Fmain->SpeedButton2 ? static_cast<QDialog*>(s.Fset)
                                                            : static_cast<QDialog*>(s.Fset2);
        const int before = bus.Received("BA").size();
        int during = -1;
        QTimer::singleShot(3500, window, [&] {
            during = bus.Received("BA").size() - before;
            window->close();
        });
        bus.Control("set 0A1B2C 31");
        QTimer::singleShot(1500, [&] { bus.Control("set 0A1B2C 20"); });
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_GE(during, 2) << window->objectName().toStdString();
    }
    // The excursion while the first window was open was judged and alarmed as usual.
    EXPECT_EQ(Rows(folder, "code=1 and almtemp='31'"), 1);
}

TEST_F(Supervision, AnAlarmDuringAWriteLockIsRaisedAtOnceAndWrittenOnceAfterwards) {
    BusSimulator bus({"--sensor", "0A1B2C=20", "--gap", "60"});
    Ports env(bus.Path());
    StationFolder folder;
    folder.AddSensors({{1, "0A1B2C ", "server room ", 30, 0}});
    folder.WriteIni(Ini(1));
    Station s(folder);
    MessageBoxWatcher boxes;
    ASSERT_TRUE(testsupport::WaitFor([&] { return s.Fmain->RzStringGrid1->Cell(1, 1) == "20"; }));
    // Another program holds the database for 10 s.
    QProcess locker;
    locker.start("python3", {"-c",
                             "import sqlite3,sys,time\n"
                             "c=sqlite3.connect(sys.argv[1],isolation_level=None)\n"
                             "c.execute('begin exclusive')\n"
                             "print('locked',flush=True)\n"
                             "time.sleep(10)\n"
                             "c.execute('commit')\n",
                             folder.Db()});
    ASSERT_TRUE(locker.waitForReadyRead(5000));
    const QDateTime excursion = QDateTime::currentDateTime();
    bus.Control("set 0A1B2C 31");
    ASSERT_TRUE(testsupport::WaitFor([&] { return s.Board().contains("ID:0A1B2C报警"); }, 3000));
    EXPECT_EQ(s.Fmain->rowAlarmState[1], 1);
    EXPECT_TRUE(s.Fmain->hTrayIcon1->Animate());
    EXPECT_EQ(s.Fmain->PendingAlarmCount(), 1);
    QTest::qWait(3000);
    bus.Control("set 0A1B2C 20");
    ASSERT_TRUE(locker.waitForFinished(15000));
    EXPECT_EQ(Rows(folder), 0) << "nothing can be written while the lock is held";
    ASSERT_TRUE(testsupport::WaitFor([&] { return Rows(folder) == 1; }, 5000));
    QTest::qWait(2500);
    EXPECT_EQ(Rows(folder), 1);
    EXPECT_EQ(s.Fmain->PendingAlarmCount(), 0);
    // The row holds the time of the alarm, not of the write.
    const int times = folder.Sql("select times from alming").toInt();
    const QTime logged(times / 10000, times / 100 % 100, times % 100);
    EXPECT_LE(std::abs(logged.secsTo(excursion.time())), 3) << times;
    EXPECT_EQ(folder.Sql("select almtemp from alming"), "31");
    EXPECT_FALSE(folder.Sql("select almnear from settab where code=1").trimmed().isEmpty());
}

TEST_F(Supervision, AWriteProtectedDatabaseRunsAndWritesItsAlarmsOnceWritable) {
    StationFolder folder;
    folder.AddSensors({{1, "0A1B2C ", "server room ", 30, 0}});
    folder.WriteIni(Ini(0));
    ReadOnlyMount readOnly(folder.Path());
    if (!readOnly.Available()) GTEST_SKIP() << "needs root for a read-only mount";
    Ports env("");
    Station s(folder);
    ASSERT_TRUE(s.Fmain->DatabaseOpen());
    EXPECT_TRUE(s.Fmain->DatabaseReadOnly());
    EXPECT_TRUE(s.Board().contains("数据库文件只读，报警记录暂时无法保存；文件可写后自动补写"));
    s.Fmain->EvaluateReading("0A1B2C", 31);
    EXPECT_TRUE(s.Board().contains("ID:0A1B2C报警"));
    EXPECT_EQ(s.Fmain->rowAlarmState[1], 1);
    EXPECT_EQ(s.Fmain->PendingAlarmCount(), 1);
    s.Fmain->EvaluateReading("0A1B2C", 32);  // still in alarm: nothing more to keep
    EXPECT_EQ(s.Fmain->PendingAlarmCount(), 1);
    readOnly.Release();
    ASSERT_TRUE(testsupport::WaitFor([&] { return Rows(folder) == 1; }, 5000));
    EXPECT_EQ(folder.Sql("select almtemp from alming"), "31");
    EXPECT_FALSE(s.Fmain->DatabaseReadOnly());
    QTest::qWait(1500);
    EXPECT_EQ(Rows(folder), 1);
}

TEST_F(Supervision, ADamagedDatabaseOpensOneErrorBoxAndTheStationLivesOn) {
    QStringList sensors;
    std::vector<SensorRow> rows;
    for (int i = 1; i <= 20; ++i) {
        const QString id = QString("0A1B%1").arg(i, 2, 16, QChar('0')).toUpper();
        sensors << "--sensor" << id + (i % 5 == 0 ? "=sine:28:4:20" : "=20");
        rows.push_back({i, id + " ", "room ", 30, 0});
    }
    // Replies are spaced past the 100 ms that ends a delivery: 20 sensors take 2.4 s to answer,
    // so the station asks every 3 s.
    BusSimulator bus(sensors + QStringList{"--gap", "120"});
    Ports env(bus.Path());
    StationFolder folder;
    folder.AddSensors(rows);
    folder.WriteIni(Ini(3));
    Station s(folder);
    ASSERT_TRUE(
        testsupport::WaitFor([&] { return s.Fmain->RzStringGrid1->Cell(1, 19) == "20"; }, 15000));
    {
        QFile db(folder.Db());
        ASSERT_TRUE(db.open(QIODevice::ReadWrite));
        db.write(QByteArray(4096, 'x'));  // the header page is gone
    }
    // The error box runs its own event loop until somebody answers it: the watching happens
    // in a timer that runs inside it, and the box is answered only at the end.
    int most = 0;
    long rssAt30 = 0;
    long rssAtEnd = 0;
    int requestsInLast30 = 0;
    int requestsAt90 = -1;
    bool done = false;
    QElapsedTimer clock;
    clock.start();
    QTimer watch;
    watch.setInterval(200);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        most = std::max(most, OpenBoxes());
        if (rssAt30 == 0 && clock.elapsed() > 30000) rssAt30 = RssKb();
        if (requestsAt90 < 0 && clock.elapsed() > 90000) requestsAt90 = bus.Received("BA").size();
        if (clock.elapsed() > 120000 && !done) {
            rssAtEnd = RssKb();
            requestsInLast30 = bus.Received("BA").size() - requestsAt90;
            done = true;
            watch.stop();
            CloseBoxes();
        }
    });
    watch.start();
    ASSERT_TRUE(testsupport::WaitFor([&] { return done; }, 140000));
    EXPECT_EQ(most, 1);
    EXPECT_GE(requestsInLast30, 8) << "still polling every 3 s";
#ifndef __SANITIZE_ADDRESS__
    // (Under AddressSanitizer freed memory waits in its quarantine, so RSS says nothing.)
    EXPECT_LT(rssAtEnd - rssAt30, 4096) << rssAt30 << " kB -> " << rssAtEnd << " kB";
#endif
    // Readings are still shown, and the board names the failures instead of boxes.
    const QStringList board = s.Board();
    EXPECT_TRUE(std::any_of(board.begin(), board.end(),
                            [](const QString& l) { return l.startsWith("错误("); }));
}

TEST_F(Supervision, ABusThatIsNotThereAtTheStartIsSearchedForUntilItIs) {
    QTemporaryDir dir;
    const QString port = dir.filePath("COM1");  // named, but nothing behind it yet
    Ports env(port);
    StationFolder folder;
    folder.AddSensors({{1, "0A1B2C ", "cold room ", 30, 0}});
    folder.WriteIni(Ini(1));
    Station s(folder);
    ASSERT_TRUE(testsupport::WaitFor([&] { return s.Board().contains("通信口被占用！"); }, 3000));
    EXPECT_TRUE(s.Board().contains("通信口 " + port + " 不存在"));
    EXPECT_EQ(s.Fmain->busStateLabel->text(), "未连接");
    EXPECT_TRUE(s.Fmain->TimerR()->isActive());
    s.Fmain->TimerR()->setInterval(1000);  // the search interval itself is not under test here
    s.Fmain->TimerR()->start();
    BusSimulator bus({"--sensor", "0A1B2C=20", "--gap", "120"});
    ASSERT_TRUE(QFile::link(bus.Path(), port));
    ASSERT_TRUE(
        testsupport::WaitFor([&] { return s.Fmain->RzStringGrid1->Cell(1, 1) == "20"; }, 10000))
        << s.Board().join('\n').toStdString();
    EXPECT_TRUE(Connected(s));
    EXPECT_FALSE(s.Fmain->TimerR()->isActive());
    EXPECT_EQ(Rows(folder), 0) << "no bus at the start is no lost bus";
}
