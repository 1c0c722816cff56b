// What the station asks of an open SQLite connection beyond its statements: whether the file
// took writes (SQLite quietly opens a write-protected file read-only), and how long a statement
// may wait on another program's lock.
#pragma once

#include <QString>

struct sqlite3;

class SqliteConnection {
  public:
    // The engine's handle of an open Qt SQL connection, or nullptr.
    static sqlite3* Handle(const QString& connectionName);
    // True when the connection's main database cannot be written.
    static bool ReadOnly(const QString& connectionName);
    // How long a statement waits for another program's lock before it fails.
    static void SetBusyTimeout(const QString& connectionName, int ms);
};
