// One worksheet of a workbook: its tab name and a table of text cells, row by row.
// Rows may differ in length; an empty text is an empty cell.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

struct SheetData {
    QString name;
    QVector<QStringList> rows;
};
