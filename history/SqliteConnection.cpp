#include "SqliteConnection.h"

#include "HistoryError.h"

namespace history {

SqliteConnection::~SqliteConnection() {
    Close();
}

void SqliteConnection::Open(const QString& path, Mode mode) {
    Close();
    const int flags =
        mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    sqlite3* db = nullptr;
    const int rc =
        sqlite3_open_v2(path.toUtf8().constData(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString text =
            db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(db);
        throw HistoryError(text);
    }
    db_ = db;
    // A writer busy with a checkpoint makes a reader wait a little instead of failing at once.
    sqlite3_busy_timeout(db_, 2000);
}

void SqliteConnection::Close() {
    if (db_ == nullptr) return;
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

void SqliteConnection::Exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = message ? QString::fromUtf8(message) : ErrorText();
        sqlite3_free(message);
        throw HistoryError(text);
    }
}

qint64 SqliteConnection::QueryInt(const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) != SQLITE_OK)
        throw HistoryError(ErrorText());
    const int rc = sqlite3_step(stmt);
    qint64 value = 0;
    if (rc == SQLITE_ROW) value = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) throw HistoryError(ErrorText());
    return value;
}

QString SqliteConnection::QueryText(const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) != SQLITE_OK)
        throw HistoryError(ErrorText());
    const int rc = sqlite3_step(stmt);
    QString value;
    if (rc == SQLITE_ROW)
        value = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) throw HistoryError(ErrorText());
    return value;
}

QString SqliteConnection::ErrorText() const {
    return db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QStringLiteral("not open");
}

}  // namespace history
