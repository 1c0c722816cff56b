// Local dates and times of readings turned into seconds since the epoch, for the history file.
//
// The conversion of a local time asks the C library, which looks at the time-zone file every
// time. Readings come many to the minute, and the offset from UTC only ever changes on a whole
// minute, so the start of the last minute converted is kept and the seconds added to it. The
// minute is converted from the reading's own date and time, which carries whether it was summer
// time, so the hour repeated when summer time ends is converted right.
#pragma once

#include <QDateTime>

namespace history {

class LocalEpoch {
  public:
    qint64 Seconds(const QDateTime& time);

  private:
    qint64 minuteKey_ = -1;
    qint64 minuteStart_ = 0;
};

}  // namespace history
