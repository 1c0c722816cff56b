#include "HistoryRecorder.h"

#include <QDateTime>

#include "HistoryError.h"
#include "IniFile.h"

namespace history {

HistoryRecorder::HistoryRecorder(const QString& historyPath, const QString& settingsPath)
    : historyPath_(historyPath), settingsPath_(settingsPath) {}

HistoryRecorder::~HistoryRecorder() = default;

void HistoryRecorder::Start() {
    deadline_ = new QTimer(this);
    deadline_->setSingleShot(true);
    deadline_->setInterval(kMaxDelayMs);
    connect(deadline_, &QTimer::timeout, this, &HistoryRecorder::OnDeadline);
    removal_ = new QTimer(this);
    removal_->setSingleShot(true);
    removal_->setInterval(20);
    connect(removal_, &QTimer::timeout, this, &HistoryRecorder::RemoveStep);
    daily_ = new QTimer(this);
    daily_->setInterval(60 * 1000);
    connect(daily_, &QTimer::timeout, this, &HistoryRecorder::SealAndRetain);

    try {
        store_.Open(historyPath_);
    } catch (const HistoryError& e) {
        Report(reportedOpen_, QStringLiteral("历史记录文件 %1 无法打开（%2），本次运行不记录历史")
                                  .arg(historyPath_, e.Message()));
        return;
    }
    SealAndRetain();
    daily_->start();
}

void HistoryRecorder::Stop() {
    if (deadline_ == nullptr) return;
    for (const Announcement& announcement : TakeInbox()) Apply(announcement);
    deadline_->stop();
    daily_->stop();
    removal_->stop();
    Flush();
    store_.Close();
}

void HistoryRecorder::Report(bool& once, const QString& text) {
    if (once) return;
    once = true;
    emit Problem(text);
}

qint64 HistoryRecorder::IdOf(const SensorInfo& sensor) {
    const QString key =
        QString::number(sensor.code) + QChar(0x1f) + sensor.codeid + QChar(0x1f) + sensor.fix;
    auto it = sensors_.find(key);
    if (it != sensors_.end() && it->high == sensor.high && it->low == sensor.low) return it->id;
    const qint64 id =
        store_.SensorId(sensor.code, sensor.codeid, sensor.fix, sensor.high, sensor.low);
    sensors_.insert(key, {id, sensor.high, sensor.low});
    return id;
}

void HistoryRecorder::Deliver(const Announcement& announcement) {
    bool wake = false;
    {
        QMutexLocker lock(&inboxMutex_);
        inbox_.push_back(announcement);
        wake = !watching_ && !wakePosted_;
        if (wake) wakePosted_ = true;
    }
    if (wake) QMetaObject::invokeMethod(this, &HistoryRecorder::OnDelivered, Qt::QueuedConnection);
}

// Whoever takes announcements goes on watching the inbox (its deadline timer runs); an empty
// inbox ends the watch, and the next announcement wakes the thread again.
std::vector<HistoryRecorder::Announcement> HistoryRecorder::TakeInbox() {
    std::vector<Announcement> taken;
    QMutexLocker lock(&inboxMutex_);
    taken.swap(inbox_);
    wakePosted_ = false;
    watching_ = !taken.empty();
    return taken;
}

// The first announcement into an idle inbox. From here on the thread is not woken by what
// arrives: the deadline timer takes it all, once a second, for as long as announcements come.
void HistoryRecorder::OnDelivered() {
    const std::vector<Announcement> taken = TakeInbox();
    for (const Announcement& announcement : taken) Apply(announcement);
    if (!taken.empty() && !deadline_->isActive()) deadline_->start();
}

void HistoryRecorder::OnDeadline() {
    const std::vector<Announcement> taken = TakeInbox();
    for (const Announcement& announcement : taken) Apply(announcement);
    Flush();
    if (!taken.empty()) deadline_->start();
}

void HistoryRecorder::Apply(const Announcement& announcement) {
    switch (announcement.kind) {
        case Announcement::Reading:
            Record(announcement.reading);
            break;
        case Announcement::BusLost:
            OnBusLost(announcement.time);
            break;
        case Announcement::BusRestored:
            OnBusRestored(announcement.time);
            break;
        case Announcement::SensorSilent:
            OnSensorSilent(announcement.sensor, announcement.time);
            break;
        case Announcement::SensorBack:
            OnSensorBack(announcement.sensor, announcement.time);
            break;
    }
}

void HistoryRecorder::Record(const ReadingEvent& reading) {
    if (!store_.IsOpen()) return;
    qint64 sensor = 0;
    try {
        sensor = IdOf(reading.sensor);
    } catch (const HistoryError& e) {
        Report(reportedWrite_, QStringLiteral("历史记录写入失败（%1）").arg(e.Message()));
        return;
    }
    const qint64 time = epoch_.Seconds(reading.time);
    const qint64 temp = HistoryStore::ToSixteenths(reading.celsius);
    samples_.push_back({sensor, time, temp});

    // An excursion lasts from the first reading at or beyond a limit to the first one back
    // within the limits; its extreme is the farthest reading beyond the limit.
    const bool high = reading.state == ReadingState::High;
    const bool low = reading.state == ReadingState::Low;
    const auto key = std::make_pair(static_cast<int>(Alarm), sensor);
    auto it = open_.find(key);
    if (it != open_.end()) {
        Episode* e = it->second.get();
        const bool sameSide = (high && e->kind == EpisodeKind::AlarmHigh) ||
                              (low && e->kind == EpisodeKind::AlarmLow);
        if (sameSide) {
            if ((high && temp > e->extreme) || (low && temp < e->extreme)) {
                e->extreme = temp;
                MarkDirty(e);
            }
        } else {
            CloseEpisode(Alarm, sensor, time);
        }
    }
    if ((high || low) && open_.find(key) == open_.end())
        OpenEpisode(Alarm, sensor, high ? EpisodeKind::AlarmHigh : EpisodeKind::AlarmLow, time,
                    true, temp);
}

void HistoryRecorder::OnBusLost(const QDateTime& time) {
    if (!store_.IsOpen()) return;
    OpenEpisode(Bus, 0, EpisodeKind::BusLost, time.toSecsSinceEpoch(), false, 0);
}

void HistoryRecorder::OnBusRestored(const QDateTime& time) {
    if (!store_.IsOpen()) return;
    CloseEpisode(Bus, 0, time.toSecsSinceEpoch());
}

void HistoryRecorder::OnSensorSilent(const SensorInfo& sensor, const QDateTime& time) {
    if (!store_.IsOpen()) return;
    try {
        OpenEpisode(Silent, IdOf(sensor), EpisodeKind::SensorSilent, time.toSecsSinceEpoch(), false,
                    0);
    } catch (const HistoryError& e) {
        Report(reportedWrite_, QStringLiteral("历史记录写入失败（%1）").arg(e.Message()));
    }
}

void HistoryRecorder::OnSensorBack(const SensorInfo& sensor, const QDateTime& time) {
    if (!store_.IsOpen()) return;
    try {
        CloseEpisode(Silent, IdOf(sensor), time.toSecsSinceEpoch());
    } catch (const HistoryError& e) {
        Report(reportedWrite_, QStringLiteral("历史记录写入失败（%1）").arg(e.Message()));
    }
}

void HistoryRecorder::OpenEpisode(Category category, qint64 sensor, EpisodeKind kind,
                                  qint64 started, bool hasExtreme, qint64 extreme) {
    const auto key = std::make_pair(static_cast<int>(category), sensor);
    if (open_.count(key)) return;  // already lasting
    auto episode = std::make_unique<Episode>();
    episode->kind = kind;
    episode->sensor = sensor;
    episode->started = started;
    episode->hasExtreme = hasExtreme;
    episode->extreme = extreme;
    MarkDirty(episode.get());
    open_[key] = std::move(episode);
}

void HistoryRecorder::CloseEpisode(Category category, qint64 sensor, qint64 ended) {
    auto it = open_.find(std::make_pair(static_cast<int>(category), sensor));
    if (it == open_.end()) return;
    it->second->ended = std::max(ended, it->second->started);
    MarkDirty(it->second.get());
    closed_.push_back(std::move(it->second));
    open_.erase(it);
}

void HistoryRecorder::MarkDirty(Episode* episode) {
    if (std::find(dirty_.begin(), dirty_.end(), episode) == dirty_.end()) dirty_.push_back(episode);
}

// Writes what was applied. The deadline timer is left alone: while it runs it is what looks at
// the inbox.
void HistoryRecorder::Flush() {
    if (!store_.IsOpen() || (samples_.empty() && dirty_.empty())) return;
    try {
        const int refused = store_.Write(samples_, dirty_);
        if (refused > 0)
            Report(reportedClock_,
                   QStringLiteral("系统时间早于已封存的日期，%1 条读数未记入历史").arg(refused));
        dirty_.clear();
        closed_.clear();
    } catch (const HistoryError& e) {
        // The readings of this batch are lost; episodes stay to be written with the next one.
        Report(reportedWrite_, QStringLiteral("历史记录写入失败（%1）").arg(e.Message()));
    }
    samples_.clear();
}

int HistoryRecorder::KeptYears() const {
    bool ok = false;
    const int years = ini::Read(settingsPath_, QStringLiteral("history"), QStringLiteral("years"))
                          .trimmed()
                          .toInt(&ok);
    return ok && years > 0 ? years : kDefaultYears;
}

void HistoryRecorder::SealAndRetain() {
    if (!store_.IsOpen()) return;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const qint64 today = HistoryStore::DayStart(now);
    if (today == checkedDay_) return;
    Flush();
    try {
        store_.SealClosedDays(now);
        checkedDay_ = today;
    } catch (const HistoryError& e) {
        Report(reportedWrite_, QStringLiteral("历史记录写入失败（%1）").arg(e.Message()));
    }
    cutoff_ = HistoryStore::RetentionCutoff(QDate::currentDate(), KeptYears());
    removal_->start();
}

void HistoryRecorder::RemoveStep() {
    if (!store_.IsOpen()) return;
    try {
        if (store_.RemoveOlderThan(cutoff_, kRemoveRowsPerStep)) removal_->start();
    } catch (const HistoryError& e) {
        Report(reportedWrite_, QStringLiteral("历史记录写入失败（%1）").arg(e.Message()));
    }
}

}  // namespace history
