#include "StationFixture.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTest>

#include "StationDatabase.h"

#ifndef STATION_SCHEMA_FILE
#error "STATION_SCHEMA_FILE must name the database schema"
#endif

StationFolder::StationFolder() {
    QProcess sqlite;
    sqlite.start("sqlite3", {Db(), ".read " STATION_SCHEMA_FILE});
    sqlite.waitForFinished();
    EXPECT_EQ(sqlite.exitCode(), 0);
    WriteIni(DefaultIni());
}

void StationFolder::WriteIni(const QByteArray& text) const {
    QFile f(Ini());
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

QByteArray StationFolder::ReadIni() const {
    QFile f(Ini());
    if (!f.open(QIODevice::ReadOnly)) return QByteArray();
    return f.readAll();
}

QString StationFolder::Sql(const QString& sql) const {
    // Through standard input: a large batch would pass the kernel's limit for one argument.
    QProcess sqlite;
    sqlite.start("sqlite3", {Db()});
    sqlite.write(sql.toUtf8() + "\n");
    sqlite.closeWriteChannel();
    sqlite.waitForFinished();
    EXPECT_EQ(sqlite.exitCode(), 0) << sqlite.readAllStandardError().toStdString();
    return QString::fromUtf8(sqlite.readAllStandardOutput()).trimmed();
}

void StationFolder::AddSensors(const std::vector<SensorRow>& rows) const {
    QString sql = "begin;";
    for (const SensorRow& r : rows) {
        auto quote = [](const QString& s) { return "'" + QString(s).replace("'", "''") + "'"; };
        sql += QString(
                   "insert into settab(code,codeid,fix,almhigh,almlow,remark,almnear) "
                   "values(%1,%2,%3,%4,%5,' ',%6);")
                   .arg(r.code)
                   .arg(quote(r.codeid), quote(r.fix))
                   .arg(r.almhigh, 0, 'g', 17)
                   .arg(r.almlow, 0, 'g', 17)
                   .arg(r.almnear.isNull() ? QString("null") : quote(r.almnear));
    }
    sql += "commit;";
    Sql(sql);
}

QByteArray DefaultIni(const QString& interval) {
    return "[seting]\nstart=1\nicon=0\ntitle=告 警 信 息 表\naddhigh=25\ninterval=" +
           interval.toUtf8() + "\nmedia=\n";
}

Station::Station(const StationFolder& folder, bool show) {
    // Tests never probe the machine's own serial devices: without a list of their own they
    // get an empty one.
    if (!qEnvironmentVariableIsSet("SENSORBUS_PORTS")) qputenv("SENSORBUS_PORTS", "");
    Fmain = std::make_unique<TFmain>(folder.Path());
    if (!Fmain->DatabaseOpen()) return;
    Fset = new TFset(*Fmain, Fmain.get());
    Fset2 = new TFset2(*Fmain, Fmain.get());
    Falm = new TFalm(*Fmain, Fmain.get());
    Fprs = new TFprs(Fmain.get());
    Fmain->AttachWindows(Fset, Fset2, Falm);
    if (show) {
        Fmain->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(Fmain.get()));
    }
}

Station::~Station() {
    if (Fmain) {
        Fmain->Timer2()->stop();
        Fmain->TimerB()->stop();
        Fmain->hide();
        Fmain.reset();
    }
    StationDatabase::Close();
}

QStringList Station::Board() const {
    QStringList out;
    for (int i = 0; i < Fmain->RzListBox1->Count(); ++i) out << Fmain->RzListBox1->Line(i);
    return out;
}
