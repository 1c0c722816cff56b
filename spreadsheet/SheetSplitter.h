// Spreads a long table over several worksheets so that each fits the row limit of the format.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include "SheetData.h"

namespace sheetsplitter {
// Data rows per sheet: the header row plus these fill the 65,536 rows of a worksheet.
constexpr int kMaxDataRowsPerSheet = 65535;
}  // namespace sheetsplitter

// The header row followed by up to 65,535 data rows on each sheet, as many sheets as needed,
// at least one (an empty table gives one sheet holding only the header). The first sheet is
// named baseName, the next ones baseName + " (2)", " (3)" and so on; the base is shortened so
// that every name keeps to the 31 characters a tab name may have.
QVector<SheetData> SplitIntoSheets(const QStringList& header, const QVector<QStringList>& rows,
                                   const QString& baseName);
