#include "PythonTool.h"

#include <QDir>
#include <QJsonDocument>
#include <QProcess>

PythonResult PythonTool::Run(const QString& script, const QStringList& args, int timeoutMs) {
    QProcess process;
    process.start(
        QStringLiteral(SPREADSHEET_TEST_PYTHON),
        QStringList{QDir(QStringLiteral(SPREADSHEET_TEST_SCRIPTS)).filePath(script)} + args);
    PythonResult result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.err = "timed out or failed to start: " + process.errorString().toUtf8();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QJsonObject PythonTool::DumpWithXlrd(const QString& path, QString* error) {
    const PythonResult r = Run(QStringLiteral("xlrd_dump.py"), {path});
    if (r.exitCode != 0) {
        *error =
            QStringLiteral("xlrd failed (%1): %2").arg(r.exitCode).arg(QString::fromUtf8(r.err));
        return {};
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(r.out, &parseError);
    if (!doc.isObject()) {
        *error = QStringLiteral("xlrd output is not JSON: ") + parseError.errorString();
        return {};
    }
    return doc.object();
}
