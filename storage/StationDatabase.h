// The station's single connection to its database file (newdb.mdb beside the program).
#pragma once

#include <QSqlDatabase>
#include <QString>

class StationDatabase {
  public:
    // Name of the connection every query object of the station uses.
    static constexpr const char* kConnectionName = "link_db";

    // Opens path read-write without ever creating it, and checks that it is a database holding
    // the tables settab and alming (a missing column is left to the statements that need it).
    // Throws DatabaseError with the reason when any of that fails; the connection is then left
    // closed.
    static void Open(const QString& path, const QString& connectionName = kConnectionName);

    // Closes and removes the connection (harmless when it is not open).
    static void Close(const QString& connectionName = kConnectionName);

    static QSqlDatabase Connection(const QString& connectionName = kConnectionName);
};
