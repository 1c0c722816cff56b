// Reads Excel 97-2003 workbooks (.xls) through libfreexl, every cell as text.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include "SheetData.h"

// Every sheet of the workbook at path, in tab order. Each sheet's rows run from the first row
// of the sheet to the last row that holds a value, and every row has as many cells as the
// sheet's last used column reaches (empty cells are empty texts); a sheet without values has
// no rows. Text cells come as they are, numbers as NumberToText gives them, dates and times
// as "YYYY-MM-DD", "HH:MM:SS" or "YYYY-MM-DD HH:MM:SS". Throws SpreadsheetError naming the
// file when it is missing, unreadable, not an Excel 97-2003 workbook, protected by a password
// or damaged.
QVector<SheetData> ReadWorkbook(const QString& path);

// The rows of the first sheet, as ReadWorkbook gives them.
QVector<QStringList> ReadFirstSheet(const QString& path);
