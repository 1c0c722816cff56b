// Owns the recorder's thread for the life of the station's events object: connects the
// announcements to the recorder, hands its trouble reports to the message board on the
// user-interface thread, and on the way out writes what is still collected and closes the file.
// Also opens the history window when the operator asks for a sensor's history: one window,
// made on the first request, raised and switched to the sensor on every further one.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <functional>

class QThread;
class StationEvents;

namespace history {

class HistoryRecorder;
class HistoryWindow;

class HistoryService : public QObject {
    Q_OBJECT
  public:
    HistoryService(StationEvents& events, const QString& historyPath, const QString& settingsPath,
                   std::function<void(QString)> boardLine);
    ~HistoryService() override;

  private:
    void ShowHistory(int code);

    QString historyPath_;
    QString settingsPath_;
    QPointer<HistoryWindow> window_;
    QThread* thread_ = nullptr;
    HistoryRecorder* recorder_ = nullptr;
    std::atomic<bool> finished_{false};
    std::function<void(QString)> boardLine_;
};

}  // namespace history
