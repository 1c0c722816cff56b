// A prepared statement kept for reuse: bind, step, read columns, reset.
#pragma once

#include <sqlite3.h>

#include <QByteArray>
#include <QString>

namespace history {

class SqliteConnection;

class SqliteStatement {
  public:
    SqliteStatement() = default;
    SqliteStatement(SqliteConnection& db, const char* sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement& operator=(SqliteStatement&& other) noexcept;

    // Binding positions count from 1, as in SQLite.
    SqliteStatement& Bind(int pos, qint64 value);
    SqliteStatement& Bind(int pos, double value);
    SqliteStatement& Bind(int pos, const QString& value);
    SqliteStatement& Bind(int pos, const QByteArray& blob);
    SqliteStatement& BindNull(int pos);

    // True while a row is there; false when done. Throws HistoryError on failure.
    bool Step();
    // Runs a statement that returns no rows, then resets it for the next use.
    void Run();
    void Reset();

    qint64 Int(int col) const { return sqlite3_column_int64(stmt_, col); }
    double Real(int col) const { return sqlite3_column_double(stmt_, col); }
    bool IsNull(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }
    QString Text(int col) const;
    QByteArray Blob(int col) const;

  private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace history
