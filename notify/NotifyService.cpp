#include "NotifyService.h"

#include <QDateTime>
#include <QPointer>

#include "MessageSender.h"
#include "MqttPublisher.h"
#include "Notice.h"

namespace {
QPointer<NotifyService> current;
}

NotifyService::NotifyService(StationEvents& events, QString settingsPath, QString databasePath,
                             std::function<void(QString)> boardLine, int repeatUnitMs)
    : QObject(&events),
      settingsPath_(std::move(settingsPath)),
      databasePath_(std::move(databasePath)),
      boardLine_(std::move(boardLine)),
      repeatUnitMs_(repeatUnitMs) {
    current = this;
    connect(&events, &StationEvents::ReadingEvaluated, this, &NotifyService::OnReading);
    connect(&events, &StationEvents::AlarmRecorded, this, &NotifyService::OnAlarmRecorded);
    connect(&events, &StationEvents::AlarmEnded, this, &NotifyService::OnAlarmEnded);
    connect(&events, &StationEvents::SensorSilent, this,
            [this](const SensorInfo& s, const QDateTime& t) { OnSensor(s, t, true); });
    connect(&events, &StationEvents::SensorBack, this,
            [this](const SensorInfo& s, const QDateTime& t) { OnSensor(s, t, false); });
    connect(&events, &StationEvents::BusLost, this,
            [this](const QDateTime& t) { OnBus(QStringLiteral("lost"), t); });
    connect(&events, &StationEvents::BusReconnecting, this,
            [this](const QDateTime& t) { OnBus(QStringLiteral("reconnecting"), t); });
    connect(&events, &StationEvents::BusRestored, this,
            [this](const QDateTime& t) { OnBus(QStringLiteral("ok"), t); });
    // Found without having been lost: the bus's state for those who watch it, no event.
    connect(&events, &StationEvents::BusConnected, this, [this](const QDateTime&) {
        busState_ = QStringLiteral("ok");
        if (publisher_) publisher_->SetBus(busState_);
    });
    connect(&events, &StationEvents::ScreenRefreshed, this, &NotifyService::OnScreenRefreshed);
    connect(&events, &StationEvents::RegisterChanged, this, [this] {
        if (publisher_) publisher_->ReloadSensors();
    });
    connect(&repeatTimer_, &QTimer::timeout, this, &NotifyService::RepeatDue);
    Configure();
}

NotifyService::~NotifyService() = default;

NotifyService* NotifyService::Current() {
    return current.data();
}

void NotifyService::Configure() {
    publisher_.reset();
    sender_.reset();
    repeatTimer_.stop();
    settings_ = NotifySettings::Load(settingsPath_);
    QPointer<NotifyService> self(this);
    if (settings_.MqttOn())
        publisher_ = std::make_unique<MqttPublisher>(settings_, databasePath_, [self](QString t) {
            QMetaObject::invokeMethod(
                self.data(),
                [self, t] {
                    if (self) self->BoardLine(t);
                },
                Qt::QueuedConnection);
        });
    // A publisher set up while the station runs starts from the bus state it already has.
    if (publisher_ && !busState_.isEmpty()) publisher_->SetBus(busState_);
    if (settings_.PeopleOn()) {
        sender_ = std::make_unique<MessageSender>(settings_, [self](const WayResult& r) {
            QMetaObject::invokeMethod(
                self.data(),
                [self, r] {
                    if (self) self->Report(r);
                },
                Qt::QueuedConnection);
        });
        if (settings_.repeatMinutes > 0) repeatTimer_.start(std::max(1, repeatUnitMs_ / 6));
    }
}

void NotifyService::BoardLine(const QString& text) {
    if (boardLine_) boardLine_(text);
}

void NotifyService::Report(const WayResult& r) {
    // One line when a way starts failing, one when it works again.
    const bool told = failing_.value(r.way, false);
    if (!r.ok && !told) {
        failing_[r.way] = true;
        BoardLine(QStringLiteral("远程通知：%1 发送失败：%2").arg(r.way, r.error));
    } else if (r.ok && told) {
        failing_[r.way] = false;
        BoardLine(QStringLiteral("远程通知：%1 发送恢复").arg(r.way));
    }
}

void NotifyService::Tell(const Notice& notice, bool toBroker) {
    if (toBroker && publisher_) publisher_->PublishEvent(notice);
    if (sender_) sender_->Send(notice);
}

void NotifyService::OnReading(const ReadingEvent& reading) {
    if (publisher_) publisher_->SetReading(reading);
    if (active_.isEmpty() && ended_.isEmpty()) return;
    const int code = reading.sensor.code;
    auto it = active_.find(code);
    if (it != active_.end()) {
        it->reading = reading;
        return;
    }
    // Out of range again while the earlier alarm is still on the screen: no new alarm is
    // recorded, but people are reminded of it as of an active one.
    const bool out = reading.state == ReadingState::High || reading.state == ReadingState::Low;
    if (out && ended_.remove(code))
        active_.insert(code, {reading, QDateTime::currentMSecsSinceEpoch()});
}

void NotifyService::OnAlarmRecorded(const ReadingEvent& reading) {
    ended_.remove(reading.sensor.code);
    active_.insert(reading.sensor.code, {reading, QDateTime::currentMSecsSinceEpoch()});
    Tell(Notice::FromReading(Notice::Kind::AlarmStarted, reading), true);
}

void NotifyService::OnAlarmEnded(const ReadingEvent& reading) {
    active_.remove(reading.sensor.code);
    ended_.insert(reading.sensor.code, reading);
    Tell(Notice::FromReading(Notice::Kind::AlarmEnded, reading), true);
}

void NotifyService::OnSensor(const SensorInfo& sensor, const QDateTime& time, bool silent) {
    if (publisher_) publisher_->SetSensorSilent(sensor, silent);
    Tell(Notice::FromSensor(silent ? Notice::Kind::SensorSilent : Notice::Kind::SensorBack, sensor,
                            time),
         true);
}

void NotifyService::OnBus(const QString& state, const QDateTime& time) {
    busState_ = state;
    if (publisher_) publisher_->SetBus(state);
    if (state == QStringLiteral("lost"))
        Tell(Notice::Plain(Notice::Kind::BusLost, time), true);
    else if (state == QStringLiteral("ok"))
        Tell(Notice::Plain(Notice::Kind::BusRestored, time), true);
}

void NotifyService::OnScreenRefreshed(const QDateTime& time) {
    active_.clear();
    ended_.clear();
    Tell(Notice::Plain(Notice::Kind::ScreenRefreshed, time), true);
}

void NotifyService::RepeatDue() {
    if (!sender_ || settings_.repeatMinutes <= 0) return;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 every = static_cast<qint64>(settings_.repeatMinutes) * repeatUnitMs_;
    for (auto it = active_.begin(); it != active_.end(); ++it) {
        if (now - it->lastToldMs < every) continue;
        it->lastToldMs = now;
        Notice n = Notice::FromReading(Notice::Kind::AlarmRepeated, it->reading);
        n.time = QDateTime::currentDateTime();
        sender_->Send(n);
    }
}
