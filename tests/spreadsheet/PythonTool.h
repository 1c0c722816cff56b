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

class PythonTool {
  public:
    // Runs script (a file name in this folder) with args; waits up to timeoutMs.
    static PythonResult Run(const QString& script, const QStringList& args, int timeoutMs = 120000);

    // xlrd_dump.py on path, parsed; on failure returns an empty object and sets *error.
    static QJsonObject DumpWithXlrd(const QString& path, QString* error);
};
