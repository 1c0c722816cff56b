#include "StationDatabase.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QUrl>

#include "StationError.h"

namespace {

void RequireColumns(const QSqlDatabase& db, const QString& table, const QStringList& columns) {
    const QSqlRecord rec = db.record(table);
    if (rec.isEmpty()) throw DatabaseError(QStringLiteral("table %1 is missing").arg(table));
    for (const QString& c : columns)
        if (rec.indexOf(c) < 0)
            throw DatabaseError(QStringLiteral("column %1.%2 is missing").arg(table, c));
}

}  // namespace

void StationDatabase::Open(const QString& path, const QString& connectionName) {
    Close(connectionName);
    const QFileInfo info(path);
    if (!info.isFile()) throw DatabaseError(QStringLiteral("database file %1 not found").arg(path));

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    // mode=rw: open an existing file only; SQLite would otherwise create an empty database.
    QUrl uri = QUrl::fromLocalFile(info.absoluteFilePath());
    uri.setQuery(QStringLiteral("mode=rw"));
    db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=2000"));
    try {
        if (!db.open()) throw DatabaseError(db.lastError().text());
        // Reading the schema is the first real access: a file that is not a database fails here.
        QSqlQuery probe(db);
        if (!probe.exec(QStringLiteral("select count(*) from sqlite_master")))
            throw DatabaseError(probe.lastError().text());
        RequireColumns(db, QStringLiteral("settab"),
                       {"ID", "code", "codeid", "fix", "almhigh", "almlow", "remark", "almnear"});
        RequireColumns(db, QStringLiteral("alming"), {"dates", "times", "code", "fix", "almtemp"});
    } catch (...) {
        db = QSqlDatabase();
        Close(connectionName);
        throw;
    }
}

void StationDatabase::Close(const QString& connectionName) {
    if (!QSqlDatabase::contains(connectionName)) return;
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
}

QSqlDatabase StationDatabase::Connection(const QString& connectionName) {
    return QSqlDatabase::database(connectionName, false);
}
