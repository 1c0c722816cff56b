// The monitored sensors of the register, read through a read-only connection of the caller's
// thread of its own, so that a worker thread never shares the windows' connection.
#pragma once

#include <QString>
#include <QVector>

#include "StationEvents.h"

class RegisteredSensors {
  public:
    // The register's monitored rows (number > 0, ascending) of the database at path. False, with
    // error set, when the file cannot be opened or read.
    static bool Load(const QString& path, QVector<SensorInfo>* sensors, QString* error);
};
