#include "HistoryAttach.h"

#include "HistoryService.h"

namespace history {

void Attach(StationEvents& events, const QString& programFolder,
            std::function<void(QString)> boardLine) {
    // Owned by the events object and ended with it.
    new HistoryService(events, programFolder + QStringLiteral("history.db"),
                       programFolder + QStringLiteral("peizhi.ini"), std::move(boardLine));
}

}  // namespace history
