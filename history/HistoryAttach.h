// The history's one entry point for the program: records what the station announces into
// history.db in the program's folder, for as long as the events object lives.
#pragma once

#include <QString>
#include <functional>

class StationEvents;

namespace history {

// programFolder ends with a separator. boardLine receives, on the user-interface thread, a
// line for the message board when the history file cannot be opened or written (once per kind
// of trouble); monitoring goes on without history then.
void Attach(StationEvents& events, const QString& programFolder,
            std::function<void(QString)> boardLine);

}  // namespace history
