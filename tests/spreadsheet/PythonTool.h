// Runs the helper scripts of this folder (xlrd_dump.py, xlwt_make.py) with Debian's python3.
#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

struct PythonResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

#include <QVector>

// One sheet as xlrd reads it: its name and the cells as texts, empty cells as "". A cell that
// holds anything but text shows as "#type:value", so a number where text belongs is seen.
struct XlrdSheet {
    QString name;
    QVector<QStringList> rows;
};

class PythonTool {
  public:
    // Runs script (a file name in this folder) with args; waits up to timeoutMs.
    static PythonResult Run(const QString& script, const QStringList& args, int timeoutMs = 120000);

    // xlrd_dump.py on path, parsed; on failure returns an empty object and sets *error.
    static QJsonObject DumpWithXlrd(const QString& path, QString* error);

    // The sheets of path as xlrd reads them; expects (gtest) a BIFF8 file xlrd reads without
    // a warning.
    static QVector<XlrdSheet> SheetsWithXlrd(const QString& path);
};
