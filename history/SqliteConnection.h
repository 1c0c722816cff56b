// One connection to an SQLite file through the library's C interface. The history keeps a
// connection of its own, apart from the station database's, and uses the C interface so that
// the prepared statements are kept for the whole run and every call's cost is visible.
#pragma once

#include <sqlite3.h>

#include <QString>

namespace history {

class SqliteConnection {
  public:
    enum class Mode { ReadWriteCreate, ReadOnly };

    SqliteConnection() = default;
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    // Opens path; throws HistoryError with SQLite's text when it cannot.
    void Open(const QString& path, Mode mode);
    void Close();
    bool IsOpen() const { return db_ != nullptr; }

    // Runs one or more statements without results; throws HistoryError on failure.
    void Exec(const char* sql);
    // The single integer a query returns (0 when it returns no row).
    qint64 QueryInt(const char* sql);
    // The single text a query returns (empty when it returns no row).
    QString QueryText(const char* sql);

    sqlite3* Handle() const { return db_; }
    QString ErrorText() const;

  private:
    sqlite3* db_ = nullptr;
};

}  // namespace history
