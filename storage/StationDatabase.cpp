#include "StationDatabase.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>

#include "RegisterLookup.h"
#include "SqliteConnection.h"
#include "StationError.h"

namespace {

// The file must hold the station's two tables. Their columns are not checked here: a missing
// column fails the statements that name it, each with the database's own text, while the
// rest of the station goes on working with the file.
void RequireTable(const QSqlDatabase& db, const QString& table) {
    if (db.record(table).isEmpty())
        throw DatabaseError(QStringLiteral("table %1 is missing").arg(table));
}

// The reading path walks the monitored sensors in number order for every reading; with this
// index it reads them in that order instead of sorting the whole register each time. A file
// made before the index existed gets it here, when it can be written at once; a file that
// cannot (write-protected, locked by another program) is used without it.
void AddRegisterIndex(const QSqlDatabase& db, const QString& connectionName) {
    QSqlQuery q(db);
    if (q.exec(QStringLiteral(
            "select 1 from sqlite_master where type = 'index' and name = 'settab_code'")) &&
        q.next())
        return;
    q.finish();
    if (SqliteConnection::ReadOnly(connectionName)) return;
    SqliteConnection::SetBusyTimeout(connectionName, 0);
    q.exec(QStringLiteral("create index if not exists settab_code on settab(code)"));
    SqliteConnection::SetBusyTimeout(connectionName, 2000);
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
        RequireTable(db, QStringLiteral("settab"));
        RequireTable(db, QStringLiteral("alming"));
        probe.finish();
        AddRegisterIndex(db, connectionName);
    } catch (...) {
        db = QSqlDatabase();
        Close(connectionName);
        throw;
    }
}

void StationDatabase::Close(const QString& connectionName) {
    if (!QSqlDatabase::contains(connectionName)) return;
    RegisterLookup::ReleaseConnection(connectionName);
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
}

QSqlDatabase StationDatabase::Connection(const QString& connectionName) {
    return QSqlDatabase::database(connectionName, false);
}
