#include "SystemTimeZone.h"

#include <sys/stat.h>

#include <QTimer>
#include <cstdlib>
#include <ctime>

namespace {

struct Settled {
    QByteArray file;  // empty while TZ is the user's or unset
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{};
    off_t size = 0;
};

Settled& State() {
    static Settled settled;
    return settled;
}

// What identifies the zone file's contents as read: the file the name leads to (a changed zone
// is usually a new link) and when it was last written.
bool Identify(const QByteArray& file, Settled& s) {
    struct stat st {};
    if (::stat(file.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.modified = st.st_mtim;
    s.size = st.st_size;
    return true;
}

}  // namespace

void SystemTimeZone::Settle(const QByteArray& zoneFile) {
    Settled& s = State();
    if (!s.file.isEmpty() || qEnvironmentVariableIsSet("TZ")) return;
    Settled now;
    if (!Identify(zoneFile, now)) return;
    now.file = zoneFile;
    s = now;
    ::setenv("TZ", (":" + zoneFile).constData(), 1);
    ::tzset();
}

bool SystemTimeZone::FollowChange() {
    Settled& s = State();
    if (s.file.isEmpty()) return false;
    Settled now;
    if (!Identify(s.file, now)) return false;  // being replaced, or gone: keep the zone as read
    if (now.device == s.device && now.inode == s.inode && now.size == s.size &&
        now.modified.tv_sec == s.modified.tv_sec && now.modified.tv_nsec == s.modified.tv_nsec)
        return false;
    now.file = s.file;
    s = now;
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
