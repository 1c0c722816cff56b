// Answers the station's modal message boxes the way an operator would, for widget tests:
// every box that comes up is recorded (its text) and answered with the next queued button,
// or with the box's default/escape button when nothing is queued. Watchers may be nested:
// every live watcher records each box, and the newest one answers it (from its own queue,
// else from the queue of the next older watcher that has an answer).
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <vector>

class MessageBoxWatcher : public QObject {
    Q_OBJECT
  public:
    MessageBoxWatcher();
    ~MessageBoxWatcher() override;

    // Queue the answer for the next box (QMessageBox::Yes, No, Ok ...).
    void Answer(QMessageBox::StandardButton button) { answers_.push_back(button); }

    const QStringList& Texts() const { return texts_; }
    QStringList Captions() const { return captions_; }
    void Clear() {
        texts_.clear();
        captions_.clear();
    }

  private:
    void Poll();
    static std::vector<MessageBoxWatcher*>& Live();
    QTimer timer_;
    std::deque<QMessageBox::StandardButton> answers_;
    QStringList texts_;
    QStringList captions_;
};
