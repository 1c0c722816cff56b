#include "StationEvents.h"

StationEvents::StationEvents(QObject* parent) : QObject(parent) {
    // Listeners on threads of their own receive the events through queued connections.
    qRegisterMetaType<SensorInfo>();
    qRegisterMetaType<ReadingEvent>();
}
