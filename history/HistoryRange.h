// What the history window shows of one time range: the chosen sensors' readings at full
// resolution with their statistics, and the episodes that overlap the range. Filled by
// HistoryReader on the window's reading thread and read, unchanged, by the window and the
// exports.
#pragma once

#include <QString>
#include <QtGlobal>
#include <vector>

#include "HistoryStore.h"

namespace history {

struct HistoryPoint {
    qint64 time = 0;  // seconds since 1970 UTC
    double celsius = 0;
};

struct SensorSeries {
    int code = 0;
    QString codeid;                    // as last recorded
    QString fix;                       // location as last recorded
    double high = 0;                   // 0 = no limit
    double low = 0;                    // 0 = no limit
    std::vector<HistoryPoint> points;  // in time order
    // Over the range; meaningful only when points is not empty.
    double min = 0;
    double max = 0;
    double mean = 0;
};

struct HistoryEpisode {
    EpisodeKind kind = EpisodeKind::BusLost;
    int code = 0;  // 0 for the bus
    qint64 started = 0;
    qint64 ended = 0;  // 0 while it lasts
    bool hasExtreme = false;
    double extreme = 0;  // °C
};

// A sensor the history file knows, under the identity it was last recorded with.
struct HistorySensor {
    int code = 0;
    QString codeid;
    QString fix;
    double high = 0;
    double low = 0;
};

struct HistoryRange {
    qint64 from = 0;                       // first second of the range
    qint64 to = 0;                         // first second after it
    std::vector<HistorySensor> sensors;    // every sensor in the file, by number
    std::vector<SensorSeries> series;      // the chosen ones, by number
    std::vector<HistoryEpisode> episodes;  // of the bus and of the chosen sensors, by start
    qint64 Readings() const {
        qint64 n = 0;
        for (const SensorSeries& s : series) n += static_cast<qint64>(s.points.size());
        return n;
    }
};

}  // namespace history
