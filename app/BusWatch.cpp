#include "BusWatch.h"

void BusWatch::Connected() {
    watching_ = true;
    busLost_ = false;
    busBack_ = false;
    windowOpen_ = false;
    anyReading_ = false;
    emptyRequests_ = 0;
    readInWindow_.clear();
    missed_.clear();
    // Sensors silent before the bus went away stay silent until they answer.
}

bool BusWatch::Hangup() {
    if (!watching_ || busLost_) return false;
    busLost_ = true;
    windowOpen_ = false;
    return true;
}

void BusWatch::BusRestored() {
    Connected();
}

BusWatch::Verdict BusWatch::RequestSent(const QVector<int>& monitored) {
    Verdict v;
    if (watching_ && windowOpen_ && !busLost_) {
        if (!anyReading_) {
            if (++emptyRequests_ >= buswatch::kEmptyRequestsForBusLost) {
                busLost_ = true;
                v.busLost = true;
            }
        } else {
            emptyRequests_ = 0;
            // Only a request that others answered counts against a sensor that did not.
            QHash<int, int> missed;
            for (int code : monitored) {
                if (readInWindow_.contains(code)) continue;
                const int n = missed_.value(code) + 1;
                missed.insert(code, n);
                if (n >= buswatch::kMissedRequestsForSilence && !silent_.contains(code)) {
                    silent_.insert(code);
                    v.silenced.append(code);
                }
            }
            missed_ = missed;
            // Sensors no longer monitored are no longer silent.
            const QSet<int> now(monitored.begin(), monitored.end());
            for (auto it = silent_.begin(); it != silent_.end();)
                it = now.contains(*it) ? std::next(it) : silent_.erase(it);
        }
    }
    windowOpen_ = watching_ && !busLost_;
    anyReading_ = false;
    readInWindow_.clear();
    return v;
}

bool BusWatch::ReadingArrived(int code) {
    anyReading_ = true;
    if (busLost_ && watching_) busBack_ = true;
    if (code <= 0) return false;
    readInWindow_.insert(code);
    missed_.remove(code);
    return silent_.remove(code);
}

bool BusWatch::TakeBusBack() {
    if (!busBack_) return false;
    busBack_ = false;
    Connected();
    return true;
}
