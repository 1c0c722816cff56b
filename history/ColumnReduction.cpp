#include "ColumnReduction.h"

#include <algorithm>

namespace history {

std::vector<HistoryPoint> ReduceToColumns(const std::vector<HistoryPoint>& points, qint64 from,
                                          qint64 to, int columns) {
    std::vector<HistoryPoint> out;
    const auto byTime = [](const HistoryPoint& p, qint64 t) { return p.time < t; };
    const auto first = std::lower_bound(points.begin(), points.end(), from, byTime);
    const auto last = std::lower_bound(first, points.end(), to, byTime);
    if (first != points.begin()) out.push_back(*(first - 1));
    const qint64 span = to - from;
    if (columns >= 1 && span > 0 && first != last) {
        out.reserve(out.size() + std::min<std::size_t>(last - first, 2 * columns) + 1);
        auto slotOf = [&](qint64 t) { return (t - from) * columns / span; };
        auto it = first;
        while (it != last) {
            const qint64 slot = slotOf(it->time);
            auto low = it;
            auto high = it;
            for (++it; it != last && slotOf(it->time) == slot; ++it) {
                if (it->celsius < low->celsius) low = it;
                if (it->celsius > high->celsius) high = it;
            }
            if (low == high) {
                out.push_back(*low);
            } else if (low < high) {
                out.push_back(*low);
                out.push_back(*high);
            } else {
                out.push_back(*high);
                out.push_back(*low);
            }
        }
    }
    if (last != points.end()) out.push_back(*last);
    return out;
}

}  // namespace history
