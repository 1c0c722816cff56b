// Tells the world outside what the station announces: the broker (states, events, discovery)
// and people (web hooks, e-mail, with active alarms told again every few minutes until the
// screen is refreshed). Lives on the user-interface thread, where its handlers only hand things
// to the publisher's and the sender's threads. Neither exists while its section of peizhi.ini is
// absent or switched off; then nothing connects anywhere.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

#include "NotifySettings.h"
#include "StationEvents.h"

class MessageSender;
class MqttPublisher;
struct Notice;
struct WayResult;

class NotifyService : public QObject {
    Q_OBJECT
  public:
    // settingsPath: peizhi.ini; databasePath: newdb.mdb. repeatUnitMs is the length of one
    // minute of the repeat key (a minute; shorter only where a test has to see repetition).
    NotifyService(StationEvents& events, QString settingsPath, QString databasePath,
                  std::function<void(QString)> boardLine, int repeatUnitMs = 60000);
    ~NotifyService() override;

    // Reads peizhi.ini again and starts over with what it says.
    void Configure();

    const NotifySettings& Settings() const { return settings_; }
    MqttPublisher* Publisher() const { return publisher_.get(); }
    MessageSender* Sender() const { return sender_.get(); }
    // Alarms being told again (by sensor number).
    QList<int> ActiveAlarms() const { return active_.keys(); }

    // The service attached to the station, if any (the settings window restarts it after a save).
    static NotifyService* Current();

  private:
    struct Active {
        ReadingEvent reading;
        qint64 lastToldMs = 0;
    };

    void Tell(const Notice& notice, bool toBroker);
    void OnReading(const ReadingEvent& reading);
    void OnAlarmRecorded(const ReadingEvent& reading);
    void OnAlarmEnded(const ReadingEvent& reading);
    void OnSensor(const SensorInfo& sensor, const QDateTime& time, bool silent);
    void OnBus(const QString& state, const QDateTime& time);
    void OnScreenRefreshed(const QDateTime& time);
    void RepeatDue();
    void Report(const WayResult& result);
    void BoardLine(const QString& text);

    const QString settingsPath_;
    const QString databasePath_;
    std::function<void(QString)> boardLine_;
    const int repeatUnitMs_;
    NotifySettings settings_;
    std::unique_ptr<MqttPublisher> publisher_;
    std::unique_ptr<MessageSender> sender_;
    QHash<int, Active> active_;
    QHash<int, ReadingEvent> ended_;  // ended while still recorded: a new excursion is active again
    QHash<QString, bool> failing_;    // ways whose failure the board has been told
    QString busState_;  // the bus's last state ("ok", "lost", "reconnecting"; empty = not yet)
    QTimer repeatTimer_;
};
