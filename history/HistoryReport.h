// The one-page report of a range as a PDF file: the station's title, the range, the chart as
// the window shows it, each sensor's minimum, maximum and mean, the episodes (as many as the
// page holds, then how many more there were) and the time of printing.
#pragma once

#include <QDateTime>
#include <QString>

#include "HistoryRange.h"

class QGraphicsView;

namespace history {

class HistoryReport {
  public:
    // Throws HistoryError when the file cannot be written.
    static void WritePdf(const QString& path, const QString& stationTitle,
                         const HistoryRange& range, QGraphicsView& chart,
                         const QDateTime& printedAt);

    // An episode in one line of plain words, as the report and the window list it.
    static QString EpisodeText(const HistoryEpisode& episode, const HistoryRange& range);
    static QString KindText(EpisodeKind kind);
};

}  // namespace history
