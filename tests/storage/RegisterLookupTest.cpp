// The reading path's register look-up against real database files: it must find exactly what
// walking the monitored-sensor query finds, follow every change of the register at once, and
// never keep the file open after the station lets go of the connection.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "ReadOnlyMount.h"
#include "RegisterLookup.h"
#include "StatementCatalogue.h"
#include "StationDatabase.h"
#include "StationError.h"
#include "TQuery.h"

namespace {

bool Sqlite(const QString& path, const QString& sql) {
    QProcess p;
    p.start("sqlite3", {path, sql});
    return p.waitForFinished() && p.exitCode() == 0;
}

QString MakeDatabase(const QTemporaryDir& dir, bool withSchemaIndex = true) {
    const QString path = dir.filePath("newdb.mdb");
    QProcess p;
    p.start("sqlite3", {path, ".read " STATION_SCHEMA_FILE});
    p.waitForFinished();
    if (!withSchemaIndex) Sqlite(path, "drop index if exists settab_code");
    return path;
}

// Descriptors of this process open on the file.
int OpenDescriptors(const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    int n = 0;
    for (const QFileInfo& fd : QDir("/proc/self/fd").entryInfoList(QDir::System | QDir::Files))
        if (fd.symLinkTarget() == target) ++n;
    return n;
}

void ExpectSame(const MonitoredSensor& a, const MonitoredSensor& b, const QString& id) {
    EXPECT_EQ(a.result, b.result) << qPrintable(id);
    EXPECT_EQ(a.row, b.row) << qPrintable(id);
    EXPECT_EQ(a.code, b.code) << qPrintable(id);
    EXPECT_EQ(a.fix, b.fix) << qPrintable(id);
    EXPECT_EQ(a.high, b.high) << qPrintable(id);
    EXPECT_EQ(a.low, b.low) << qPrintable(id);
    EXPECT_EQ(a.almnear, b.almnear) << qPrintable(id);
}

}  // namespace

// Rows as they occur in real registers: trailing blanks and control characters around IDs, a
// sensor taken out of monitoring (number 0), nulls, texts and numbers where the other is
// expected, the same ID twice (the first in number order counts), numbers out of insertion order.
TEST(RegisterLookup, FindsWhatTheMonitoredSensorQueryFinds) {
    QTemporaryDir dir;
    const QString path = MakeDatabase(dir);
    ASSERT_TRUE(Sqlite(path, R"(
        insert into settab(code, codeid, fix, almhigh, almlow, remark, almnear) values
          (9, '00000A ', '冷库 ', 8, 2, ' ', ' '),
          (3, char(9) || '00000B' || char(13), '药房 ', 25.5, null, ' ', '2026-12-09 08:00:00'),
          (0, '00000C ', '停用 ', 30, 10, ' ', null),
          (5, '00000D', null, '40', '-5', null, null),
          (7, '00000B ', '重复 ', 1, 1, ' ', ' '),
          (4, 123456, '数字 ', 50, 0, ' ', ' ');)"));
    StationDatabase::Open(path, "lookup_db");
    {
        RegisterLookup lookup("lookup_db");
        TQuery rows("lookup_db");
        rows.Prepare(catalogue::MonitoredSensors);
        rows.Open();
        for (const QString id : {"00000A", "00000B", "00000C", "00000D", "123456", "FFFFFF"})
            ExpectSame(lookup.Find(id), RegisterLookup::Find(rows, id), id);

        const MonitoredSensor b = lookup.Find("00000B");
        EXPECT_EQ(b.result, MonitoredSensor::Found);
        EXPECT_EQ(b.row, 1);  // numbers 3, 4, 5, 7, 9: sensor 3 is the first row
        EXPECT_EQ(b.code, 3);
        EXPECT_EQ(b.high, 25.5);
        EXPECT_EQ(b.low, 0.0);
        EXPECT_EQ(b.almnear, "2026-12-09 08:00:00");
        EXPECT_EQ(lookup.Find("00000A").row, 5);
        EXPECT_EQ(lookup.Find("00000C").result, MonitoredSensor::NotRegistered);
        const MonitoredSensor d = lookup.Find("00000D");
        EXPECT_EQ(d.fix, QString());
        EXPECT_EQ(d.high, 40.0);
        EXPECT_EQ(d.low, -5.0);
    }
    StationDatabase::Close("lookup_db");
}

// The statement is kept between readings, yet each reading sees the register as it is now:
// changes by this connection and by another program, and an emptied register.
TEST(RegisterLookup, EveryLookUpSeesTheRegisterAsItIsNow) {
    QTemporaryDir dir;
    const QString path = MakeDatabase(dir);
    ASSERT_TRUE(Sqlite(path,
                       "insert into settab(code, codeid, fix, almhigh, almlow) "
                       "values (2, '0000AA ', 'a ', 30, 0)"));
    StationDatabase::Open(path, "lookup_db");
    {
        RegisterLookup lookup("lookup_db");
        EXPECT_EQ(lookup.Find("0000AA").high, 30.0);

        QSqlQuery q(StationDatabase::Connection("lookup_db"));
        ASSERT_TRUE(q.exec("update settab set almhigh = 35"));
        EXPECT_EQ(lookup.Find("0000AA").high, 35.0);

        ASSERT_TRUE(
            Sqlite(path, "insert into settab(code, codeid, fix) values (1, '0000BB ', 'b ')"));
        EXPECT_EQ(lookup.Find("0000AA").row, 2);
        EXPECT_EQ(lookup.Find("0000BB").row, 1);

        ASSERT_TRUE(Sqlite(path, "delete from settab"));
        EXPECT_EQ(lookup.Find("0000AA").result, MonitoredSensor::RegisterEmpty);

        // Another program builds the table anew with its columns in another order: the kept
        // statement is compiled again, and each field is read from where it lies now.
        ASSERT_TRUE(Sqlite(path,
                           "drop table settab; create table settab (almnear text, almlow real, "
                           "remark text, fix text, ID integer primary key autoincrement, "
                           "almhigh real, codeid text, code integer); "
                           "insert into settab(code, codeid, fix, almhigh, almlow, almnear) "
                           "values (3, '0000CC ', 'c ', 41, -5, '2026-12-10 09:00:00')"));
        const MonitoredSensor moved = lookup.Find("0000CC");
        EXPECT_EQ(moved.result, MonitoredSensor::Found);
        EXPECT_EQ(moved.code, 3);
        EXPECT_EQ(moved.fix, "c ");
        EXPECT_EQ(moved.high, 41.0);
        EXPECT_EQ(moved.low, -5.0);
        EXPECT_EQ(moved.almnear, "2026-12-10 09:00:00");

        // A table without one of the fields is an error of the engine's kind, not a wrong row.
        ASSERT_TRUE(Sqlite(path,
                           "drop table settab; create table settab (ID integer primary key, "
                           "code integer, codeid text, fix text, almhigh real, almnear text); "
                           "insert into settab(code, codeid) values (4, '0000DD')"));
        EXPECT_THROW(lookup.Find("0000DD"), DatabaseError);
    }
    StationDatabase::Close("lookup_db");
}

// Closing the connection lets go of the kept statement, so the file is really closed (the
// engine refuses to close a connection with a statement kept); the look-up works again on the
// next connection, and says so when there is none.
TEST(RegisterLookup, ClosingTheConnectionClosesTheFile) {
    QTemporaryDir dir;
    const QString path = MakeDatabase(dir);
    ASSERT_TRUE(Sqlite(path, "insert into settab(code, codeid, fix) values (1, '0000AA ', 'a ')"));
    RegisterLookup lookup("lookup_db");
    StationDatabase::Open(path, "lookup_db");
    EXPECT_EQ(lookup.Find("0000AA").result, MonitoredSensor::Found);
    EXPECT_GE(OpenDescriptors(path), 1);
    StationDatabase::Close("lookup_db");
    EXPECT_EQ(OpenDescriptors(path), 0);
    EXPECT_THROW(lookup.Find("0000AA"), DatabaseError);

    StationDatabase::Open(path, "lookup_db");
    EXPECT_EQ(lookup.Find("0000AA").row, 1);
    StationDatabase::Close("lookup_db");
    EXPECT_EQ(OpenDescriptors(path), 0);
}

// A file made before the register had its index gets it when the station opens it; a
// write-protected one is opened and read without it.
TEST(RegisterLookup, OpeningAnOlderFileAddsTheRegisterIndexWhenItCan) {
    QTemporaryDir dir;
    const QString path = MakeDatabase(dir, false);
    auto hasIndex = [&] {
        QProcess p;
        p.start("sqlite3", {path, "select count(*) from sqlite_master where name = 'settab_code'"});
        p.waitForFinished();
        return p.readAllStandardOutput().trimmed() == "1";
    };
    ASSERT_FALSE(hasIndex());
    {
        ReadOnlyMount readOnly(dir.path());
        if (!readOnly.Available()) GTEST_SKIP() << "a read-only folder needs root";
        StationDatabase::Open(path, "lookup_db");
        RegisterLookup lookup("lookup_db");
        EXPECT_EQ(lookup.Find("0000AA").result, MonitoredSensor::RegisterEmpty);
        StationDatabase::Close("lookup_db");
    }
    EXPECT_FALSE(hasIndex());
    StationDatabase::Open(path, "lookup_db");
    StationDatabase::Close("lookup_db");
    EXPECT_TRUE(hasIndex());
}
