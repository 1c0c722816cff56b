#include "StationLink.h"

#include <QTimer>

void StationLink::RestartCountdown() {
    State().countdown = State().pollInterval;
    TimerB()->start();
}
