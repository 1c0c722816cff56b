#include "RegisterBackup.h"

#include "SheetSplitter.h"

namespace registerbackup {

namespace {

QStringList Fitted(QStringList cells, int columns) {
    cells.resize(columns);
    return cells;
}

}  // namespace

QString SheetName() {
    return QStringLiteral("Sheet1");
}

QVector<SheetData> BackupSheets(const QStringList& header, const QVector<QStringList>& rows) {
    return SplitIntoSheets(header, rows, SheetName());
}

ImportedGrid GridFromSheet(const QVector<QStringList>& sheetRows, int columns) {
    ImportedGrid grid;
    grid.header = Fitted(sheetRows.isEmpty() ? QStringList() : sheetRows.first(), columns);
    grid.rows.reserve(qMax<qsizetype>(1, sheetRows.size() - 1));
    for (qsizetype r = 1; r < sheetRows.size(); ++r)
        grid.rows.append(Fitted(sheetRows[r], columns));
    // The grid always keeps one data row under its header.
    if (grid.rows.isEmpty()) grid.rows.append(QStringList(columns, QString()));
    return grid;
}

}  // namespace registerbackup
