// Reads Excel 97-2003 workbooks (.xls) through libfreexl, every cell as text.
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
// as "YYYY-MM-DD", "HH:MM:SS" or "YYYY-MM-DD HH:MM:SS". Throws SpreadsheetError naming the
// file when it is missing, unreadable, not an Excel 97-2003 workbook, protected by a password
// or damaged.
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
