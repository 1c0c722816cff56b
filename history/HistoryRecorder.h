// Records what the station announces into the history file. Lives on a thread of its own, so
// that a commit waiting for the disk never holds up the readings on screen. Announcements are
// left in an inbox, in the order they were made, and the recorder's thread empties it itself
// once a second for as long as they come, so that the announcing thread wakes it once per
// stream of announcements rather than once per reading.
//
// What was taken from the inbox is written in one transaction each time, so nothing waits in
// memory longer than a second and a poll cycle shorter than that is one transaction. Closed days
// are sealed shortly after midnight, and readings older than the kept number of years are removed
// in small steps between the writes.
#pragma once

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QTimer>
#include <map>
#include <memory>
#include <vector>

#include "HistoryStore.h"
#include "LocalEpoch.h"
#include "StationEvents.h"

namespace history {

class HistoryRecorder : public QObject {
    Q_OBJECT
  public:
    // Longest time an announcement waits in memory: what arrives is written in one transaction
    // this long after the first unwritten announcement, so a poll cycle shorter than this is
    // one transaction and a longer one is one per interval.
    static constexpr int kMaxDelayMs = 1000;
    static constexpr int kRemoveRowsPerStep = 2000;
    static constexpr int kDefaultYears = 5;

    // historyPath: the history file; settingsPath: peizhi.ini, read for [history] years.
    HistoryRecorder(const QString& historyPath, const QString& settingsPath);
    ~HistoryRecorder() override;

    // What the station announces, as it waits in the inbox.
    struct Announcement {
        enum Kind { Reading, BusLost, BusRestored, SensorSilent, SensorBack };
        Kind kind = Reading;
        ReadingEvent reading;  // Reading
        SensorInfo sensor;     // SensorSilent, SensorBack
        QDateTime time;        // all but Reading
    };

    // Safe from any thread: puts the announcement in the inbox, and wakes the recorder's thread
    // only if it is not already watching the inbox.
    void Deliver(const Announcement& announcement);

  public slots:
    void Start();
    void Stop();

  signals:
    // A line for the message board; each kind of trouble is announced once per run.
    void Problem(const QString& text);

  private:
    enum Category { Alarm = 0, Silent = 1, Bus = 2 };
    struct KnownSensor {
        qint64 id = 0;
        double high = 0;
        double low = 0;
    };
    using Episode = HistoryStore::Episode;

    qint64 IdOf(const SensorInfo& sensor);
    void OpenEpisode(Category category, qint64 sensor, EpisodeKind kind, qint64 started,
                     bool hasExtreme, qint64 extreme);
    void CloseEpisode(Category category, qint64 sensor, qint64 ended);
    void MarkDirty(Episode* episode);
    void Record(const ReadingEvent& reading);
    void Apply(const Announcement& announcement);
    void OnBusLost(const QDateTime& time);
    void OnBusRestored(const QDateTime& time);
    void OnSensorSilent(const SensorInfo& sensor, const QDateTime& time);
    void OnSensorBack(const SensorInfo& sensor, const QDateTime& time);
    std::vector<Announcement> TakeInbox();
    void OnDelivered();
    void OnDeadline();
    void Flush();
    void SealAndRetain();
    void RemoveStep();
    int KeptYears() const;
    void Report(bool& once, const QString& text);

    QString historyPath_;
    QString settingsPath_;
    HistoryStore store_;
    QHash<QString, KnownSensor> sensors_;
    LocalEpoch epoch_;
    std::vector<HistoryStore::Sample> samples_;
    std::map<std::pair<int, qint64>, std::unique_ptr<Episode>> open_;
    std::vector<std::unique_ptr<Episode>> closed_;  // ended, not yet written
    std::vector<Episode*> dirty_;
    QMutex inboxMutex_;
    std::vector<Announcement> inbox_;  // guarded by inboxMutex_, as are the two flags
    bool wakePosted_ = false;          // a wake-up is on its way to the recorder's thread
    bool watching_ = false;            // the deadline timer runs and will look at the inbox
    QTimer* deadline_ = nullptr;
    QTimer* daily_ = nullptr;
    QTimer* removal_ = nullptr;
    qint64 cutoff_ = 0;
    qint64 checkedDay_ = 0;
    bool reportedOpen_ = false;
    bool reportedWrite_ = false;
    bool reportedClock_ = false;
};

}  // namespace history
