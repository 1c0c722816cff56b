// The remote notifications' one entry point for the program: publishes what the station
// announces to the message broker and tells people, as peizhi.ini's [mqtt] and [notify] say,
// for as long as the events object lives.
#pragma once

#include <QString>
#include <functional>

class StationEvents;

namespace notify {

// programFolder ends with a separator (peizhi.ini and newdb.mdb lie there). boardLine receives,
// on the user-interface thread, Chinese lines for the message board when a broker or a way of
// sending cannot be reached, and when it can again.
void Attach(StationEvents& events, const QString& programFolder,
            std::function<void(QString)> boardLine);

// Starts the attached notifications over with the settings as they now are in peizhi.ini.
void Reload();

}  // namespace notify
