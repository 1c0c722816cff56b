#include "HistoryService.h"

#include <QThread>

#include "HistoryRecorder.h"
#include "HistoryWindow.h"
#include "StationEvents.h"

namespace history {

HistoryService::HistoryService(StationEvents& events, const QString& historyPath,
                               const QString& settingsPath, std::function<void(QString)> boardLine)
    : QObject(&events),
      historyPath_(historyPath),
      settingsPath_(settingsPath),
      boardLine_(std::move(boardLine)) {
    thread_ = new QThread(this);
    thread_->setObjectName(QStringLiteral("history"));
    recorder_ = new HistoryRecorder(historyPath, settingsPath);
    recorder_->moveToThread(thread_);
    connect(thread_, &QThread::started, recorder_, &HistoryRecorder::Start);
    connect(recorder_, &HistoryRecorder::Problem, this, [this](const QString& text) {
        if (boardLine_) boardLine_(text);
    });
    // Announcements go straight into the recorder's inbox on the announcing thread, in order.
    using Announcement = HistoryRecorder::Announcement;
    HistoryRecorder* recorder = recorder_;
    const auto busChange = [recorder](Announcement::Kind kind) {
        return [recorder, kind](const QDateTime& time) {
            recorder->Deliver({kind, ReadingEvent(), SensorInfo(), time});
        };
    };
    const auto sensorChange = [recorder](Announcement::Kind kind) {
        return [recorder, kind](const SensorInfo& sensor, const QDateTime& time) {
            recorder->Deliver({kind, ReadingEvent(), sensor, time});
        };
    };
    connect(
        &events, &StationEvents::ReadingEvaluated, recorder_,
        [recorder](const ReadingEvent& reading) {
            recorder->Deliver({Announcement::Reading, reading, SensorInfo(), QDateTime()});
        },
        Qt::DirectConnection);
    connect(&events, &StationEvents::BusLost, recorder_, busChange(Announcement::BusLost),
            Qt::DirectConnection);
    connect(&events, &StationEvents::BusRestored, recorder_, busChange(Announcement::BusRestored),
            Qt::DirectConnection);
    connect(&events, &StationEvents::SensorSilent, recorder_,
            sensorChange(Announcement::SensorSilent), Qt::DirectConnection);
    connect(&events, &StationEvents::SensorBack, recorder_, sensorChange(Announcement::SensorBack),
            Qt::DirectConnection);
    connect(&events, &StationEvents::HistoryRequested, this, &HistoryService::ShowHistory);
    // The last thing the recorder's thread does; read after the wait at the end, it orders that
    // thread's work before the recorder's deletion for the thread checker, which does not see
    // inside Qt's wait for a thread.
    connect(
        thread_, &QThread::finished, recorder_,
        [this] { finished_.store(true, std::memory_order_release); }, Qt::DirectConnection);
    thread_->start();
}

void HistoryService::ShowHistory(int code) {
    // A window of its own beside the main window, never modal: monitoring goes on.
    if (!window_) window_ = new HistoryWindow(historyPath_, settingsPath_);
    window_->ShowSensor(code);
}

HistoryService::~HistoryService() {
    delete window_.data();
    // Everything announced before this point is queued ahead of the stop and still written.
    QMetaObject::invokeMethod(recorder_, &HistoryRecorder::Stop, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    finished_.load(std::memory_order_acquire);
    delete recorder_;
}

}  // namespace history
