#include "NotifyFolder.h"

#include <QFile>
#include <QProcess>

#include "TestSupport.h"

NotifyFolder::NotifyFolder() {
    Sql(QStringLiteral(".read ") + testsupport::SourceDir() +
        QStringLiteral("/storage/schema.sql"));
}

void NotifyFolder::WriteIni(const QByteArray& text) const {
    QFile f(Ini());
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(text);
}

void NotifyFolder::Sql(const QString& sql) const {
    QProcess p;
    p.start(QStringLiteral("sqlite3"), {Db(), sql});
    p.waitForFinished(10000);
}
