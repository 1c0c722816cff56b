// Text cells of a TStringGrid. Row 0 is the header row, shown in the view's header; rows
// 1..RowCount-1 are the data rows the view shows as its rows 0..RowCount-2.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QPair>
#include <QStringList>
#include <QVector>

class TStringGridModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    using QAbstractTableModel::QAbstractTableModel;

    int gridRowCount() const { return static_cast<int>(rows_.size()) + 1; }
    int gridColCount() const { return cols_; }
    void setGridRowCount(int n);  // header included; at least 1
    void setGridColCount(int n);

    QString cell(int col, int row) const;
    void setCell(int col, int row, const QString& text);
    QStringList rowCells(int row) const;
    void setRowCells(int row, const QStringList& cells);
    // Replaces all data rows at once (header kept): one model reset instead of one signal a cell.
    void setAllRows(QVector<QStringList> rows);
    // A hint shown when the pointer rests on a data cell (its tool tip); empty for none.
    QString cellHint(int col, int row) const { return hints_.value(qMakePair(col, row)); }
    void setCellHint(int col, int row, const QString& text);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    QStringList& rowRef(int row);
    int cols_ = 0;
    QStringList header_;
    QVector<QStringList> rows_;
    QHash<QPair<int, int>, QString> hints_;  // (col, row) -> hint
};
