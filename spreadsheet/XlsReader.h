// Reads Excel 97-2003 workbooks (.xls) through libfreexl, every cell as text. Texts and the
// results stored with formulas come from the station's own pass over the records
// (WorkbookScan), which reads what the library leaves out or cuts short.
//
// A damaged file can lead the library astray (reads past its buffers were seen on files with
// scrambled records), so the station never parses a workbook in its own process: ReadWorkbook
// and ReadFirstSheet run the small reader program `station-xls-reader` on the file and take
// its result, and a reader that crashes or hangs only makes the file count as damaged.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include "SheetData.h"

// Every sheet of the workbook at path, in tab order. Each sheet's rows run from the first row
// of the sheet to the last row that holds a value, and every row has as many cells as the
// sheet's last used column reaches (empty cells are empty texts); a sheet without values has
// no rows. Text cells come as they are, numbers as NumberToText gives them, dates and times
// as "YYYY-MM-DD", "HH:MM:SS" or "YYYY-MM-DD HH:MM:SS", booleans as "1" and "0". A formula
// cell gives the result saved with it (a number, text or boolean as above, an error as its
// "#DIV/0!"-style text). Texts come whole, up to the 32,767 characters a cell holds. Throws
// SpreadsheetError naming the file when it is missing, unreadable, not an Excel 97-2003
// workbook, a workbook of an older format (Excel 5.0/95 and before, said as such), protected
// by a password or damaged.
QVector<SheetData> ReadWorkbook(const QString& path);

// The rows of the first sheet, as ReadWorkbook gives them.
QVector<QStringList> ReadFirstSheet(const QString& path);

// The parse itself, in the calling process: what the reader program runs.
QVector<SheetData> ReadWorkbookInProcess(const QString& path, bool firstSheetOnly);

// The reader program's answer on its standard output: the sheets, or the error message.
QByteArray EncodeReadResult(const QVector<SheetData>& sheets);
QByteArray EncodeReadError(const QString& message);
// Decodes an answer; throws SpreadsheetError naming path on an error answer or one that is cut
// short.
QVector<SheetData> DecodeReadResult(const QString& path, const QByteArray& answer);
