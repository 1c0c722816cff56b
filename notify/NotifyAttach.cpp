#include "NotifyAttach.h"

#include "NotifyService.h"

namespace notify {

void Attach(StationEvents& events, const QString& programFolder,
            std::function<void(QString)> boardLine) {
    // Owned by the events object and ended with it.
    new NotifyService(events, programFolder + QStringLiteral("peizhi.ini"),
                      programFolder + QStringLiteral("newdb.mdb"), std::move(boardLine));
}

void Reload() {
    if (NotifyService* s = NotifyService::Current()) s->Configure();
}

}  // namespace notify
