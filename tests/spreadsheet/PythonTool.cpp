#include "PythonTool.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
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

QVector<XlrdSheet> PythonTool::SheetsWithXlrd(const QString& path) {
    QString error;
    const QJsonObject book = DumpWithXlrd(path, &error);
    EXPECT_FALSE(book.isEmpty()) << error.toStdString();
    EXPECT_EQ(book["biff_version"].toInt(), 80);
    EXPECT_EQ(book["log"].toString(), QString()) << "xlrd warned";
    QVector<XlrdSheet> sheets;
    for (const QJsonValue& s : book["sheets"].toArray()) {
        XlrdSheet sheet{s["name"].toString(), {}};
        for (const QJsonValue& r : s["rows"].toArray()) {
            QStringList row;
            for (const QJsonValue& c : r.toArray()) {
                if (c.isNull())
                    row << QString();
                else if (c.toObject().contains("text"))
                    row << c["text"].toString();
                else
                    row << QString("#%1:%2").arg(c["type"].toInt()).arg(c["value"].toDouble());
            }
            sheet.rows.append(row);
        }
        sheets.append(sheet);
    }
    return sheets;
}
