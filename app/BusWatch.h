// The station's judgement of its own view of the bus: whether the bus still answers, and which
// monitored sensors have gone silent. Plain bookkeeping, no window: the main window tells it
// what it sends and receives and acts on what it concludes.
//
// A read request opens a window that the next read request closes; what arrived in between is
// that request's answer. The thresholds:
//   - the bus is lost when kEmptyRequestsForBusLost requests in a row brought no reading from
//     any sensor (or at once, when the port reports that its device vanished);
//   - a monitored sensor is silent when kMissedRequestsForSilence requests in a row that other
//     sensors answered brought nothing from it; its next reading ends the silence;
//   - while the bus is lost, it is searched for again every kRediscoverySeconds.
#pragma once

#include <QHash>
#include <QSet>
#include <QVector>

namespace buswatch {

constexpr int kEmptyRequestsForBusLost = 2;
constexpr int kMissedRequestsForSilence = 3;
constexpr int kRediscoverySeconds = 30;

}  // namespace buswatch

class BusWatch {
  public:
    // What closing a request window concluded.
    struct Verdict {
        bool busLost = false;   // the bus has just been judged lost
        QVector<int> silenced;  // sensors (by number) that have just gone silent
    };

    // The bus answered a handshake: watching starts (again) with a clean slate.
    void Connected();
    // The port reported that its device vanished. True when this starts a lost episode.
    bool Hangup();
    // A read request goes out; closes the previous request's window and judges it against
    // the sensors monitored now (their numbers).
    Verdict RequestSent(const QVector<int>& monitored);
    // A reading arrived; code is the monitored sensor's number, 0 for a sensor that is not
    // monitored (it still shows that the bus answers). True when it ends a silence of that
    // sensor.
    bool ReadingArrived(int code);
    // True once if readings came back while the bus was judged lost with the port still open
    // (the bus answers again without a new discovery); the lost episode is then over.
    bool TakeBusBack();

    bool Watching() const { return watching_; }
    bool BusLost() const { return busLost_; }
    bool Silent(int code) const { return silent_.contains(code); }
    const QSet<int>& SilentSensors() const { return silent_; }
    // The bus is lost: episode over (a discovery found it again).
    void BusRestored();

  private:
    bool watching_ = false;  // a handshake has succeeded since the start
    bool busLost_ = false;
    bool windowOpen_ = false;  // a request went out and its window is still open
    bool anyReading_ = false;  // some reading arrived in the open window
    bool busBack_ = false;     // readings arrived while lost
    int emptyRequests_ = 0;    // consecutive closed windows without any reading
    QSet<int> readInWindow_;   // monitored sensors that answered in the open window
    QHash<int, int> missed_;   // consecutive answered windows each sensor missed
    QSet<int> silent_;
};
