// Local time is asked for with every reading and every tick of the clock. While TZ is not set,
// the C library looks the system's time-zone file up again on each of these (a file-system look-up
// through /etc/localtime, so that a changed zone applies at once), and on a busy bus that was a
// good part of the work of a reading. With the file named in TZ the library keeps what it has
// read. So that a change of the system's zone still applies while the station runs, the station
// looks at the file once a minute and has the library read it again when it has changed.
#pragma once

#include <QByteArray>

class QObject;

class SystemTimeZone {
  public:
    // Names zoneFile in TZ, unless TZ is already set (then the library already keeps what it
    // read) or the file is missing. Must come before any other thread starts: the environment
    // is changed.
    static void Settle(const QByteArray& zoneFile = QByteArrayLiteral("/etc/localtime"));
    // When the file settled on names another zone or was written anew since it was read, has the
    // library read it again and returns true. Does nothing when Settle left TZ alone.
    static bool FollowChange();
    // FollowChange once a minute on the calling thread's event loop, for as long as owner lives.
    static void FollowEveryMinute(QObject* owner);
};
