// The history of a running station on the simulated bus, attached as the program entry does.
#include <gtest/gtest.h>

#include <QFile>
#include <QTest>

#include "BusSimulator.h"
#include "HistoryAttach.h"
#include "HistoryFile.h"
#include "StationFixture.h"
#include "TestSupport.h"

namespace {

struct Ports {
    explicit Ports(const QString& list) { qputenv("SENSORBUS_PORTS", list.toLocal8Bit()); }
    ~Ports() { qunsetenv("SENSORBUS_PORTS"); }
};

int BoardCount(const Station& s, const QString& line) {
    return s.Board().count(line);
}

void AttachHistory(Station& s, const StationFolder& folder) {
    TFmain* m = s.Fmain.get();
    history::Attach(m->Events(), folder.Path(),
                    [m](const QString& line) { m->AddBoardLine(line); });
}

}  // namespace

TEST(StationHistory, StartedWithoutAFileItMakesOneAndRecordsEveryReadingOfTheBus) {
    BusSimulator bus({"--sensor", "0A1B2C=20.5", "--sensor", "0A1B2D=31.25"});
    Ports env(bus.Path());
    StationFolder folder;
    folder.AddSensors({{3, "0A1B2C ", "hall ", 30, -10}, {5, "0A1B2D ", "server ", 30, 0}});
    folder.WriteIni(DefaultIni("1"));
    const QString db = folder.Path() + "history.db";
    ASSERT_FALSE(QFile::exists(db));
    const QDateTime begin = QDateTime::currentDateTime();
    int hallLines = 0;
    int serverLines = 0;
    {
        Station s(folder);
        AttachHistory(s, folder);
        ASSERT_TRUE(testsupport::WaitFor([&] { return BoardCount(s, "ID:0A1B2C 温度:20.5℃") >= 4; },
                                         15000));
        hallLines = BoardCount(s, "ID:0A1B2C 温度:20.5℃");
        serverLines = BoardCount(s, "ID:0A1B2D 温度:31.25℃");
        s.Fmain->TimerB()->stop();
        QTest::qWait(300);  // the replies of a request already sent
        hallLines = BoardCount(s, "ID:0A1B2C 温度:20.5℃");
        serverLines = BoardCount(s, "ID:0A1B2D 温度:31.25℃");
        EXPECT_FALSE(s.Board().join('\n').contains("history.db"));
    }  // the station ends: what it announced is written
    const QDateTime end = QDateTime::currentDateTime();
    ASSERT_TRUE(QFile::exists(db));
    HistoryFile file(db);
    const auto hall = file.Rows(
        "select time, codeid, fix, celsius from readings where code = 3 "
        "order by time");
    ASSERT_EQ(hall.size(), hallLines);
    QString previous;
    for (const auto& row : hall) {
        const QString time = row[0].toString();
        EXPECT_GE(time, begin.toString("yyyy-MM-dd HH:mm:ss"));
        EXPECT_LE(time, end.toString("yyyy-MM-dd HH:mm:ss"));
        EXPECT_GT(time, previous);  // one a second, the station's interval
        previous = time;
        EXPECT_EQ(row[1].toString(), "0A1B2C");
        EXPECT_EQ(row[2].toString(), "hall ");
        EXPECT_DOUBLE_EQ(row[3].toDouble(), 20.5);
    }
    EXPECT_EQ(
        file.Value("select count(*) from readings where code = 5 and celsius = 31.25").toInt(),
        serverLines);
    // The server room was above its high limit the whole time: one excursion, still lasting.
    const auto episodes = file.Rows("select code, kind, ended, extreme from episodes");
    ASSERT_EQ(episodes.size(), 1);
    EXPECT_EQ(episodes[0][0].toInt(), 5);
    EXPECT_EQ(episodes[0][1].toString(), "超上限");
    EXPECT_TRUE(episodes[0][2].isNull());
    EXPECT_DOUBLE_EQ(episodes[0][3].toDouble(), 31.25);
}

TEST(StationHistory, ADamagedFileIsNamedOnceOnTheBoardAndMonitoringGoesOn) {
    BusSimulator bus({"--sensor", "0A1B2C=20.5"});
    Ports env(bus.Path());
    StationFolder folder;
    folder.AddSensors({{3, "0A1B2C ", "hall ", 30, -10}});
    folder.WriteIni(DefaultIni("1"));
    QFile f(folder.Path() + "history.db");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(8192, '\x5a'));
    f.close();
    Station s(folder);
    AttachHistory(s, folder);
    ASSERT_TRUE(
        testsupport::WaitFor([&] { return BoardCount(s, "ID:0A1B2C 温度:20.5℃") >= 3; }, 15000));
    int named = 0;
    for (const QString& line : s.Board()) named += line.contains("history.db") ? 1 : 0;
    EXPECT_EQ(named, 1) << s.Board().join('\n').toStdString();
    EXPECT_EQ(s.Fmain->RzStringGrid1->Cell(1, 1), "20.5");
}
