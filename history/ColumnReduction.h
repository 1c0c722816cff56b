// Thins a curve to what a chart of a given width can show without losing a peak: the time
// span is cut into one slot per pixel column, and of the readings in a slot only the lowest
// and the highest are kept, in their time order. The line drawn through what is kept covers
// the same pixels as the line through every reading.
#pragma once

#include <vector>

#include "HistoryRange.h"

namespace history {

// points in time order. Keeps the readings with from <= time < to, reduced to at most two per
// column, plus the last reading before from and the first at or after to (so that the line
// reaches the edges of the chart). With columns < 1 nothing but those neighbours is kept.
std::vector<HistoryPoint> ReduceToColumns(const std::vector<HistoryPoint>& points, qint64 from,
                                          qint64 to, int columns);

}  // namespace history
