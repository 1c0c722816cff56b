// The station's own pass over the "Workbook" stream of an Excel 97-2003 file (BIFF8).
//
// libfreexl leaves some cells out or short: formula cells (whose last results the file keeps
// beside the formula), and texts of the shared string table that run over more than one
// continuation record. This pass reads those records itself, so that the reader can give every
// cell as the file holds it. It also tells an older workbook (Excel 5.0/95 and before) from a
// damaged one. It reads only; a file it cannot follow is reported, never guessed at.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

struct WorkbookScan {
    enum class Status {
        Ok,           // every sheet read
        NoWorkbook,   // not a compound file, or one without a workbook stream
        OlderFormat,  // a workbook of Excel 5.0/95 or earlier (BIFF5 and before)
        Protected,    // the workbook is encrypted with a password
        Damaged,      // records that cannot be followed (see problem)
    };

    // Where a cell's text comes from.
    enum class Kind {
        Text,     // a text constant (shared string or inline label)
        Formula,  // the last result stored with a formula: number, text, boolean or error
        Number,   // a number or boolean constant
    };

    struct Cell {
        int row = 0;
        int column = 0;
        Kind kind = Kind::Text;
        QString text;  // as XlsReader gives cells: numbers as NumberToText, dates as ISO text
    };

    struct Sheet {
        QString name;
        bool worksheet = true;  // false for chart sheets, macro sheets and modules
        QVector<Cell> cells;    // in file order; empty texts are left out
    };

    Status status = Status::Damaged;
    QString problem;  // for Damaged: what could not be followed (for diagnostics)
    QVector<Sheet> sheets;

    // Scans the compound file at path.
    static WorkbookScan FromFile(const QString& path);
    // Scans a workbook stream already taken out of its container.
    static WorkbookScan FromStream(const QByteArray& stream);
};
