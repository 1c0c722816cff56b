// The reading history file history.db: readings, sensors, episodes and the seals of closed
// days, with two views for other programs.
//
// Tables (numbers, not texts, where there are many rows):
//   sensor(id, code, codeid, fix, high, low)  one row per number, bus ID and location seen
//   sample(sensor, time, temp)                 keyed by (sensor, time), without a row id; time
//                                              in seconds since 1970 UTC, temp in 1/16 °C
//   episode(id, kind, sensor, started, ended, extreme)
//   seal(day, start, end, count, digest)       one row per closed local day, chained
//   anchor(until, digest)                      the seal of the last day removed for age
// Views: readings(time, code, codeid, fix, celsius) and
//        episodes(code, fix, kind, started, ended, extreme), times local "YYYY-MM-DD HH:MM:SS".
//
// The store is used from one thread; it throws HistoryError when SQLite refuses a call.
#pragma once

#include <QDate>
#include <QString>
#include <memory>
#include <vector>

#include "DayDigest.h"
#include "SqliteConnection.h"
#include "SqliteStatement.h"

namespace history {

enum class EpisodeKind { BusLost = 1, SensorSilent = 2, AlarmHigh = 3, AlarmLow = 4 };

class HistoryStore {
  public:
    struct Sample {
        qint64 sensor = 0;
        qint64 time = 0;
        qint64 temp = 0;  // 1/16 °C
    };
    struct Episode {
        qint64 id = 0;  // 0 until written
        EpisodeKind kind = EpisodeKind::BusLost;
        qint64 sensor = 0;  // 0 for the bus
        qint64 started = 0;
        qint64 ended = 0;  // 0 while it lasts
        bool hasExtreme = false;
        qint64 extreme = 0;  // 1/16 °C
    };

    HistoryStore() = default;

    // Opens path, creating the file, its tables and views when missing; WAL journal, each
    // commit on the disk before it returns. Episodes a previous run left open are closed at the
    // last reading of their sensor.
    void Open(const QString& path);
    void Close();
    bool IsOpen() const { return db_.IsOpen(); }

    // The id of a sensor as the register holds it now, added when new; the limits are kept
    // up to date for the charts.
    qint64 SensorId(qint64 code, const QString& codeid, const QString& fix, double high,
                    double low);

    // Writes the readings and the new or changed episodes in one transaction. Readings of a
    // day already sealed are not written (the clock went back); their number is returned.
    int Write(const std::vector<Sample>& samples, const std::vector<Episode*>& episodes);

    // Seals every local day that ended at or before the start of now's day. Returns the number
    // of days sealed.
    int SealClosedDays(qint64 now);
    qint64 SealedUntil() const { return sealedUntil_; }

    // Removes the seals and episodes of the days before cutoff, then at most maxRows readings
    // older than cutoff. True while readings remain to be removed.
    bool RemoveOlderThan(qint64 cutoff, int maxRows);

    static qint64 ToSixteenths(double celsius);
    // Start of the local day holding time, in seconds since 1970.
    static qint64 DayStart(qint64 time);
    // The oldest time kept when years of readings are kept: the start of the day that many
    // years before today.
    static qint64 RetentionCutoff(const QDate& today, int years);

  private:
    void CreateSchema();
    void CloseLeftOpenEpisodes();
    std::vector<SensorIdentity> Sensors();
    qint64 EarliestReading(const std::vector<SensorIdentity>& sensors);

    SqliteConnection db_;
    std::unique_ptr<SqliteStatement> insertSample_;
    std::unique_ptr<SqliteStatement> insertLaterSample_;  // a second reading within a second
    std::unique_ptr<SqliteStatement> insertEpisode_;
    std::unique_ptr<SqliteStatement> updateEpisode_;
    qint64 sealedUntil_ = 0;
    QByteArray lastSeal_;
};

}  // namespace history
