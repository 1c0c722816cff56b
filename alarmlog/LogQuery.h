// A date query of the alarm log as the window remembers it: the catalogue statement and the
// values bound to it. The window keeps the last one it ran and runs it again after a delete.
#pragma once

#include <QPair>
#include <QString>
#include <QVariant>
#include <QVector>

class TQuery;

struct LogQuery {
    int statement = 0;  // 0: none yet
    QVector<QPair<QString, QVariant>> params;

    // The alarms of one day (YYYYMMDD), newest first.
    static LogQuery Day(int day);
    // The alarms from day first to day last, both included, bounds as given, newest first.
    static LogQuery Between(int first, int last);
    // Every alarm of the log.
    static LogQuery All();

    bool Valid() const { return statement != 0; }
    // Prepares q with the statement and binds the values; the caller opens it.
    void PrepareOn(TQuery& q) const;

    bool operator==(const LogQuery& other) const = default;
};
