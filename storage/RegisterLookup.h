// The reading path's look-up of one sensor in the register: the monitored-sensor statement runs
// for every reading, so that a saved change applies at once, and its rows are walked in order
// until the sensor whose ID arrived. Only that row's fields are converted; the rows before it
// are compared as the engine stores them, without building a text or a value per field.
#pragma once

#include <QString>

class TQuery;
struct sqlite3;
struct sqlite3_stmt;

// One monitored sensor as the reading path judges it.
struct MonitoredSensor {
    enum Result { Found, NotRegistered, RegisterEmpty };
    Result result = NotRegistered;
    int row = 0;  // 1-based position among the monitored sensors, as the grid shows them
    int code = 0;
    QString fix;
    double high = 0;
    double low = 0;
    QString almnear;  // the stamp of an alarm already recorded, blanks included
};

class RegisterLookup {
  public:
    explicit RegisterLookup(const QString& connectionName);
    ~RegisterLookup();
    RegisterLookup(const RegisterLookup&) = delete;
    RegisterLookup& operator=(const RegisterLookup&) = delete;

    // Runs the monitored-sensor statement on the connection and finds the sensor whose ID is id;
    // IDs are compared without blanks and control characters at either end. The statement is
    // compiled once and kept while the connection stays open. Throws DatabaseError with the
    // engine's text when the statement fails.
    MonitoredSensor Find(const QString& id);
    // The same on rows already read by that statement (the register as last read).
    static MonitoredSensor Find(TQuery& rows, const QString& id);

    // Lets go of the statements kept on the named connection. The engine refuses to close a
    // connection while a compiled statement of it is kept, so this comes before every close.
    static void ReleaseConnection(const QString& connectionName);

  private:
    void Release();
    // Finds the fields' columns by name in the statement as it is compiled now.
    void FindColumns();

    QString connection_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* statement_ = nullptr;
    // The columns of code, codeid, fix, almhigh, almlow and almnear, and which compilation of
    // the statement they were found in: the engine compiles a kept statement again when the
    // table has changed, and its columns may then lie elsewhere.
    int columns_[6] = {};
    int columnsCompiled_ = -1;
};
