// Checks the seals of a history file: recomputes every sealed day's digest from the readings
// now in the file and compares it with the seal written when the day closed. One pass over the
// readings in key order, each reading going to its day's digest.
#pragma once

#include <QString>
#include <QStringList>

namespace history {

class HistoryVerifier {
  public:
    struct Result {
        bool opened = false;
        QString error;         // why the file could not be read
        int daysChecked = 0;   // sealed days looked at
        QStringList findings;  // one line per day changed, in plain words
        qint64 readings = 0;   // readings read
    };

    static Result Verify(const QString& path);
};

}  // namespace history
