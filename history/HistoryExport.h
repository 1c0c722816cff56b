// Writes the readings of a range to files an office program opens: an .xlsx workbook (times as
// date-time cells, temperatures as numbers; streamed row by row, so a year of one-minute
// readings takes little memory) and a CSV file (UTF-8 with a byte order mark, so that a
// spreadsheet program shows its Chinese intact). One row per reading, sensor by sensor, each
// in time order: 时间, 编号, ID, 位置, 温度(℃).
#pragma once

#include <QString>

#include "HistoryRange.h"

namespace history {

class HistoryExport {
  public:
    // Rows a worksheet holds below its heading; more readings continue on a further sheet.
    static constexpr qint64 kRowsPerSheet = 1048575;

    // Both return the number of readings written; throw HistoryError when the file cannot be
    // written.
    static qint64 WriteXlsx(const HistoryRange& range, const QString& path);
    static qint64 WriteCsv(const HistoryRange& range, const QString& path);

    // The headings of the five columns.
    static QStringList Headings();
    // A local time as the exports and the window write it.
    static QString TimeText(qint64 time);
};

}  // namespace history
