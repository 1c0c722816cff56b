#include <gtest/gtest.h>
#include <time.h>

#include <QDateTime>

#include "LocalEpoch.h"

namespace {

// Runs the test's body in a time zone with summer time, then puts the zone back.
class InZone {
  public:
    explicit InZone(const char* zone) : had_(qEnvironmentVariableIsSet("TZ")), old_(qgetenv("TZ")) {
        qputenv("TZ", zone);
        tzset();
    }
    ~InZone() {
        if (had_)
            qputenv("TZ", old_);
        else
            qunsetenv("TZ");
        tzset();
    }

  private:
    bool had_;
    QByteArray old_;
};

}  // namespace

TEST(LocalEpoch, AgreesWithTheLibraryAcrossSummerTimeChangesAndClockJumps) {
    InZone zone("Europe/Berlin");
    history::LocalEpoch epoch;
    // Local times as the station takes them, every 7 s through the night summer time begins
    // (2026-03-29: 02:00 becomes 03:00) and the night it ends (2026-10-25: the hour from 02:00
    // to 03:00 comes twice).
    for (const qint64 from : {QDateTime(QDate(2026, 3, 29), QTime(1, 0)).toSecsSinceEpoch(),
                              QDateTime(QDate(2026, 10, 25), QTime(1, 0)).toSecsSinceEpoch()}) {
        for (qint64 t = from; t < from + 4 * 3600; t += 7) {
            const QDateTime local = QDateTime::fromSecsSinceEpoch(t);
            ASSERT_EQ(epoch.Seconds(local), t) << local.toString(Qt::ISODate).toStdString();
        }
    }
    // The clock set back by the operator, and times of other kinds.
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (const qint64 t : {now, now - 86400 * 40, now - 86400 * 40 + 59, now + 1, now})
        EXPECT_EQ(epoch.Seconds(QDateTime::fromSecsSinceEpoch(t)), t);
    EXPECT_EQ(epoch.Seconds(QDateTime::fromSecsSinceEpoch(now, Qt::UTC)), now);
}
