#include "SystemTimeZone.h"

#include <sys/stat.h>

#include <QTimer>
#include <cstdlib>
#include <ctime>

namespace {

// What identifies the zone file's contents as read: the file the name leads to (a changed zone
// is usually a new link) and when it was last written.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    time_t modifiedSeconds = 0;
    long modifiedNanoseconds = 0;
    bool operator==(const FileIdentity&) const = default;
};

struct Settled {
    QByteArray file;  // empty while TZ is the user's or unset
    FileIdentity identity;
};

Settled& State() {
    static Settled settled;
    return settled;
}

bool Identify(const QByteArray& file, FileIdentity& id) {
    struct stat st {};
    if (::stat(file.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    id = {st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    return true;
}

}  // namespace

void SystemTimeZone::Settle(const QByteArray& zoneFile) {
    Settled& s = State();
    if (!s.file.isEmpty() || qEnvironmentVariableIsSet("TZ")) return;
    if (!Identify(zoneFile, s.identity)) return;
    s.file = zoneFile;
    ::setenv("TZ", (":" + zoneFile).constData(), 1);
    ::tzset();
}

bool SystemTimeZone::FollowChange() {
    Settled& s = State();
    if (s.file.isEmpty()) return false;
    FileIdentity now;
    if (!Identify(s.file, now)) return false;  // being replaced, or gone: keep the zone as read
    if (now == s.identity) return false;
    s.identity = now;
    // The library reads the file again only when TZ reads differently from the last time, so TZ
    // names it once by another path and then as before. Both name the same file, so a thread
    // asking for local time meanwhile gets the new zone either way. The value is replaced in
    // place, never added or removed, which other threads reading the environment can bear.
    const int slash = s.file.lastIndexOf('/');
    const QByteArray other = s.file.left(slash + 1) + "./" + s.file.mid(slash + 1);
    ::setenv("TZ", (":" + other).constData(), 1);
    ::tzset();
    ::setenv("TZ", (":" + s.file).constData(), 1);
    ::tzset();
    return true;
}

void SystemTimeZone::FollowEveryMinute(QObject* owner) {
    auto* watch = new QTimer(owner);
    watch->setTimerType(Qt::VeryCoarseTimer);
    QObject::connect(watch, &QTimer::timeout, [] { FollowChange(); });
    watch->start(60 * 1000);
}
