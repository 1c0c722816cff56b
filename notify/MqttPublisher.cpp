#include "MqttPublisher.h"

#include <mosquitto.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "RegisteredSensors.h"

namespace {

constexpr int kKeepAliveS = 30;
constexpr int kWindow = 16;  // events sent ahead of their acknowledgement
constexpr int kLoopMs = 50;  // longest wait of the network loop
constexpr int kConnectTimeoutMs = 15000;
constexpr int kMaxBackoffMs = 10000;
const char* const kDiscoveryPrefix = "homeassistant";

void LibraryInit() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QString ErrorText(int rc) {
    if (rc == MOSQ_ERR_ERRNO) return QString::fromLocal8Bit(std::strerror(errno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

QString NodeOf(const QString& prefix) {
    static const QRegularExpression other(QStringLiteral("[^A-Za-z0-9_-]"));
    QString n = prefix;
    n.replace(other, QStringLiteral("_"));
    return n;
}

QByteArray Compact(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

// A client with the station's credentials, TLS and (when will is set) last will; nullptr with
// error set when the library refuses one of them.
mosquitto* NewClient(const NotifySettings& s, const QString& prefix, void* user, bool will,
                     QString* error) {
    LibraryInit();
    const QByteArray id = (QStringLiteral("sensorbus-") + NodeOf(prefix) + QLatin1Char('-') +
                           QString::number(QRandomGenerator::global()->generate(), 16))
                              .left(64)
                              .toUtf8();
    mosquitto* m = mosquitto_new(id.constData(), true, user);
    if (!m) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    int rc = MOSQ_ERR_SUCCESS;
    mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (!s.username.isEmpty())
        rc = mosquitto_username_pw_set(
            m, s.username.toUtf8().constData(),
            s.password.isEmpty() ? nullptr : s.password.toUtf8().constData());
    if (rc == MOSQ_ERR_SUCCESS && will) {
        const QByteArray topic = (prefix + QStringLiteral("/status")).toUtf8();
        rc = mosquitto_will_set(m, topic.constData(), 7, "offline", 1, true);
    }
    if (rc == MOSQ_ERR_SUCCESS && s.tls && !s.HostIsSocket()) {
        const QByteArray ca = s.cafile.toLocal8Bit();
        rc =
            mosquitto_tls_set(m, ca.isEmpty() ? nullptr : ca.constData(),
                              ca.isEmpty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
        if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_tls_insecure_set(m, false);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        *error = ErrorText(rc);
        mosquitto_destroy(m);
        return nullptr;
    }
    return m;
}

// A broker's Unix socket is reached with its path as the host and port 0.
int PortOf(const NotifySettings& s) {
    return s.HostIsSocket() ? 0 : s.port;
}

}  // namespace

MqttPublisher::MqttPublisher(NotifySettings settings, QString databasePath,
                             std::function<void(QString)> problem)
    : settings_(std::move(settings)),
      databasePath_(std::move(databasePath)),
      problem_(std::move(problem)),
      prefix_(settings_.EffectivePrefix()),
      node_(NodeOf(prefix_)) {
    LibraryInit();
    thread_ = std::thread([this] { Run(); });
}

MqttPublisher::~MqttPublisher() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void MqttPublisher::SetReading(const ReadingEvent& reading) {
    std::lock_guard<std::mutex> lock(mutex_);
    readings_.insert(reading.sensor.code, reading);
    dirty_.insert(reading.sensor.code);
}

void MqttPublisher::SetSensorSilent(const SensorInfo& sensor, bool silent) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (silent) {
        silent_.insert(sensor.code);
        if (!readings_.contains(sensor.code)) {
            ReadingEvent r;
            r.sensor = sensor;
            r.time = QDateTime::currentDateTime();
            r.celsius = std::nan("");
            readings_.insert(sensor.code, r);
        }
    } else {
        silent_.remove(sensor.code);
    }
    dirty_.insert(sensor.code);
}

void MqttPublisher::SetBus(const QString& state) {
    std::lock_guard<std::mutex> lock(mutex_);
    bus_ = state;
    busDirty_ = true;
}

void MqttPublisher::PublishEvent(const Notice& notice) {
    Pending p;
    QJsonObject o = notice.Json(settings_.StationName());
    // Numbers the station's events from 1 for as long as it runs. An event sent again after a
    // connection broke before the broker's acknowledgement came keeps its number, so that a
    // subscriber can drop what it already has.
    o[QStringLiteral("seq")] = static_cast<qint64>(++eventSeq_);
    p.payload = Compact(o);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (static_cast<int>(incoming_.size()) >= kEventCapacity) {
            incoming_.pop_front();
            ++dropped_;
        }
        incoming_.push_back(std::move(p));
    }
    wake_.notify_one();
}

void MqttPublisher::ReloadSensors() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        reload_ = true;
    }
    wake_.notify_one();
}

int MqttPublisher::WaitingEvents() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(incoming_.size()) + waitingOnThread_;
}

int MqttPublisher::DroppedEvents() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

QString MqttPublisher::LastError() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastError_;
}

void MqttPublisher::Run() {
    for (;;) {
        bool reload = false;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (stop_) break;
            reload = reload_;
            reload_ = false;
            // Take over the events waiting; the bound holds over both queues together.
            while (!incoming_.empty()) {
                events_.push_back(std::move(incoming_.front()));
                incoming_.pop_front();
            }
            while (static_cast<int>(events_.size()) > kEventCapacity &&
                   events_.size() > inFlight_) {
                events_.erase(events_.begin() + static_cast<long>(inFlight_));
                ++dropped_;
            }
            waitingOnThread_ = static_cast<int>(events_.size());
        }
        if (reload) LoadDiscovery();

        if (!mosq_ && Clock::now() >= nextAttempt_) StartConnection();
        if (mosq_ && !connected_ && Clock::now() >= connectDeadline_)
            DropConnection(QStringLiteral("连接超时"));
        if (connected_) Flush();
        if (mosq_) {
            const int rc = mosquitto_loop(mosq_, kLoopMs, 1);
            if (rc != MOSQ_ERR_SUCCESS) DropConnection(ErrorText(rc));
        } else {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(kLoopMs),
                           [this] { return stop_ || reload_; });
        }
    }

    // Clean stop: the station is seen going, not dying.
    if (mosq_ && connected_) {
        int mid = 0;
        const QByteArray topic = (prefix_ + QStringLiteral("/status")).toUtf8();
        mosquitto_publish(mosq_, &mid, topic.constData(), 7, "offline", 1, true);
        const auto until = Clock::now() + std::chrono::milliseconds(1000);
        lastAcked_ = -1;
        while (Clock::now() < until && lastAcked_ != mid &&
               mosquitto_loop(mosq_, kLoopMs, 1) == MOSQ_ERR_SUCCESS) {
        }
        mosquitto_disconnect(mosq_);
        mosquitto_loop(mosq_, kLoopMs, 1);
    }
    if (mosq_) mosquitto_destroy(mosq_);
    mosq_ = nullptr;
    connected_ = false;
}

void MqttPublisher::StartConnection() {
    QString error;
    mosq_ = NewClient(settings_, prefix_, this, true, &error);
    if (mosq_) {
        mosquitto_connect_callback_set(mosq_, &MqttPublisher::OnConnect);
        mosquitto_disconnect_callback_set(mosq_, &MqttPublisher::OnDisconnect);
        mosquitto_publish_callback_set(mosq_, &MqttPublisher::OnPublish);
        const int rc = mosquitto_connect_async(mosq_, settings_.host.toUtf8().constData(),
                                               PortOf(settings_), kKeepAliveS);
        if (rc == MOSQ_ERR_SUCCESS) {
            connectDeadline_ = Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
            return;
        }
        error = ErrorText(rc);
    }
    DropConnection(error);
}

void MqttPublisher::DropConnection(const QString& reason) {
    const QString why = refusal_.isEmpty() ? reason : refusal_;
    refusal_.clear();
    if (mosq_) mosquitto_destroy(mosq_);
    mosq_ = nullptr;
    connected_ = false;
    // What was sent and not acknowledged goes again, in its place, on the next connection.
    inFlight_ = 0;
    for (Pending& p : events_) p.mid = -1;
    nextAttempt_ = Clock::now() + std::chrono::milliseconds(backoffMs_);
    backoffMs_ = std::min(backoffMs_ * 2, kMaxBackoffMs);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lastError_ = why;
    }
    if (!outageTold_) {
        outageTold_ = true;
        if (problem_)
            problem_(QStringLiteral("远程通知：无法连接消息服务器 %1（%2），事件将在连接后补发")
                         .arg(settings_.host, why));
    }
}

void MqttPublisher::OnConnect(mosquitto*, void* self, int rc) {
    auto* p = static_cast<MqttPublisher*>(self);
    if (rc != 0) {
        // Refused (bad credentials, not authorised): the loop sees the connection end.
        p->refusal_ = QString::fromUtf8(mosquitto_connack_string(rc));
        return;
    }
    p->connected_ = true;
    p->backoffMs_ = 1000;
    p->everyThing_ = true;
    {
        std::lock_guard<std::mutex> lock(p->mutex_);
        p->lastError_.clear();
    }
    if (p->outageTold_) {
        p->outageTold_ = false;
        if (p->problem_)
            p->problem_(QStringLiteral("远程通知：已连接消息服务器 %1").arg(p->settings_.host));
    }
}

void MqttPublisher::OnDisconnect(mosquitto*, void* self, int) {
    static_cast<MqttPublisher*>(self)->connected_ = false;
}

void MqttPublisher::OnPublish(mosquitto*, void* self, int mid) {
    auto* p = static_cast<MqttPublisher*>(self);
    p->lastAcked_ = mid;
    for (size_t i = 0; i < p->inFlight_; ++i) {
        if (p->events_[i].mid == mid) {
            p->events_.erase(p->events_.begin() + static_cast<long>(i));
            --p->inFlight_;
            break;
        }
    }
}

void MqttPublisher::PublishRetained(const QString& topic, const QByteArray& payload) {
    const QByteArray t = topic.toUtf8();
    mosquitto_publish(mosq_, nullptr, t.constData(), static_cast<int>(payload.size()),
                      payload.constData(), 1, true);
}

QByteArray MqttPublisher::SensorPayload(int code) const {
    // Called with mutex_ held.
    const ReadingEvent r = readings_.value(code);
    QJsonObject o;
    o[QStringLiteral("number")] = r.sensor.code;
    o[QStringLiteral("id")] = r.sensor.codeid;
    o[QStringLiteral("location")] = r.sensor.fix.trimmed();
    o[QStringLiteral("celsius")] =
        std::isnan(r.celsius) ? QJsonValue(QJsonValue::Null) : QJsonValue(r.celsius);
    o[QStringLiteral("time")] = IsoTime(r.time);
    o[QStringLiteral("state")] =
        silent_.contains(code) ? QStringLiteral("silent") : StateName(r.state);
    o[QStringLiteral("high")] = LimitValue(r.sensor.high);
    o[QStringLiteral("low")] = LimitValue(r.sensor.low);
    return Compact(o);
}

void MqttPublisher::Flush() {
    // Retained states: everything after a connection, otherwise what changed.
    QVector<QPair<QString, QByteArray>> retained;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (everyThing_) {
            for (auto it = readings_.cbegin(); it != readings_.cend(); ++it)
                dirty_.insert(it.key());
            busDirty_ = !bus_.isEmpty();
        }
        for (int code : std::as_const(dirty_))
            if (readings_.contains(code))
                retained.append({prefix_ + QStringLiteral("/sensor/") + QString::number(code),
                                 SensorPayload(code)});
        dirty_.clear();
        if (busDirty_) retained.append({prefix_ + QStringLiteral("/bus"), bus_.toUtf8()});
        busDirty_ = false;
    }
    if (everyThing_) {
        everyThing_ = false;
        PublishRetained(prefix_ + QStringLiteral("/status"), QByteArrayLiteral("online"));
        for (auto it = discovery_.cbegin(); it != discovery_.cend(); ++it)
            PublishRetained(it.key(), it.value());
        changed_.clear();
    }
    for (const QString& topic : std::as_const(changed_))
        PublishRetained(topic, discovery_.value(topic));
    changed_.clear();
    for (const QString& topic : std::as_const(removals_)) PublishRetained(topic, QByteArray());
    removals_.clear();
    for (const auto& [topic, payload] : std::as_const(retained)) PublishRetained(topic, payload);

    // Events, in order, a few ahead of their acknowledgements.
    const QByteArray topic = (prefix_ + QStringLiteral("/event")).toUtf8();
    while (inFlight_ < events_.size() && inFlight_ < static_cast<size_t>(kWindow)) {
        Pending& p = events_[inFlight_];
        int mid = 0;
        const int rc =
            mosquitto_publish(mosq_, &mid, topic.constData(), static_cast<int>(p.payload.size()),
                              p.payload.constData(), 1, false);
        if (rc != MOSQ_ERR_SUCCESS) break;
        p.mid = mid;
        ++inFlight_;
    }
}

void MqttPublisher::LoadDiscovery() {
    if (databasePath_.isEmpty()) return;
    QVector<SensorInfo> sensors;
    QString error;
    if (!RegisteredSensors::Load(databasePath_, &sensors, &error)) {
        std::lock_guard<std::mutex> lock(mutex_);
        lastError_ = error;
        return;
    }
    const QString station = settings_.StationName();
    QJsonObject device;
    device[QStringLiteral("identifiers")] = QJsonArray{node_};
    device[QStringLiteral("name")] = station;
    const QString status = prefix_ + QStringLiteral("/status");

    QMap<QString, QByteArray> configs;
    QSet<int> codes;
    for (const SensorInfo& s : std::as_const(sensors)) {
        codes.insert(s.code);
        const QString state = prefix_ + QStringLiteral("/sensor/") + QString::number(s.code);
        const QString name = s.fix.isEmpty() ? QStringLiteral("%1号").arg(s.code) : s.fix;

        QJsonObject t;
        t[QStringLiteral("name")] = name;
        t[QStringLiteral("unique_id")] = QStringLiteral("%1_%2_temperature").arg(node_).arg(s.code);
        t[QStringLiteral("object_id")] = QStringLiteral("%1_%2_temperature").arg(node_).arg(s.code);
        t[QStringLiteral("device_class")] = QStringLiteral("temperature");
        t[QStringLiteral("state_class")] = QStringLiteral("measurement");
        t[QStringLiteral("unit_of_measurement")] = QStringLiteral("°C");
        t[QStringLiteral("state_topic")] = state;
        t[QStringLiteral("value_template")] = QStringLiteral("{{ value_json.celsius }}");
        t[QStringLiteral("json_attributes_topic")] = state;
        t[QStringLiteral("availability_topic")] = status;
        t[QStringLiteral("payload_available")] = QStringLiteral("online");
        t[QStringLiteral("payload_not_available")] = QStringLiteral("offline");
        t[QStringLiteral("device")] = device;
        configs.insert(QStringLiteral("%1/sensor/%2/sensor%3/config")
                           .arg(QString::fromLatin1(kDiscoveryPrefix), node_)
                           .arg(s.code),
                       Compact(t));

        QJsonObject a;
        a[QStringLiteral("name")] = name + QStringLiteral(" 报警");
        a[QStringLiteral("unique_id")] = QStringLiteral("%1_%2_alarm").arg(node_).arg(s.code);
        a[QStringLiteral("object_id")] = QStringLiteral("%1_%2_alarm").arg(node_).arg(s.code);
        a[QStringLiteral("device_class")] = QStringLiteral("problem");
        a[QStringLiteral("state_topic")] = state;
        a[QStringLiteral("value_template")] =
            QStringLiteral("{{ 'ON' if value_json.state in ['high', 'low'] else 'OFF' }}");
        a[QStringLiteral("availability_topic")] = status;
        a[QStringLiteral("payload_available")] = QStringLiteral("online");
        a[QStringLiteral("payload_not_available")] = QStringLiteral("offline");
        a[QStringLiteral("device")] = device;
        configs.insert(QStringLiteral("%1/binary_sensor/%2/alarm%3/config")
                           .arg(QString::fromLatin1(kDiscoveryPrefix), node_)
                           .arg(s.code),
                       Compact(a));
    }
    // Sensors that left the register leave the dashboard and lose their retained state.
    for (auto it = discovery_.cbegin(); it != discovery_.cend(); ++it)
        if (!configs.contains(it.key())) removals_.insert(it.key());
    for (const SensorInfo& s : std::as_const(sensors_))
        if (!codes.contains(s.code))
            removals_.insert(prefix_ + QStringLiteral("/sensor/") + QString::number(s.code));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const SensorInfo& s : std::as_const(sensors_))
            if (!codes.contains(s.code)) {
                readings_.remove(s.code);
                silent_.remove(s.code);
                dirty_.remove(s.code);
            }
    }
    // A changed or new config goes out; an unchanged one is left as the broker keeps it.
    for (auto it = configs.cbegin(); it != configs.cend(); ++it)
        if (discovery_.value(it.key()) != it.value()) changed_.insert(it.key());
    discovery_ = configs;
    sensors_ = sensors;
}

bool MqttPublisher::SendOnce(const NotifySettings& settings, const QByteArray& payload,
                             QString* error, int timeoutMs) {
    struct State {
        int connack = -1;
        int acked = -2;
        bool gone = false;
    } state;
    QString e;
    mosquitto* m = NewClient(settings, settings.EffectivePrefix(), &state, false, &e);
    if (!m) {
        if (error) *error = e;
        return false;
    }
    mosquitto_connect_callback_set(
        m, [](mosquitto*, void* u, int rc) { static_cast<State*>(u)->connack = rc; });
    mosquitto_disconnect_callback_set(
        m, [](mosquitto*, void* u, int) { static_cast<State*>(u)->gone = true; });
    mosquitto_publish_callback_set(
        m, [](mosquitto*, void* u, int mid) { static_cast<State*>(u)->acked = mid; });
    int rc = mosquitto_connect_async(m, settings.host.toUtf8().constData(), PortOf(settings),
                                     kKeepAliveS);
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool ok = false;
    int mid = -1;
    bool sent = false;
    while (rc == MOSQ_ERR_SUCCESS && Clock::now() < until) {
        rc = mosquitto_loop(m, kLoopMs, 1);
        if (state.connack > 0) {
            e = QString::fromUtf8(mosquitto_connack_string(state.connack));
            break;
        }
        if (state.connack == 0 && !sent) {
            const QByteArray topic =
                (settings.EffectivePrefix() + QStringLiteral("/event")).toUtf8();
            rc = mosquitto_publish(m, &mid, topic.constData(), static_cast<int>(payload.size()),
                                   payload.constData(), 1, false);
            sent = true;
        }
        if (sent && state.acked == mid) {
            ok = true;
            break;
        }
    }
    if (!ok && e.isEmpty())
        e = rc != MOSQ_ERR_SUCCESS ? ErrorText(rc) : QStringLiteral("等待服务器应答超时");
    if (state.connack == 0) {
        mosquitto_disconnect(m);
        mosquitto_loop(m, kLoopMs, 1);
    }
    mosquitto_destroy(m);
    if (!ok && error) *error = e;
    return ok;
}
