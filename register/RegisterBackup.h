// The register's spreadsheet backup as plain data: what goes into a backup file and what the
// grid shows after a file has been read back. No window and no file access here.
//
// A backup holds, on its first sheet, the grid's header texts in row 1 and one grid row per
// sheet row below, every cell as the grid's text. Importing reads the sheet the same way.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include "SheetData.h"

namespace registerbackup {

// Name of the first sheet of a backup (further sheets, needed only past 65,535 rows, are
// named after it).
QString SheetName();

// The sheets of a backup: header then the rows in grid order. A table longer than a
// worksheet continues on further sheets, each starting with the header.
QVector<SheetData> BackupSheets(const QStringList& header, const QVector<QStringList>& rows);

// The grid after an import.
struct ImportedGrid {
    QStringList header;         // the texts of sheet row 1
    QVector<QStringList> rows;  // one per sheet row from row 2 on, at least one
};

// Turns the used rows of a sheet (row 1 first) into the grid's header and rows, every row cut
// or padded with empty texts to columns cells. Texts are taken as they are, blanks included.
// A sheet with only its header row, or without any row, gives one blank grid row (and, in
// the latter case, blank headers).
ImportedGrid GridFromSheet(const QVector<QStringList>& sheetRows, int columns);

}  // namespace registerbackup
