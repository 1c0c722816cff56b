// Records what the station announces into the history file. Lives on a thread of its own, so
// that a commit waiting for the disk never holds up the readings on screen; the announcements
// reach it through queued connections.
//
// Readings are collected in memory and written in one transaction when the poll cycle's
// replies have stopped coming for a moment or one second after the first unwritten one,
// whichever comes first. Closed days are sealed shortly after midnight, and readings older than
// the kept number of years are removed in small steps between the writes.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <map>
#include <memory>
#include <vector>

#include "HistoryStore.h"
#include "StationEvents.h"

namespace history {

class HistoryRecorder : public QObject {
    Q_OBJECT
  public:
    // Replies of one cycle follow each other within a few tens of milliseconds; this long
    // without one ends the cycle.
    static constexpr int kCycleQuietMs = 250;
    static constexpr int kMaxDelayMs = 1000;
    static constexpr int kRemoveRowsPerStep = 2000;
    static constexpr int kDefaultYears = 5;

    // historyPath: the history file; settingsPath: peizhi.ini, read for [history] years.
    HistoryRecorder(const QString& historyPath, const QString& settingsPath);
    ~HistoryRecorder() override;

  public slots:
    void Start();
    void Stop();

    void OnReading(const ReadingEvent& reading);
    void OnBusLost(const QDateTime& time);
    void OnBusRestored(const QDateTime& time);
    void OnSensorSilent(const SensorInfo& sensor, const QDateTime& time);
    void OnSensorBack(const SensorInfo& sensor, const QDateTime& time);

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
    void Schedule();
    void Flush();
    void SealAndRetain();
    void RemoveStep();
    int KeptYears() const;
    void Report(bool& once, const QString& text);

    QString historyPath_;
    QString settingsPath_;
    HistoryStore store_;
    QHash<QString, KnownSensor> sensors_;
    std::vector<HistoryStore::Sample> samples_;
    std::map<std::pair<int, qint64>, std::unique_ptr<Episode>> open_;
    std::vector<std::unique_ptr<Episode>> closed_;  // ended, not yet written
    std::vector<Episode*> dirty_;
    QTimer* quiet_ = nullptr;
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
