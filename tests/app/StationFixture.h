// A station started in-process on a temporary program folder: its own newdb.mdb made from the
// installed schema, its own peizhi.ini, and the five windows created in the program's order.
#pragma once

#include <QSqlQuery>
#include <QTemporaryDir>
#include <memory>

#include "MessageBoxWatcher.h"
#include "TFalm.h"
#include "TFmain.h"
#include "TFprs.h"
#include "TFset.h"
#include "TFset2.h"

struct SensorRow {
    int code;
    QString codeid;  // as stored, trailing blank included
    QString fix;
    double almhigh = 0;
    double almlow = 0;
    QString almnear = QString();  // null = no value
};

class StationFolder {
  public:
    StationFolder();
    QString Path() const { return dir_.path() + '/'; }
    QString Db() const { return Path() + "newdb.mdb"; }
    QString Ini() const { return Path() + "peizhi.ini"; }
    void WriteIni(const QByteArray& text) const;
    QByteArray ReadIni() const;
    // Writes rows straight into the database file, before or while the station runs.
    void AddSensors(const std::vector<SensorRow>& rows) const;
    // Runs sql on the database file through the sqlite3 shell; returns its output.
    QString Sql(const QString& sql) const;

  private:
    QTemporaryDir dir_;
};

// The default settings file as installed, with the given interval.
QByteArray DefaultIni(const QString& interval = "60");

class Station {
  public:
    explicit Station(const StationFolder& folder, bool show = true);
    ~Station();

    std::unique_ptr<TFmain> Fmain;
    TFset* Fset = nullptr;
    TFset2* Fset2 = nullptr;
    TFalm* Falm = nullptr;
    TFprs* Fprs = nullptr;

    QStringList Board() const;
};
