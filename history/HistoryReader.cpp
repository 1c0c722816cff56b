#include "HistoryReader.h"

#include <QFileInfo>
#include <algorithm>
#include <limits>

#include "HistoryError.h"
#include "SqliteStatement.h"

namespace history {

bool HistoryReader::EnsureOpen() {
    if (db_.IsOpen()) return true;
    if (!QFileInfo::exists(path_)) return false;
    db_.Open(path_, SqliteConnection::Mode::ReadOnly);
    return true;
}

std::map<int, HistoryReader::Identity> HistoryReader::Sensors() {
    std::map<int, Identity> out;
    SqliteStatement st(db_, "SELECT id, code, codeid, fix, high, low FROM sensor ORDER BY id");
    while (st.Step()) {
        Identity& entry = out[static_cast<int>(st.Int(1))];
        entry.ids.push_back(st.Int(0));
        // Earlier stations named a silent sensor by its number and location only; such an
        // identity does not take the place of one that has the ID and the limits.
        const QString codeid = st.Text(2).trimmed();
        if (codeid.isEmpty() && entry.ids.size() > 1 && !entry.last.codeid.isEmpty()) continue;
        entry.last = {static_cast<int>(st.Int(1)), codeid, st.Text(3).trimmed(), st.Real(4),
                      st.Real(5)};
    }
    return out;
}

HistoryRange HistoryReader::Load(std::vector<int> codes, qint64 from, qint64 to) {
    HistoryRange range;
    range.from = from;
    range.to = to;
    try {
        if (!EnsureOpen()) return range;
        const std::map<int, Identity> sensors = Sensors();
        for (const auto& [code, identity] : sensors) range.sensors.push_back(identity.last);
        if (codes.empty() && !sensors.empty()) codes.push_back(sensors.begin()->first);
        std::sort(codes.begin(), codes.end());
        codes.erase(std::unique(codes.begin(), codes.end()), codes.end());

        // Key order (sensor, time): one range scan per recorded identity of the number.
        SqliteStatement rows(db_,
                             "SELECT time, temp FROM sample WHERE sensor = ?1 AND time >= ?2 "
                             "AND time < ?3");
        for (const int code : codes) {
            const auto found = sensors.find(code);
            if (found == sensors.end()) continue;
            SensorSeries series;
            series.code = code;
            series.codeid = found->second.last.codeid;
            series.fix = found->second.last.fix;
            series.high = found->second.last.high;
            series.low = found->second.last.low;
            for (const qint64 id : found->second.ids) {
                rows.Bind(1, id).Bind(2, from).Bind(3, to);
                while (rows.Step())
                    series.points.push_back({rows.Int(0), static_cast<double>(rows.Int(1)) / 16.0});
                rows.Reset();
            }
            if (found->second.ids.size() > 1)
                std::stable_sort(
                    series.points.begin(), series.points.end(),
                    [](const HistoryPoint& a, const HistoryPoint& b) { return a.time < b.time; });
            if (!series.points.empty()) {
                double sum = 0;
                series.min = std::numeric_limits<double>::max();
                series.max = std::numeric_limits<double>::lowest();
                for (const HistoryPoint& p : series.points) {
                    series.min = std::min(series.min, p.celsius);
                    series.max = std::max(series.max, p.celsius);
                    sum += p.celsius;
                }
                series.mean = sum / static_cast<double>(series.points.size());
            }
            range.series.push_back(std::move(series));
        }

        SqliteStatement episodes(db_,
                                 "SELECT e.kind, n.code, e.started, e.ended, e.extreme FROM "
                                 "episode e LEFT JOIN sensor n ON n.id = e.sensor "
                                 "WHERE e.started < ?2 AND (e.ended IS NULL OR e.ended >= ?1) "
                                 "ORDER BY e.started");
        episodes.Bind(1, from).Bind(2, to);
        while (episodes.Step()) {
            HistoryEpisode e;
            e.kind = static_cast<EpisodeKind>(episodes.Int(0));
            e.code = episodes.IsNull(1) ? 0 : static_cast<int>(episodes.Int(1));
            if (e.code != 0 && !std::binary_search(codes.begin(), codes.end(), e.code)) continue;
            e.started = episodes.Int(2);
            e.ended = episodes.IsNull(3) ? 0 : episodes.Int(3);
            e.hasExtreme = !episodes.IsNull(4);
            e.extreme = static_cast<double>(episodes.Int(4)) / 16.0;
            range.episodes.push_back(e);
        }
    } catch (const HistoryError&) {
        db_.Close();  // opened afresh on the next request
        throw;
    }
    return range;
}

}  // namespace history
