// Every statement the station issues, numbered as the rest of the program refers to them.
// Each entry keeps the statement in the form the station has always used (its "meaning") and
// the SQLite text that is executed. Values always go in as bound parameters.
#pragma once

#include <QString>

namespace catalogue {

enum Statement {
    MonitoredSensors = 1,  // monitored register rows, ascending number
    SensorById = 2,        // :codeid, a 6-character ID; stored IDs carry a trailing blank
    ClearRecordedAlarms = 3,
    InsertAlarm = 4,         // :dates :times :code :fix :almtemp
    StampRecordedAlarm = 5,  // :almnear :code
    RegisterRows = 6,        // whole register, ascending number
    DeleteRegister = 7,
    InsertRegisterRow = 8,  // :code :codeid :fix :almhigh :almlow :remark
    AlarmsOfDay = 9,        // :day, newest first
    AlarmsBetween = 10,     // :first :last, both days included, newest first
    DeleteAlarm = 11,       // :dates :times :code
    DeleteAllAlarms = 12,
    AllAlarms = 13,
};

constexpr int kStatementCount = 13;

struct Entry {
    int number;
    const char* original;  // the statement as the station states it
    const char* sqlite;    // what runs on the store
};

// The entry of statement n (1..13). Throws std::out_of_range for other numbers.
const Entry& Get(int n);

// The SQLite text of statement n.
QString Sql(int n);

}  // namespace catalogue
