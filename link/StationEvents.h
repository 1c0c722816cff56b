// What happens at the station, announced by the main window as it happens. Capabilities that
// live beside the windows (reading history, notifications) subscribe to these signals; the main
// window never knows who listens, and listeners never call into the windows.
#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QObject>
#include <QString>

// A monitored sensor as the register holds it when the event happens.
struct SensorInfo {
    int code = 0;
    QString codeid;   // six hexadecimal characters, trimmed
    QString fix;      // location as stored
    double high = 0;  // 0 = no limit
    double low = 0;   // 0 = no limit
};

// How a reading stands against its sensor's limits.
enum class ReadingState {
    Normal,    // within limits, nothing recorded
    High,      // at or above the high limit
    Low,       // at or below the low limit
    Recorded,  // within limits while an earlier alarm is still recorded
};

struct ReadingEvent {
    SensorInfo sensor;
    QDateTime time;  // when the reading was evaluated
    double celsius = 0;
    QString text;  // the temperature as shown
    ReadingState state = ReadingState::Normal;
};

class StationEvents : public QObject {
    Q_OBJECT
  public:
    explicit StationEvents(QObject* parent = nullptr);

  signals:
    // Every reading of a monitored sensor, after it has been judged against its limits.
    void ReadingEvaluated(const ReadingEvent& reading);
    // An alarm was raised (first reading of an excursion while nothing was recorded).
    void AlarmRecorded(const ReadingEvent& reading);
    // A sensor in alarm came back within its limits.
    void AlarmEnded(const ReadingEvent& reading);
    // The bus stopped answering / is being searched for / answers again.
    void BusLost(const QDateTime& time);
    void BusReconnecting(const QDateTime& time);
    void BusRestored(const QDateTime& time);
    // The bus answered while it was not lost: found at start, or found again when the operator
    // asked to reconnect. Not an episode of its own, only the bus's state.
    void BusConnected(const QDateTime& time);
    // A monitored sensor stopped answering while others answered / answered again.
    void SensorSilent(const SensorInfo& sensor, const QDateTime& time);
    void SensorBack(const SensorInfo& sensor, const QDateTime& time);
    // The operator cleared every recorded alarm.
    void ScreenRefreshed(const QDateTime& time);
    // The register was saved: sensors may have been added, changed or removed.
    void RegisterChanged();
    // The operator asked for the history of a sensor (by number; 0 = no sensor chosen).
    void HistoryRequested(int code);
};

Q_DECLARE_METATYPE(SensorInfo)
Q_DECLARE_METATYPE(ReadingEvent)
