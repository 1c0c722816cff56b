// The recorder on the station's announcements: what reaches history.db, as other programs read
// it through the views.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "HistoryAttach.h"
#include "HistoryFile.h"
#include "HistoryRecorder.h"
#include "HistoryStore.h"
#include "HistoryVerifier.h"
#include "StationEvents.h"
#include "TestSupport.h"

namespace {

const QString kStamp = QStringLiteral("yyyy-MM-dd HH:mm:ss");

SensorInfo Hall() {
    return {3, QStringLiteral("0A1B2C"), QStringLiteral("大厅 "), 30, -10};
}
SensorInfo Cold() {
    return {5, QStringLiteral("0A1B2D"), QStringLiteral("冷库"), 8, 2};
}

ReadingEvent Reading(const SensorInfo& s, const QDateTime& t, double c) {
    ReadingEvent r;
    r.sensor = s;
    r.time = t;
    r.celsius = c;
    const bool high = s.high != 0 && c >= s.high;
    const bool low = s.low != 0 && c <= s.low;
    r.state = high ? ReadingState::High : low ? ReadingState::Low : ReadingState::Normal;
    return r;
}

// A station's events object with the history attached to a temporary program folder.
class Recording : public ::testing::Test {
  protected:
    void Start() {
        events = std::make_unique<StationEvents>();
        history::Attach(*events, Folder(), [this](const QString& line) { board << line; });
    }
    // Ends the recording as the program's end does: what was announced is written.
    void Stop() { events.reset(); }
    QString Folder() const { return dir.path() + '/'; }
    QString Db() const { return Folder() + "history.db"; }
    int Count(const QString& sql) const { return HistoryFile(Db()).Value(sql).toInt(); }

    QTemporaryDir dir;
    std::unique_ptr<StationEvents> events;
    QStringList board;
};

}  // namespace

TEST_F(Recording, AMissingFileIsCreatedAndEveryReadingLandsWithItsTimeAndValue) {
    ASSERT_FALSE(QFile::exists(Db()));
    Start();
    // Three poll cycles, replies a few milliseconds apart as on the bus.
    const QDateTime t0 = QDateTime::currentDateTime().addSecs(-120);
    QVector<ReadingEvent> sent;
    for (int cycle = 0; cycle < 3; ++cycle) {
        sent << Reading(Hall(), t0.addSecs(cycle * 5), 20.0625 + cycle)
             << Reading(Cold(), t0.addSecs(cycle * 5 + 1), -3.5 - cycle);
        emit events->ReadingEvaluated(sent[sent.size() - 2]);
        QTest::qWait(20);
        emit events->ReadingEvaluated(sent.last());
        QTest::qWait(400);
    }
    ASSERT_TRUE(QFile::exists(Db()));
    ASSERT_TRUE(testsupport::WaitFor([&] { return Count("select count(*) from readings") == 6; }));
    HistoryFile file(Db());
    EXPECT_EQ(file.Value("pragma journal_mode").toString(), "wal");
    const auto rows =
        file.Rows("select time, code, codeid, fix, celsius from readings order by time");
    ASSERT_EQ(rows.size(), sent.size());
    for (int i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i][0].toString(), sent[i].time.toString(kStamp)) << i;
        EXPECT_EQ(rows[i][1].toInt(), sent[i].sensor.code) << i;
        EXPECT_EQ(rows[i][2].toString(), sent[i].sensor.codeid) << i;
        EXPECT_EQ(rows[i][3].toString(), sent[i].sensor.fix) << i;
        EXPECT_DOUBLE_EQ(rows[i][4].toDouble(), sent[i].celsius) << i;
    }
    // Numbers, not texts, in the table behind the view.
    EXPECT_EQ(file.Value("select typeof(time) || typeof(temp) from sample limit 1").toString(),
              "integerinteger");
    EXPECT_TRUE(board.isEmpty()) << board.join('\n').toStdString();
}

TEST_F(Recording, AStreamThatNeverPausesIsStillWrittenEverySecond) {
    Start();
    // A reading every 100 ms for three seconds: never quiet long enough to end a cycle.
    const QDateTime t0 = QDateTime::currentDateTime().addSecs(-100);
    int writtenWhileStreaming = 0;
    for (int i = 0; i < 30; ++i) {
        emit events->ReadingEvaluated(Reading(Hall(), t0.addSecs(i), 21));
        QTest::qWait(100);
        if (i == 25) writtenWhileStreaming = Count("select count(*) from sample");
    }
    EXPECT_GT(writtenWhileStreaming, 0);
    // Once the stream stops, the rest is written without waiting for the program's end.
    EXPECT_TRUE(
        testsupport::WaitFor([&] { return Count("select count(*) from sample") == 30; }, 3000));
    Stop();
    EXPECT_EQ(Count("select count(*) from sample"), 30);
}

TEST_F(Recording, AnExcursionIsOneEpisodeWithItsExtremeAndWhichLimit) {
    Start();
    const QDateTime t0 = QDateTime::currentDateTime().addSecs(-600);
    const double hall[] = {25, 30, 31.5, 30.25, 28, 29, 27};
    for (int i = 0; i < 7; ++i)
        emit events->ReadingEvaluated(Reading(Hall(), t0.addSecs(i * 60), hall[i]));
    // The cold room goes below its low limit and stays there.
    const double cold[] = {4, 2, 1.5, -0.75, 0.5};
    for (int i = 0; i < 5; ++i)
        emit events->ReadingEvaluated(Reading(Cold(), t0.addSecs(i * 60 + 7), cold[i]));
    Stop();

    HistoryFile file(Db());
    const auto rows =
        file.Rows("select code, fix, kind, started, ended, extreme from episodes order by code");
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0][0].toInt(), 3);
    EXPECT_EQ(rows[0][1].toString(), "大厅 ");
    EXPECT_EQ(rows[0][2].toString(), "超上限");
    EXPECT_EQ(rows[0][3].toString(), t0.addSecs(60).toString(kStamp));
    EXPECT_EQ(rows[0][4].toString(), t0.addSecs(240).toString(kStamp));
    EXPECT_DOUBLE_EQ(rows[0][5].toDouble(), 31.5);
    EXPECT_EQ(rows[1][2].toString(), "超下限");
    EXPECT_EQ(rows[1][3].toString(), t0.addSecs(67).toString(kStamp));
    EXPECT_TRUE(rows[1][4].isNull());  // still lasting when the station stopped
    EXPECT_DOUBLE_EQ(rows[1][5].toDouble(), -0.75);
    EXPECT_EQ(Count("select count(*) from readings"), 12);
}

TEST_F(Recording, BusAndSensorStatesAreEpisodes) {
    Start();
    const QDateTime t0 = QDateTime::currentDateTime().addSecs(-900);
    emit events->SensorSilent(Cold(), t0);
    emit events->SensorSilent(Cold(), t0.addSecs(5));  // said again: still the same episode
    emit events->BusLost(t0.addSecs(60));
    emit events->BusReconnecting(t0.addSecs(61));
    emit events->BusRestored(t0.addSecs(125));
    emit events->SensorBack(Cold(), t0.addSecs(300));
    Stop();
    const auto rows = HistoryFile(Db()).Rows(
        "select code, fix, kind, started, ended, extreme from episodes order by started");
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0][0].toInt(), 5);
    EXPECT_EQ(rows[0][2].toString(), "传感器无响应");
    EXPECT_EQ(rows[0][3].toString(), t0.toString(kStamp));
    EXPECT_EQ(rows[0][4].toString(), t0.addSecs(300).toString(kStamp));
    EXPECT_TRUE(rows[0][5].isNull());
    EXPECT_TRUE(rows[1][0].isNull());
    EXPECT_EQ(rows[1][2].toString(), "总线中断");
    EXPECT_EQ(rows[1][3].toString(), t0.addSecs(60).toString(kStamp));
    EXPECT_EQ(rows[1][4].toString(), t0.addSecs(125).toString(kStamp));
}

TEST_F(Recording, ADamagedFileIsReportedOnceAndLeftAlone) {
    QFile f(Db());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const QByteArray junk = QByteArray("not a history file, just bytes\n").repeated(200);
    f.write(junk);
    f.close();
    Start();
    ASSERT_TRUE(testsupport::WaitFor([&] { return !board.isEmpty(); }));
    for (int i = 0; i < 5; ++i)
        emit events->ReadingEvaluated(Reading(Hall(), QDateTime::currentDateTime(), 20));
    emit events->BusLost(QDateTime::currentDateTime());
    QTest::qWait(1500);
    Stop();
    ASSERT_EQ(board.size(), 1) << board.join('\n').toStdString();
    EXPECT_TRUE(board[0].contains("history.db")) << board[0].toStdString();
    EXPECT_TRUE(board[0].contains("无法打开")) << board[0].toStdString();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), junk);
}

TEST_F(Recording, AFolderWhereNoFileCanBeMadeIsReportedOnce) {
    // A folder without write permission; the superuser writes anywhere on disk, so as the
    // superuser the kernel's process folder stands for it, where no file can be created.
    if (geteuid() == 0) {
        dir.remove();
        events = std::make_unique<StationEvents>();
        history::Attach(*events, QStringLiteral("/proc/self/"),
                        [this](const QString& line) { board << line; });
    } else {
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        Start();
    }
    ASSERT_TRUE(testsupport::WaitFor([&] { return !board.isEmpty(); }));
    for (int i = 0; i < 3; ++i)
        emit events->ReadingEvaluated(Reading(Hall(), QDateTime::currentDateTime(), 20));
    QTest::qWait(1500);
    Stop();
    EXPECT_EQ(board.size(), 1) << board.join('\n').toStdString();
    EXPECT_TRUE(board[0].contains("history.db"));
    if (geteuid() != 0)
        QFile::setPermissions(
            dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(Recording, ReadingsOlderThanTheKeptYearsAreRemovedAndNothingElse) {
    // Two years kept: the cut is the start of the day two years before today.
    QFile ini(Folder() + "peizhi.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[seting]\ninterval=60\n[History]\nYears=2\n");
    ini.close();
    const qint64 cut = QDate::currentDate().addYears(-2).startOfDay().toSecsSinceEpoch();
    {
        history::HistoryStore store;
        store.Open(Db());
        const qint64 a = store.SensorId(3, "0A1B2C", "大厅", 30, -10);
        const qint64 b = store.SensorId(5, "0A1B2D", "冷库", 8, 2);
        std::vector<history::HistoryStore::Sample> samples;
        // Every 2 minutes from 3 days before the cut to 3 days after it, one a second before
        // the cut, and a recent one.
        for (qint64 t = cut - 3 * 86400; t < cut + 3 * 86400; t += 120)
            for (qint64 s : {a, b}) samples.push_back({s, t, 320});
        samples.push_back({a, cut - 1, 1});
        samples.push_back({a, QDateTime::currentSecsSinceEpoch() - 7200, 3});
        store.Write(samples, {});
    }
    const int older = Count(QString("select count(*) from sample where time < %1").arg(cut));
    const int kept = Count(QString("select count(*) from sample where time >= %1").arg(cut));
    ASSERT_GT(older, history::HistoryRecorder::kRemoveRowsPerStep);
    Start();
    ASSERT_TRUE(testsupport::WaitFor(
        [&] { return Count(QString("select count(*) from sample where time < %1").arg(cut)) == 0; },
        20000));
    Stop();
    EXPECT_EQ(Count("select count(*) from sample"), kept);
    EXPECT_EQ(Count(QString("select count(*) from sample where time = %1").arg(cut)), 2);
    // The days removed leave the seals of the days kept intact.
    const auto check = history::HistoryVerifier::Verify(Db());
    EXPECT_TRUE(check.error.isEmpty()) << check.error.toStdString();
    EXPECT_GT(check.daysChecked, 700);
    EXPECT_TRUE(check.findings.isEmpty()) << check.findings.join('\n').toStdString();
    EXPECT_TRUE(board.isEmpty()) << board.join('\n').toStdString();
}
