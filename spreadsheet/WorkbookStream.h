// The "Workbook" stream of an Excel 97-2003 file (BIFF8): workbook globals followed by one
// worksheet substream per sheet, all cells as shared strings. Pure data, no file access; the
// compound-file container around it is XlsWriter's business.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include "SheetData.h"

namespace workbooklimits {
constexpr int kMaxRows = 65536;         // rows per worksheet
constexpr int kMaxColumns = 256;        // columns per worksheet (A to IV)
constexpr int kMaxCellChars = 32767;    // UTF-16 units in one cell
constexpr int kMaxSheetNameChars = 31;  // characters in a sheet tab name
}  // namespace workbooklimits

// Checks that the sheets fit a BIFF8 workbook: at least one sheet, valid and distinct names
// (1 to 31 characters, none of : \ / ? * [ ], not starting or ending with an apostrophe,
// compared without regard to case), at most 65,536 rows and 256 columns per sheet, at most
// 32,767 characters per cell. Returns an empty string when they do, otherwise what is wrong.
QString CheckWorkbookLimits(const QVector<SheetData>& sheets);

// Cuts every cell text longer than a cell holds to the first 32,767 characters (one fewer
// where the cut would part the two halves of a character outside the basic plane). Returns
// how many cells were cut.
int CutToCellLimit(QVector<SheetData>& sheets);

// Builds the complete stream. Non-empty cells become LABELSST records pointing into one shared
// string table; empty cells are not written. Throws std::invalid_argument when
// CheckWorkbookLimits reports a problem.
QByteArray BuildWorkbookStream(const QVector<SheetData>& sheets);
