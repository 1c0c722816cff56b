// Thinning a curve to the chart's pixel columns: no peak lost, order kept, at most two readings
// per column, the edges reached.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "ColumnReduction.h"

using history::HistoryPoint;
using history::ReduceToColumns;

namespace {

std::vector<HistoryPoint> Noise(qint64 start, qint64 step, int n, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<HistoryPoint> points;
    for (int i = 0; i < n; ++i)
        points.push_back({start + i * step, static_cast<double>(random() % 400) / 16.0 - 5.0});
    return points;
}

}  // namespace

TEST(ColumnReduction, EveryColumnKeepsItsLowestAndHighestReadingInTimeOrder) {
    // A year of one-minute readings on a chart 800 pixels wide.
    const qint64 start = 1'700'000'000;
    std::vector<HistoryPoint> points = Noise(start, 60, 525'600, 7);
    // One reading far above and one far below everything else: a peak of one minute.
    points[123'457].celsius = 85.0;
    points[400'001].celsius = -40.0;
    const qint64 to = start + 525'600 * 60;
    const int columns = 800;
    const auto kept = ReduceToColumns(points, start, to, columns);

    EXPECT_LE(kept.size(), 2u * columns);
    EXPECT_GE(kept.size(), static_cast<std::size_t>(columns));  // every column holds readings
    EXPECT_TRUE(std::is_sorted(
        kept.begin(), kept.end(),
        [](const HistoryPoint& a, const HistoryPoint& b) { return a.time < b.time; }));
    const auto has = [&](const HistoryPoint& p) {
        return std::any_of(kept.begin(), kept.end(), [&](const HistoryPoint& k) {
            return k.time == p.time && k.celsius == p.celsius;
        });
    };
    EXPECT_TRUE(has(points[123'457]));
    EXPECT_TRUE(has(points[400'001]));

    // Column by column, what is kept spans exactly the readings' extent in that column.
    std::vector<double> low(columns, 1e9), high(columns, -1e9), keptLow(columns, 1e9),
        keptHigh(columns, -1e9);
    const auto column = [&](qint64 t) {
        return static_cast<int>((t - start) * columns / (to - start));
    };
    for (const HistoryPoint& p : points) {
        low[column(p.time)] = std::min(low[column(p.time)], p.celsius);
        high[column(p.time)] = std::max(high[column(p.time)], p.celsius);
    }
    for (const HistoryPoint& p : kept) {
        keptLow[column(p.time)] = std::min(keptLow[column(p.time)], p.celsius);
        keptHigh[column(p.time)] = std::max(keptHigh[column(p.time)], p.celsius);
    }
    for (int c = 0; c < columns; ++c) {
        EXPECT_EQ(keptLow[c], low[c]) << "column " << c;
        EXPECT_EQ(keptHigh[c], high[c]) << "column " << c;
    }
}

TEST(ColumnReduction, FewerReadingsThanColumnsAreAllKeptAndTheNeighboursReachTheEdges) {
    const std::vector<HistoryPoint> points = Noise(1000, 600, 50, 3);
    // The window from the 10th to just before the 30th reading, on 400 columns.
    const qint64 from = points[10].time - 1;
    const qint64 to = points[29].time + 1;
    const auto kept = ReduceToColumns(points, from, to, 400);
    ASSERT_EQ(kept.size(), 22u);  // readings 10..29 and one neighbour on each side
    for (std::size_t i = 0; i < kept.size(); ++i) {
        EXPECT_EQ(kept[i].time, points[9 + i].time);
        EXPECT_EQ(kept[i].celsius, points[9 + i].celsius);
    }
}

TEST(ColumnReduction, EmptyAndOutOfRangeInputs) {
    EXPECT_TRUE(ReduceToColumns({}, 0, 1000, 100).empty());
    const std::vector<HistoryPoint> points = Noise(5000, 60, 10, 1);
    // A window after every reading: only the last reading, as the line's start.
    auto kept = ReduceToColumns(points, 10'000, 20'000, 100);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].time, points.back().time);
    // A window before every reading: only the first, as the line's end.
    kept = ReduceToColumns(points, 0, 1000, 100);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].time, points.front().time);
    // No columns: nothing inside the window is drawn.
    kept = ReduceToColumns(points, points[2].time, points[8].time, 0);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].time, points[1].time);
    EXPECT_EQ(kept[1].time, points[8].time);
}
