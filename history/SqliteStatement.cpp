#include "SqliteStatement.h"

#include <utility>

#include "HistoryError.h"
#include "SqliteConnection.h"

namespace history {

SqliteStatement::SqliteStatement(SqliteConnection& db, const char* sql) : db_(db.Handle()) {
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr) != SQLITE_OK)
        throw HistoryError(QString::fromUtf8(sqlite3_errmsg(db_)));
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(stmt_);
}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)), stmt_(std::exchange(other.stmt_, nullptr)) {}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(stmt_);
        db_ = std::exchange(other.db_, nullptr);
        stmt_ = std::exchange(other.stmt_, nullptr);
    }
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int pos, qint64 value) {
    sqlite3_bind_int64(stmt_, pos, value);
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int pos, double value) {
    sqlite3_bind_double(stmt_, pos, value);
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int pos, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    sqlite3_bind_text(stmt_, pos, utf8.constData(), static_cast<int>(utf8.size()),
                      SQLITE_TRANSIENT);
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int pos, const QByteArray& blob) {
    sqlite3_bind_blob(stmt_, pos, blob.constData(), static_cast<int>(blob.size()),
                      SQLITE_TRANSIENT);
    return *this;
}

SqliteStatement& SqliteStatement::BindNull(int pos) {
    sqlite3_bind_null(stmt_, pos);
    return *this;
}

bool SqliteStatement::Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    const QString text = QString::fromUtf8(sqlite3_errmsg(db_));
    sqlite3_reset(stmt_);
    throw HistoryError(text);
}

void SqliteStatement::Run() {
    while (Step()) {
    }
    Reset();
}

void SqliteStatement::Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

QString SqliteStatement::Text(int col) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
    return QString::fromUtf8(text, sqlite3_column_bytes(stmt_, col));
}

QByteArray SqliteStatement::Blob(int col) const {
    const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt_, col));
    return QByteArray(data, sqlite3_column_bytes(stmt_, col));
}

}  // namespace history
