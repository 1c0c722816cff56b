#include "SheetSplitter.h"

#include <algorithm>

#include "WorkbookStream.h"

namespace {

QString SheetName(const QString& base, int number) {
    const int limit = workbooklimits::kMaxSheetNameChars;
    if (number == 1) return base.left(limit);
    const QString suffix = QStringLiteral(" (%1)").arg(number);
    return base.left(limit - suffix.size()) + suffix;
}

}  // namespace

QVector<SheetData> SplitIntoSheets(const QStringList& header, const QVector<QStringList>& rows,
                                   const QString& baseName) {
    QVector<SheetData> sheets;
    qsizetype next = 0;
    do {
        SheetData sheet;
        sheet.name = SheetName(baseName, static_cast<int>(sheets.size()) + 1);
        const qsizetype take =
            std::min<qsizetype>(sheetsplitter::kMaxDataRowsPerSheet, rows.size() - next);
        sheet.rows.reserve(take + 1);
        sheet.rows.append(header);
        sheet.rows.append(rows.mid(next, take));
        next += take;
        sheets.append(std::move(sheet));
    } while (next < rows.size());
    return sheets;
}
