#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QStyle>
#include <QTest>

#include "TStringGrid.h"

namespace {

std::unique_ptr<TStringGrid> Grid(int cols, int rows) {
    auto g = std::make_unique<TStringGrid>();
    g->resize(400, 300);
    g->SetColCount(cols);
    g->SetRowCount(rows);
    g->SetDefaultRowHeight(25);
    g->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(g.get()));
    return g;
}

}  // namespace

TEST(TStringGrid, RowZeroIsTheHeaderAndCellsKeepTheirTexts) {
    auto g = Grid(3, 2);
    g->SetCell(0, 0, "编号");
    g->SetCell(1, 1, "25.0625");
    EXPECT_EQ(g->model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "编号");
    EXPECT_EQ(g->model()->rowCount(), 1);
    g->SetRowCount(4);
    EXPECT_EQ(g->RowCount(), 4);
    EXPECT_EQ(g->Cell(1, 1), "25.0625");
    EXPECT_EQ(g->Cell(2, 3), QString());
    g->SetRowCount(2);
    EXPECT_EQ(g->Cell(1, 1), "25.0625");
    EXPECT_EQ(g->Cell(5, 1), QString());  // outside the grid: empty, never a crash
    g->SetAllRows({{"a", "b", "c"}, {"d", "e", "f"}});
    EXPECT_EQ(g->RowCount(), 3);
    EXPECT_EQ(g->RowCells(2), QStringList({"d", "e", "f"}));
    EXPECT_EQ(g->Cell(0, 0), "编号");
}

TEST(TStringGrid, SelectionReportsDataRowsAndDrawCellRunsAfterTheCell) {
    auto g = Grid(2, 4);
    g->SetRowSelect(true);
    QVector<int> changes;
    QObject::connect(g.get(), &TStringGrid::RowChanged, [&](int r) { changes << r; });
    g->SetRow(3);
    EXPECT_EQ(g->Row(), 3);
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->CellRect(1, 2).center());
    EXPECT_EQ(g->Row(), 2);
    EXPECT_EQ(changes, QVector<int>({3, 2}));

    g->OnDrawCell = [](int, int row, const QRect& rect, QPainter& p) {
        if (row == 1) p.fillRect(rect, Qt::red);
    };
    g->viewport()->update();
    QTest::qWait(20);
    const QImage img = g->viewport()->grab().toImage();
    const QRect r = g->CellRect(0, 1);
    EXPECT_EQ(img.pixelColor(r.center()), QColor(Qt::red));
    EXPECT_NE(img.pixelColor(g->CellRect(0, 3).center()), QColor(Qt::red));
}

TEST(TStringGrid, DraggingARowLineResizesThatRowOnly) {
    auto g = Grid(2, 4);
    const QRect r = g->CellRect(0, 1);
    const QPoint line(r.center().x(), r.bottom() + 1);
    QTest::mousePress(g->viewport(), Qt::LeftButton, {}, line);
    QTest::mouseMove(g->viewport(), line + QPoint(0, 15));
    QTest::mouseRelease(g->viewport(), Qt::LeftButton, {}, line + QPoint(0, 15));
    EXPECT_EQ(g->rowHeight(0), 40);
    EXPECT_EQ(g->rowHeight(1), 25);
    EXPECT_EQ(g->DefaultRowHeight(), 25);
}

TEST(TStringGrid, GridLinesTakeTheGridsColourWhateverTheStyle) {
    auto g = Grid(2, 3);
    QPalette pal = g->palette();
    pal.setColor(QPalette::Base, Qt::black);
    g->setPalette(pal);
    const auto lineBelow = [&g] {
        const QImage img = g->viewport()->grab().toImage();
        const QRect cell = g->CellRect(1, 1);
        return img.pixelColor(cell.center().x(), cell.bottom() + 1);
    };
    const QColor styleDefault = lineBelow();
    ASSERT_NE(styleDefault, QColor(Qt::red));
    g->SetGridLineColor(Qt::red);
    EXPECT_EQ(lineBelow(), QColor(Qt::red));
    g->SetGridLineColor(Qt::blue);
    EXPECT_EQ(lineBelow(), QColor(Qt::blue));
    // The style otherwise stays the application's: the header keeps its look.
    EXPECT_EQ(g->style()->pixelMetric(QStyle::PM_ScrollBarExtent),
              QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}
