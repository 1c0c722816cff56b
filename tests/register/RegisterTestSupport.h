// Operator actions on the register window for the register tests.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QTest>
#include <ostream>

#include "StationFixture.h"
#include "TestSupport.h"

// Readable failure output for texts and lists of texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace registertest {

// Shows the register window over a running station, as its button would, without the modal
// loop (tests that need the modal path click the main window's button themselves).
inline void ShowRegister(Station& s) {
    s.Fset->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(s.Fset));
}

inline void Click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

inline void ClickRow(TStringGrid* grid, int row) {
    grid->scrollTo(grid->Model()->index(row - 1, 0));
    const QRect cell = grid->CellRect(1, row);
    ASSERT_TRUE(cell.isValid()) << "row " << row << " not on screen";
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
}

// Replaces an edit's text the way an operator does: click into it, select all, type.
inline void Type(QLineEdit* edit, const QString& text) {
    QTest::mouseClick(edit, Qt::LeftButton);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Delete);
    else
        QTest::keyClicks(edit, text);
}

// Types a whole row into the edit panel: number, ID, location, high, low, remark.
inline void TypeRow(TFset* w, const QStringList& cells) {
    QLineEdit* edits[] = {w->RzEdit1, w->RzEdit2, w->RzEdit3, w->RzEdit4, w->RzEdit5, w->RzEdit6};
    for (int c = 0; c < 6; ++c) Type(edits[c], c < cells.size() ? cells[c] : QString());
}

inline QVector<QStringList> GridRows(TStringGrid* g) {
    QVector<QStringList> out;
    for (int r = 1; r < g->RowCount(); ++r) out.append(g->RowCells(r));
    return out;
}

// The stored register as the sqlite3 shell shows it, one line a row in insertion order.
inline QString Stored(const StationFolder& folder) {
    return folder.Sql(
        "select code, quote(codeid), quote(fix), almhigh, almlow, quote(remark), quote(almnear) "
        "from settab order by ID");
}

}  // namespace registertest
