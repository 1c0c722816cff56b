// Seals of closed days and their check by the command-line program, on real files changed
// afterwards through an outside SQLite connection.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "HistoryFile.h"
#include "HistoryStore.h"

namespace {

struct ToolRun {
    int exitCode = -1;
    QString out;
};

ToolRun Verify(const QString& path) {
    QProcess p;
    p.start(QStringLiteral(STATION_HISTORY_TOOL), {QStringLiteral("verify"), path});
    EXPECT_TRUE(p.waitForFinished(60000));
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError())};
}

qint64 At(int day, int hour, int minute = 0) {
    return QDateTime(QDate(2024, 3, day), QTime(hour, minute)).toSecsSinceEpoch();
}

// Four days of two sensors, a reading every 10 minutes, 1 to 4 March 2024, sealed on 5 March
// at noon; readings of 5 March stay open.
class Sealed : public ::testing::Test {
  protected:
    void SetUp() override {
        history::HistoryStore store;
        store.Open(Db());
        const qint64 a = store.SensorId(3, "0A1B2C", "大厅", 30, -10);
        const qint64 b = store.SensorId(5, "0A1B2D", "冷库", 8, 2);
        std::vector<history::HistoryStore::Sample> samples;
        for (qint64 t = At(1, 0); t < At(5, 12); t += 600) {
            samples.push_back({a, t, 320 + (t / 600) % 7});
            samples.push_back({b, t + 30, 64 - (t / 600) % 5});
        }
        store.Write(samples, {});
        EXPECT_EQ(store.SealClosedDays(At(5, 12)), 4);
    }
    QString Db() const { return dir.path() + "/history.db"; }
    void Change(const QString& sql) { HistoryFile(Db()).Exec(sql); }

    QTemporaryDir dir;
};

}  // namespace

TEST_F(Sealed, AnUntouchedFileIsClean) {
    const ToolRun run = Verify(Db());
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("检查了 4 个封存日")) << run.out.toStdString();
    // Readings of the day still open may be added without a finding.
    Change(QString("insert into sample(sensor, time, temp) values(1, %1, 400)").arg(At(5, 13)));
    EXPECT_EQ(Verify(Db()).exitCode, 0);
}

TEST_F(Sealed, AReadingChangedAddedOrRemovedIsReportedForItsDayOnly) {
    struct Case {
        const char* what;
        QString sql;
        QString day;
    };
    const QVector<Case> cases = {
        {"changed",
         QString("update sample set temp = temp + 1 where sensor = 2 and time = %1")
             .arg(At(2, 8, 0) + 30),
         "2024-03-02"},
        {"added",
         QString("insert into sample(sensor, time, temp) values(1, %1, 330)").arg(At(3, 8, 5)),
         "2024-03-03"},
        {"removed", QString("delete from sample where sensor = 1 and time = %1").arg(At(1, 23, 50)),
         "2024-03-01"},
        {"moved to another sensor",
         QString("update sample set sensor = 2 where sensor = 1 and time = %1").arg(At(4, 9)),
         "2024-03-04"},
        {"day cut",
         QString("delete from sample where time >= %1 and time < %2").arg(At(2, 0)).arg(At(3, 0)),
         "2024-03-02"},
    };
    const QByteArray original = [&] {
        QFile f(Db());
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    for (const Case& c : cases) {
        {
            QFile f(Db());
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(original);
        }
        Change(c.sql);
        const ToolRun run = Verify(Db());
        EXPECT_EQ(run.exitCode, 1) << c.what << "\n" << run.out.toStdString();
        const QStringList findings =
            run.out.split('\n', Qt::SkipEmptyParts).mid(0, run.out.count('\n') - 1);
        ASSERT_EQ(findings.size(), 1) << c.what << "\n" << run.out.toStdString();
        EXPECT_TRUE(findings[0].startsWith(c.day)) << c.what << "\n" << run.out.toStdString();
    }
}

TEST_F(Sealed, ARenamedSensorOrAnEditedSealIsReported) {
    Change("update sensor set fix = '仓库' where code = 5");
    ToolRun run = Verify(Db());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out.count("被改动"), 4) << run.out.toStdString();  // every day it read

    Change("update sensor set fix = '冷库' where code = 5");
    EXPECT_EQ(Verify(Db()).exitCode, 0);
    // A seal replaced by one made from changed readings is caught by the next day's seal.
    Change("update seal set digest = zeroblob(32) where day = 20240302");
    run = Verify(Db());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.contains("2024-03-02")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("2024-03-03")) << run.out.toStdString();
}

TEST_F(Sealed, RetentionRemovesExactlyTheOlderReadingsInSmallStepsAndKeepsTheChain) {
    const qint64 cut = At(3, 0);
    const int kept = HistoryFile(Db())
                         .Value(QString("select count(*) from sample where time >= %1").arg(cut))
                         .toInt();
    const int older = HistoryFile(Db())
                          .Value(QString("select count(*) from sample where time < %1").arg(cut))
                          .toInt();
    ASSERT_EQ(older, 2 * 2 * 144);
    history::HistoryStore store;
    store.Open(Db());
    int steps = 0;
    while (store.RemoveOlderThan(cut, 50)) {
        ++steps;
        // Between two steps the file verifies clean: the station may stop at any of them.
        if (steps == 3) {
            EXPECT_EQ(Verify(Db()).exitCode, 0);
        }
    }
    EXPECT_EQ(steps, (older + 49) / 50);
    store.Close();
    HistoryFile file(Db());
    EXPECT_EQ(file.Value("select count(*) from sample").toInt(), kept);
    EXPECT_EQ(file.Value(QString("select min(time) from sample")).toLongLong(), cut);
    EXPECT_EQ(file.Value("select min(day) from seal").toInt(), 20240303);
    const ToolRun run = Verify(Db());
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("检查了 2 个封存日")) << run.out.toStdString();
    // The first day kept is still guarded.
    file.Exec(QString("insert into sample(sensor, time, temp) values(1, %1, 300)").arg(cut + 1));
    EXPECT_EQ(Verify(Db()).exitCode, 1);
}

TEST(VerifyTool, AFileThatIsNoHistoryIsAnErrorNotAFinding) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/history.db";
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    EXPECT_EQ(Verify(path).exitCode, 2);
    EXPECT_EQ(Verify(dir.path() + "/missing.db").exitCode, 2);
}

// A sensor read twice within one second (a request by hand right after the timed one) keeps
// both readings, in the order they came, and both are under the day's seal.
TEST_F(Sealed, TwoReadingsOfASensorWithinOneSecondAreBothKeptAndSealed) {
    const qint64 t = At(5, 13, 7);
    {
        history::HistoryStore store;
        store.Open(Db());
        store.Write({{1, t, 400}, {1, t, 404}}, {});
        store.Write({{1, t, 408}}, {});
        EXPECT_EQ(store.SealClosedDays(At(6, 12)), 1);
    }
    const auto rows = HistoryFile(Db()).Rows(
        QString("select celsius from readings where code = 3 and time = '%1'")
            .arg(QDateTime::fromSecsSinceEpoch(t).toString("yyyy-MM-dd HH:mm:ss")));
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0][0].toDouble(), 25.0);
    EXPECT_EQ(rows[1][0].toDouble(), 25.25);
    EXPECT_EQ(rows[2][0].toDouble(), 25.5);
    EXPECT_EQ(Verify(Db()).exitCode, 0);
    Change(QString("update sample set temp = 405 where sensor = 1 and time = %1 and temp = 404")
               .arg(t));
    const ToolRun run = Verify(Db());
    EXPECT_EQ(run.exitCode, 1) << run.out.toStdString();
    EXPECT_TRUE(run.out.startsWith("2024-03-05")) << run.out.toStdString();
}

// A file written before readings within one second were numbered is carried over when the
// station opens it: every reading stays, the closed days still verify, and a second reading
// within a second is kept from then on.
TEST_F(Sealed, AnOlderFileIsCarriedOverWithItsReadingsAndSeals) {
    {
        HistoryFile old(Db());
        for (const char* sql :
             {"drop view readings",
              "create table sample_v1(sensor integer not null, time integer not null, temp "
              "integer not null, primary key(sensor, time)) without rowid",
              "insert into sample_v1 select sensor, time, temp from sample", "drop table sample",
              "alter table sample_v1 rename to sample",
              "create view readings(time, code, codeid, fix, celsius) as select datetime(s.time, "
              "'unixepoch', 'localtime'), n.code, n.codeid, n.fix, s.temp / 16.0 from sample s "
              "join sensor n on n.id = s.sensor",
              "pragma user_version = 1"})
            old.Exec(sql);
    }
    const qint64 before = HistoryFile(Db()).Value("select count(*) from readings").toLongLong();
    ASSERT_GT(before, 1000);
    const qint64 t = At(5, 14);
    {
        history::HistoryStore store;
        store.Open(Db());
        store.Write({{1, t, 400}, {1, t, 404}}, {});
    }
    HistoryFile file(Db());
    EXPECT_EQ(file.Value("pragma user_version").toInt(), 2);
    EXPECT_EQ(file.Value("select count(*) from readings").toLongLong(), before + 2);
    const ToolRun run = Verify(Db());
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("检查了 4 个封存日")) << run.out.toStdString();
}

// A file whose days are all still open has nothing to check yet, and says so.
TEST(VerifyTool, AFileWithNoSealedDaySaysSo) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/history.db";
    {
        history::HistoryStore store;
        store.Open(path);
        const qint64 a = store.SensorId(3, "0A1B2C", "大厅", 30, -10);
        store.Write({{a, QDateTime::currentSecsSinceEpoch(), 320}}, {});
    }
    const ToolRun run = Verify(path);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.contains("还没有封存的日子")) << run.out.toStdString();
}
