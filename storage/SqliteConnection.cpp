#include "SqliteConnection.h"

#include <sqlite3.h>

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

sqlite3* SqliteConnection::Handle(const QString& connectionName) {
    if (!QSqlDatabase::contains(connectionName)) return nullptr;
    const QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    if (!db.isOpen() || !db.driver()) return nullptr;
    const QVariant v = db.driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0) return nullptr;
    return *static_cast<sqlite3* const*>(v.data());
}

bool SqliteConnection::ReadOnly(const QString& connectionName) {
    sqlite3* h = Handle(connectionName);
    return h && sqlite3_db_readonly(h, "main") == 1;
}

void SqliteConnection::SetBusyTimeout(const QString& connectionName, int ms) {
    if (sqlite3* h = Handle(connectionName)) sqlite3_busy_timeout(h, ms);
}
