// A grid of text cells with one fixed header row (row 0) and optionally a fixed first column,
// in the vocabulary the station's windows use: RowCount (header included), ColCount, Cell,
// ColWidth, DefaultRowHeight, Row (the selected data row). After the standard drawing of each
// data cell the grid calls OnDrawCell, where a window paints alarm colours over it.
#pragma once

#include <QTableView>
#include <functional>

#include "TStringGridModel.h"

class TStringGrid : public QTableView {
    Q_OBJECT
  public:
    explicit TStringGrid(QWidget* parent = nullptr);

    int RowCount() const { return model_->gridRowCount(); }
    void SetRowCount(int n);
    int ColCount() const { return model_->gridColCount(); }
    void SetColCount(int n);

    QString Cell(int col, int row) const { return model_->cell(col, row); }
    void SetCell(int col, int row, const QString& text) { model_->setCell(col, row, text); }
    QString CellHint(int col, int row) const { return model_->cellHint(col, row); }
    void SetCellHint(int col, int row, const QString& text) { model_->setCellHint(col, row, text); }
    QStringList RowCells(int row) const { return model_->rowCells(row); }
    void SetRowCells(int row, const QStringList& cells) { model_->setRowCells(row, cells); }
    // Replaces every data row at once; RowCount becomes rows.size() + 1.
    void SetAllRows(QVector<QStringList> rows);

    int ColWidth(int col) const { return columnWidth(col); }
    void SetColWidth(int col, int width) { setColumnWidth(col, width); }
    int DefaultRowHeight() const { return defaultRowHeight_; }
    void SetDefaultRowHeight(int height);

    int FixedCols() const { return fixedCols_; }
    void SetFixedCols(int n);
    QColor FixedColor() const { return fixedColor_; }
    void SetFixedColor(const QColor& c);
    // Colour of the lines between cells, whatever the style in use would choose.
    void SetGridLineColor(const QColor& c);

    // Selected data row (1..RowCount-1), or 0 when nothing is selected.
    int Row() const;
    void SetRow(int row);
    // Whole-row selection (the register and log grids) or single cells (the monitoring grid).
    void SetRowSelect(bool on);

    // Client rectangle of a cell in viewport coordinates (empty for the header row).
    QRect CellRect(int col, int row) const;

    TStringGridModel* Model() const { return model_; }

    // Called after the standard drawing of each data cell: (col, row, rect, painter).
    std::function<void(int, int, const QRect&, QPainter&)> OnDrawCell;

  signals:
    void RowChanged(int row);  // the selection moved to another row
    void CellClicked(int col, int row);
    void CellDoubleClicked(int col, int row);
    void Resized();

  protected:
    void resizeEvent(QResizeEvent* event) override;
    // The operator resizes a row by dragging its lower grid line, as columns are resized by
    // dragging the header's dividers.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    class Delegate;
    class LineStyle;
    TStringGridModel* model_;
    LineStyle* lineStyle_ = nullptr;
    int defaultRowHeight_ = 24;
    int fixedCols_ = 0;
    QColor fixedColor_;
    int lastRow_ = 0;
    int sizingRow_ = -1;  // view row whose height is being dragged, -1 when none
    int sizingStartY_ = 0;
    int sizingStartHeight_ = 0;

    // View row whose lower grid line lies within a few pixels of y, or -1.
    int RowLineAt(int y) const;
};
