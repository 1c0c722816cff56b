// Local time with the zone file named in TZ, against real zone files: the same local time as
// before, and a zone changed while the station runs applies at the next look.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

#include "SystemTimeZone.h"

namespace {

// The local hour at 2026-07-01 12:00 UTC, as the C library gives it.
int LocalHourAtJulyNoonUtc() {
    const QDateTime noon(QDate(2026, 7, 1), QTime(12, 0), Qt::UTC);
    return noon.toLocalTime().time().hour();
}

// Puts the named zone's file at path as a new file, as a changed system zone does.
bool PutZone(const QString& zone, const QString& path) {
    const QString staged = path + QStringLiteral(".new");
    QFile::remove(staged);
    if (!QFile::copy(QStringLiteral("/usr/share/zoneinfo/") + zone, staged)) return false;
    return ::rename(QFile::encodeName(staged).constData(), QFile::encodeName(path).constData()) ==
           0;
}

}  // namespace

TEST(SystemTimeZone, KeepsTheZoneFileNamedAndFollowsAChangedZone) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("localtime"));
    ASSERT_TRUE(PutZone(QStringLiteral("Asia/Shanghai"), file));
    const QByteArray path = QFile::encodeName(file);

    // A zone the user set is left as it is.
    ::setenv("TZ", "America/New_York", 1);
    SystemTimeZone::Settle(path);
    EXPECT_STREQ(std::getenv("TZ"), "America/New_York");
    EXPECT_FALSE(SystemTimeZone::FollowChange());
    EXPECT_EQ(LocalHourAtJulyNoonUtc(), 8);

    ::unsetenv("TZ");
    SystemTimeZone::Settle(path);
    EXPECT_EQ(QByteArray(std::getenv("TZ")), ":" + path);
    EXPECT_EQ(LocalHourAtJulyNoonUtc(), 20);
    EXPECT_FALSE(SystemTimeZone::FollowChange()) << "nothing changed";
    EXPECT_EQ(LocalHourAtJulyNoonUtc(), 20);

    // The system's zone is changed while the station runs.
    ASSERT_TRUE(PutZone(QStringLiteral("America/New_York"), file));
    EXPECT_EQ(LocalHourAtJulyNoonUtc(), 20) << "the library keeps the zone it read";
    EXPECT_TRUE(SystemTimeZone::FollowChange());
    EXPECT_EQ(LocalHourAtJulyNoonUtc(), 8);
    EXPECT_EQ(QByteArray(std::getenv("TZ")), ":" + path);
    EXPECT_FALSE(SystemTimeZone::FollowChange());

    // A file being replaced (gone for a moment) keeps the zone as read.
    ASSERT_TRUE(QFile::remove(file));
    EXPECT_FALSE(SystemTimeZone::FollowChange());
    EXPECT_EQ(LocalHourAtJulyNoonUtc(), 8);
    ASSERT_TRUE(PutZone(QStringLiteral("Asia/Shanghai"), file));
    EXPECT_TRUE(SystemTimeZone::FollowChange());
    EXPECT_EQ(LocalHourAtJulyNoonUtc(), 20);
}
