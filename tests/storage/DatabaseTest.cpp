#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "StatementCatalogue.h"
#include "StationDatabase.h"
#include "StationError.h"
#include "TQuery.h"

namespace {

// A fresh database file made from the schema the build installs, opened as the station does.
class StationDb : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = dir_.filePath("newdb.mdb");
        QProcess sqlite;
        sqlite.start("sqlite3", {path_, ".read " STATION_SCHEMA_FILE});
        ASSERT_TRUE(sqlite.waitForFinished());
        ASSERT_EQ(sqlite.exitCode(), 0);
        StationDatabase::Open(path_, "test_db");
    }
    void TearDown() override { StationDatabase::Close("test_db"); }

    void AddSensor(QVariant code, const QString& id, const QString& fix, QVariant high = 0.0,
                   QVariant low = 0.0, QVariant almnear = QVariant()) {
        TQuery q("test_db");
        q.Prepare(catalogue::InsertRegisterRow);
        q.SetParam("code", code);
        q.SetParam("codeid", id);
        q.SetParam("fix", fix);
        q.SetParam("almhigh", high);
        q.SetParam("almlow", low);
        q.SetParam("remark", " ");
        q.ExecSQL();
        if (almnear.isValid()) {
            QSqlQuery raw(StationDatabase::Connection("test_db"));
            raw.prepare("update settab set almnear = ? where ID = last_insert_rowid()");
            raw.addBindValue(almnear);
            ASSERT_TRUE(raw.exec());
        }
    }

    void AddAlarm(int dates, int times, int code, const QString& temp = "30") {
        TQuery q("test_db");
        q.Prepare(catalogue::InsertAlarm);
        q.SetParam("dates", dates);
        q.SetParam("times", times);
        q.SetParam("code", code);
        q.SetParam("fix", "room ");
        q.SetParam("almtemp", temp);
        q.ExecSQL();
    }

    QTemporaryDir dir_;
    QString path_;
};

QStringList Column(TQuery& q, const QString& field) {
    QStringList out;
    for (q.First(); !q.Eof(); q.Next()) out << q.AsString(field);
    return out;
}

}  // namespace

TEST_F(StationDb, MonitoredSensorsAreThoseWithANumberInAscendingOrder) {
    AddSensor(7, "000007 ", "seven ");
    AddSensor(0, "000000 ", "none ");
    AddSensor(2, "000002 ", "two ");
    AddSensor(5, "000005 ", "five ");
    TQuery q("test_db");
    q.Prepare(catalogue::MonitoredSensors);
    q.Open();
    EXPECT_EQ(q.RecordCount(), 3);
    EXPECT_EQ(Column(q, "code"), QStringList({"2", "5", "7"}));
    q.Prepare(catalogue::RegisterRows);
    q.Open();
    EXPECT_EQ(Column(q, "code"), QStringList({"0", "2", "5", "7"}));
}

TEST_F(StationDb, NullsReadAsEmptyTextAndZero) {
    AddSensor(3, "0A1B2C ", "hall ", QVariant(), QVariant());
    TQuery q("test_db");
    q.Prepare(catalogue::MonitoredSensors);
    q.Open();
    ASSERT_EQ(q.RecordCount(), 1);
    q.First();
    EXPECT_EQ(q.AsFloat("almhigh"), 0.0);
    EXPECT_EQ(q.AsFloat("ALMLOW"), 0.0);
    EXPECT_EQ(q.AsString("almnear"), QString());
    EXPECT_EQ(q.AsString("codeid"), "0A1B2C ");
    EXPECT_THROW(q.AsString("nosuchfield"), DatabaseError);
}

TEST_F(StationDb, SensorLookupMatchesTheStoredIdWithItsTrailingBlank) {
    AddSensor(1, "0A1B2C ", "a ");
    AddSensor(2, "0A1B2D", "b ");
    AddSensor(3, "0A1B2E  ", "c ");
    TQuery q("test_db");
    for (const char* id : {"0A1B2C", "0A1B2D", "0A1B2E"}) {
        q.Prepare(catalogue::SensorById);
        q.SetParam("codeid", id);
        q.Open();
        EXPECT_EQ(q.RecordCount(), 1) << id;
    }
    q.Prepare(catalogue::SensorById);
    q.SetParam("codeid", "0A1B2");
    q.Open();
    EXPECT_EQ(q.RecordCount(), 0);
}

TEST_F(StationDb, AlarmAtSevenSecondsPastMidnightIsStoredAsSeven) {
    AddAlarm(20240305, 7, 4, "-3.5");
    QSqlQuery raw(StationDatabase::Connection("test_db"));
    ASSERT_TRUE(raw.exec("select dates, times, code, fix, almtemp, typeof(times) from alming"));
    ASSERT_TRUE(raw.next());
    EXPECT_EQ(raw.value(0).toInt(), 20240305);
    EXPECT_EQ(raw.value(1).toInt(), 7);
    EXPECT_EQ(raw.value(2).toInt(), 4);
    EXPECT_EQ(raw.value(3).toString(), "room ");
    EXPECT_EQ(raw.value(4).toString(), "-3.5");
    EXPECT_EQ(raw.value(5).toString(), "integer");
}

TEST_F(StationDb, StampMarksEveryRowOfTheCodeAndClearLeavesABlank) {
    AddSensor(4, "000001 ", "a ");
    AddSensor(4, "000002 ", "b ");
    AddSensor(5, "000003 ", "c ");
    TQuery q("test_db");
    q.Prepare(catalogue::StampRecordedAlarm);
    q.SetParam("almnear", "2024-03-05 14:07:09");
    q.SetParam("code", 4);
    EXPECT_EQ(q.ExecSQL(), 2);
    q.Prepare(catalogue::MonitoredSensors);
    q.Open();
    EXPECT_EQ(Column(q, "almnear"),
              QStringList({"2024-03-05 14:07:09", "2024-03-05 14:07:09", ""}));
    q.Prepare(catalogue::ClearRecordedAlarms);
    q.ExecSQL();
    q.Prepare(catalogue::MonitoredSensors);
    q.Open();
    EXPECT_EQ(Column(q, "almnear"), QStringList({" ", " ", " "}));
}

TEST_F(StationDb, RegisterSaveEmptiesRecordedAlarms) {
    AddSensor(1, "000001 ", "a ", 30.0, 0.0, "2024-03-05 14:07:09");
    TQuery q("test_db");
    q.Prepare(catalogue::DeleteRegister);
    q.ExecSQL();
    AddSensor(1, "000001 ", "a ", 30.0);
    q.Prepare(catalogue::MonitoredSensors);
    q.Open();
    ASSERT_EQ(q.RecordCount(), 1);
    q.First();
    EXPECT_EQ(q.AsString("almnear"), QString());
    EXPECT_EQ(q.AsFloat("almhigh"), 30.0);
}

TEST_F(StationDb, LogQueriesByDayAndRangeNewestFirstAndDeletes) {
    AddAlarm(20240301, 93005, 1);
    AddAlarm(20240301, 510, 2);
    AddAlarm(20240302, 7, 1);
    AddAlarm(20240303, 120000, 3);
    AddAlarm(20240302, 7, 1);  // same date, time and number twice
    TQuery q("test_db");
    q.Prepare(catalogue::AlarmsOfDay);
    q.SetParam("day", 20240301);
    q.Open();
    EXPECT_EQ(Column(q, "times"), QStringList({"93005", "510"}));
    q.Prepare(catalogue::AlarmsBetween);
    q.SetParam("first", 20240301);
    q.SetParam("last", 20240302);
    q.Open();
    EXPECT_EQ(Column(q, "dates"), QStringList({"20240302", "20240302", "20240301", "20240301"}));
    q.Prepare(catalogue::DeleteAlarm);
    q.SetParam("dates", 20240302);
    q.SetParam("times", 7);
    q.SetParam("code", 1);
    EXPECT_EQ(q.ExecSQL(), 2);
    q.Prepare(catalogue::DeleteAllAlarms);
    q.ExecSQL();
    q.Prepare(catalogue::AllAlarms);
    q.Open();
    EXPECT_EQ(q.RecordCount(), 0);
}

TEST_F(StationDb, ValuesAreBoundNeverPastedIntoTheText) {
    AddSensor(1, "x' or '1'='1", "o'brien ");
    TQuery q("test_db");
    q.Prepare(catalogue::SensorById);
    q.SetParam("codeid", "zzz' or '1'='1");
    q.Open();
    EXPECT_EQ(q.RecordCount(), 0);
    q.Prepare(catalogue::MonitoredSensors);
    q.Open();
    q.First();
    EXPECT_EQ(q.AsString("fix"), "o'brien ");
}

TEST(StationDatabaseOpen, RefusesMissingCorruptOrIncompleteFilesWithoutCreatingOne) {
    QTemporaryDir dir;
    const QString missing = dir.filePath("newdb.mdb");
    EXPECT_THROW(StationDatabase::Open(missing, "t"), DatabaseError);
    EXPECT_FALSE(QFile::exists(missing));

    const QString junk = dir.filePath("junk.mdb");
    {
        QFile f(junk);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    }
    EXPECT_THROW(StationDatabase::Open(junk, "t"), DatabaseError);

    const QString partial = dir.filePath("partial.mdb");
    QProcess sqlite;
    sqlite.start("sqlite3",
                 {partial, "create table settab(ID integer primary key, code integer);"});
    ASSERT_TRUE(sqlite.waitForFinished());
    EXPECT_THROW(StationDatabase::Open(partial, "t"), DatabaseError);
    EXPECT_FALSE(QSqlDatabase::contains("t"));
}

// A file whose tables are both there opens even when a column is missing: only the statements
// that name the column fail, each with the database's own text, and the rest keep working.
TEST(StationDatabaseOpen, AMissingColumnFailsOnlyTheStatementsThatUseIt) {
    QTemporaryDir dir;
    const QString path = dir.filePath("newdb.mdb");
    QProcess sqlite;
    sqlite.start("sqlite3",
                 {path,
                  "create table settab(ID integer primary key autoincrement, code integer,"
                  " codeid text, fix text, almhigh real, almlow real, almnear text);"
                  "create table alming(dates integer, times integer, code integer, fix text,"
                  " almtemp text);"
                  "insert into settab(code, codeid, fix, almhigh, almlow)"
                  " values(3, '000003 ', 'hall ', 30, 0);"});
    ASSERT_TRUE(sqlite.waitForFinished());
    ASSERT_EQ(sqlite.exitCode(), 0);

    ASSERT_NO_THROW(StationDatabase::Open(path, "t"));
    TQuery q("t");
    q.Prepare(catalogue::MonitoredSensors);
    ASSERT_NO_THROW(q.Open());
    ASSERT_EQ(q.RecordCount(), 1);
    EXPECT_EQ(q.AsString("codeid"), "000003 ");

    q.Prepare(catalogue::InsertAlarm);
    q.SetParam("dates", 20240305);
    q.SetParam("times", 7);
    q.SetParam("code", 3);
    q.SetParam("fix", "hall ");
    q.SetParam("almtemp", "31");
    EXPECT_NO_THROW(q.ExecSQL());

    q.Prepare(catalogue::InsertRegisterRow);
    q.SetParam("code", 4);
    q.SetParam("codeid", "000004 ");
    q.SetParam("fix", "yard ");
    q.SetParam("almhigh", 0.0);
    q.SetParam("almlow", 0.0);
    q.SetParam("remark", " ");
    try {
        q.ExecSQL();
        ADD_FAILURE() << "insert naming a missing column succeeded";
    } catch (const DatabaseError& e) {
        EXPECT_TRUE(e.Message().contains("remark")) << e.Message().toStdString();
    }
    // The connection is still there for the next statement.
    q.Prepare(catalogue::AllAlarms);
    ASSERT_NO_THROW(q.Open());
    EXPECT_EQ(q.RecordCount(), 1);
    StationDatabase::Close("t");
}

TEST(StationDatabaseOpen, EitherTableMissingIsRefused) {
    QTemporaryDir dir;
    const struct {
        const char* name;
        const char* schema;
    } cases[] = {
        {"no_alming.mdb", "create table settab(ID integer primary key, code integer);"},
        {"no_settab.mdb", "create table alming(dates integer, times integer);"},
    };
    for (const auto& c : cases) {
        const QString path = dir.filePath(c.name);
        QProcess sqlite;
        sqlite.start("sqlite3", {path, c.schema});
        ASSERT_TRUE(sqlite.waitForFinished());
        EXPECT_THROW(StationDatabase::Open(path, "t"), DatabaseError) << c.name;
        EXPECT_FALSE(QSqlDatabase::contains("t")) << c.name;
    }
}

TEST(StatementCatalogue, HoldsThirteenStatementsInOrder) {
    for (int n = 1; n <= catalogue::kStatementCount; ++n) EXPECT_EQ(catalogue::Get(n).number, n);
    EXPECT_THROW(catalogue::Get(14), std::out_of_range);
    EXPECT_STREQ(catalogue::Get(7).original, "delete * from settab");
}

TEST_F(StationDb, AQueryObjectReusedForResultsOfOtherShapesReadsEachRowsOwnFields) {
    AddSensor(4, "000004 ", "four ");
    AddSensor(9, "000009 ", "nine ");
    for (int t = 1; t <= 3; ++t) AddAlarm(20240305, t, 10 + t, QString::number(20 + t));
    TQuery q("test_db");
    q.Prepare(catalogue::AllAlarms);
    q.Open();
    EXPECT_EQ(Column(q, "code"), QStringList({"11", "12", "13"}));
    EXPECT_EQ(Column(q, "almtemp"), QStringList({"21", "22", "23"}));
    EXPECT_THROW(q.AsString("code"), DatabaseError);  // past the last record
    q.Prepare(catalogue::MonitoredSensors);           // eight fields instead of five
    q.Open();
    EXPECT_EQ(Column(q, "Fix"), QStringList({"four ", "nine "}));
    EXPECT_EQ(Column(q, "CODEID"), QStringList({"000004 ", "000009 "}));
}
