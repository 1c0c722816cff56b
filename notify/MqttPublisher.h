// Publishing to an MQTT broker through libmosquitto.
//
// libmosquitto is the client library of the broker Debian itself ships (libmosquitto1): one
// small C library with TLS, a last will, Unix-socket connections and a non-blocking network
// loop the publisher can drive from a thread of its own, which is all the station asks for.
//
// Under <prefix>:
//   status        retained "online"; "offline" as the last will and on a clean stop
//   bus           retained "ok" / "lost" / "reconnecting"
//   sensor/<code> retained JSON of the sensor's latest reading (latest value only)
//   event         QoS 1 JSON, one per event, in order
// and under homeassistant/ a retained discovery config per registered sensor (a temperature
// sensor) and per sensor's alarm (a problem binary sensor).
//
// Every public method may be called from the user-interface thread and returns at once: it only
// puts things where the publisher's thread picks them up. Events wait in a bounded queue while
// the broker cannot be reached and go out in order once it can; only when more than
// kEventCapacity are waiting does the oldest give way.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QString>
#include <QVector>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "Notice.h"
#include "NotifySettings.h"

struct mosquitto;

class MqttPublisher {
  public:
    static constexpr int kEventCapacity = 10000;

    // databasePath: the station's newdb.mdb, read for the registered sensors' discovery configs
    // (empty = no discovery). problem, when set, is called on the publisher's thread with a
    // Chinese line when the broker cannot be reached (once per outage) and when it is reached
    // again after one.
    MqttPublisher(NotifySettings settings, QString databasePath,
                  std::function<void(QString)> problem = {});
    // Says "offline" on the status topic, disconnects cleanly and ends the thread.
    ~MqttPublisher();

    void SetReading(const ReadingEvent& reading);
    void SetSensorSilent(const SensorInfo& sensor, bool silent);
    void SetBus(const QString& state);
    void PublishEvent(const Notice& notice);
    // The register changed: discovery configs are read again, updated and removed.
    void ReloadSensors();

    // Observation.
    bool Connected() const { return connected_; }
    int WaitingEvents() const;
    int DroppedEvents() const;
    QString LastError() const;
    QString Prefix() const { return prefix_; }
    // The id discovery configs carry for this station (the prefix in allowed characters).
    QString NodeId() const { return node_; }

    // One test event published and acknowledged on a connection of its own, on the calling
    // thread (never the user-interface thread). False with error set when it did not go out.
    static bool SendOnce(const NotifySettings& settings, const QByteArray& payload, QString* error,
                         int timeoutMs = 10000);

  private:
    struct Pending {
        QByteArray payload;
        int mid = -1;
    };
    using Clock = std::chrono::steady_clock;

    void Run();
    void StartConnection();
    void DropConnection(const QString& why);
    void Flush();
    void LoadDiscovery();
    QByteArray SensorPayload(int code) const;
    void PublishRetained(const QString& topic, const QByteArray& payload);

    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnPublish(mosquitto*, void* self, int mid);

    const NotifySettings settings_;
    const QString databasePath_;
    const std::function<void(QString)> problem_;
    const QString prefix_;
    const QString node_;

    // Shared with the calling threads, under mutex_.
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool reload_ = true;
    std::deque<Pending> incoming_;
    QHash<int, ReadingEvent> readings_;
    QSet<int> silent_;
    QSet<int> dirty_;
    QString bus_;
    bool busDirty_ = false;
    int dropped_ = 0;
    std::atomic<qint64> eventSeq_{0};
    int waitingOnThread_ = 0;
    QString lastError_;

    // The publisher's thread only.
    mosquitto* mosq_ = nullptr;
    std::atomic<bool> connected_{false};
    bool everyThing_ = false;  // republish every retained topic (after a connection)
    std::deque<Pending> events_;
    size_t inFlight_ = 0;  // the first inFlight_ of events_ are sent and not yet acknowledged
    QMap<QString, QByteArray> discovery_;  // topic -> config
    QSet<QString> removals_;               // retained topics to be cleared
    QSet<QString> changed_;                // discovery configs new or changed
    QString refusal_;                      // the broker's reason for refusing the connection
    int lastAcked_ = -1;
    QVector<SensorInfo> sensors_;
    Clock::time_point nextAttempt_{};
    Clock::time_point connectDeadline_{};
    int backoffMs_ = 1000;
    bool outageTold_ = false;

    std::thread thread_;
};
