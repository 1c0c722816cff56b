// Reads the history file for the window on a read-only connection of its own: the file is in
// WAL mode, so reading never waits for the recorder's writes and never holds them up.
// Used from one thread (the window's reading thread); throws HistoryError when SQLite refuses.
#pragma once

#include <QString>
#include <map>
#include <vector>

#include "HistoryRange.h"
#include "SqliteConnection.h"

namespace history {

class HistoryReader {
  public:
    explicit HistoryReader(QString path) : path_(std::move(path)) {}

    // The sensors in the file and, of those among codes, the readings with from <= time < to,
    // their statistics and the episodes overlapping the range. An empty codes chooses the
    // sensor with the lowest number. Opens the file on first use (and again after a failure);
    // a missing file reads as an empty history.
    HistoryRange Load(std::vector<int> codes, qint64 from, qint64 to);

  private:
    struct Identity {
        HistorySensor last;       // the newest row of the number
        std::vector<qint64> ids;  // every row of the number
    };

    bool EnsureOpen();
    std::map<int, Identity> Sensors();

    QString path_;
    SqliteConnection db_;
};

}  // namespace history
