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
    // Readings go straight into the recorder's inbox on the announcing thread.
    connect(
        &events, &StationEvents::ReadingEvaluated, recorder_,
        [recorder = recorder_](const ReadingEvent& reading) { recorder->Deliver(reading); },
        Qt::DirectConnection);
    connect(&events, &StationEvents::BusLost, recorder_, &HistoryRecorder::OnBusLost);
    connect(&events, &StationEvents::BusRestored, recorder_, &HistoryRecorder::OnBusRestored);
    connect(&events, &StationEvents::SensorSilent, recorder_, &HistoryRecorder::OnSensorSilent);
    connect(&events, &StationEvents::SensorBack, recorder_, &HistoryRecorder::OnSensorBack);
    connect(&events, &StationEvents::HistoryRequested, this, &HistoryService::ShowHistory);
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
    delete recorder_;
}

}  // namespace history
