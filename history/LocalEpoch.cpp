#include "LocalEpoch.h"

namespace history {

qint64 LocalEpoch::Seconds(const QDateTime& time) {
    if (!time.isValid() || time.timeSpec() != Qt::LocalTime) return time.toSecsSinceEpoch();
    const QTime clock = time.time();
    const qint64 key = time.date().toJulianDay() * 1440 + clock.hour() * 60 + clock.minute();
    if (key != minuteKey_) {
        minuteKey_ = key;
        minuteStart_ = time.toSecsSinceEpoch() - clock.second();
    }
    return minuteStart_ + clock.second();
}

}  // namespace history
