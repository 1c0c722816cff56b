// The digest of one day's readings, the unit of the history's seal.
//
// The readings of a day are fed in key order (sensor, then time). Before a sensor's first
// reading of the day its identity (number, bus ID, location) goes in too, so that moving
// readings to another sensor or renaming a sensor afterwards changes the digest as well.
// Link() folds a day's digest into the chain: the seal of a day covers the seal of the day
// before it, its own bounds and its number of readings.
#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

namespace history {

struct SensorIdentity {
    qint64 id = 0;
    qint64 code = 0;
    QString codeid;
    QString fix;
};

class DayDigest {
  public:
    DayDigest();

    void AddSensor(const SensorIdentity& sensor);
    void AddReading(qint64 time, qint64 temp);

    qint64 Count() const { return count_; }
    qint64 LastSensor() const { return lastSensor_; }
    // SHA-256 of everything fed; ends the digest.
    QByteArray Result();

    // The seal of a day: SHA-256 over the previous seal, the day's bounds, its count and the
    // day's digest.
    static QByteArray Link(const QByteArray& previous, qint64 start, qint64 end, qint64 count,
                           const QByteArray& dayDigest);

  private:
    void Drain();

    QCryptographicHash hash_;
    QByteArray buffer_;  // collected here and hashed in blocks: far fewer calls per reading
    qint64 count_ = 0;
    qint64 lastSensor_ = -1;
};

}  // namespace history
