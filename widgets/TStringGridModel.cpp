#include "TStringGridModel.h"

void TStringGridModel::setGridRowCount(int n) {
    const int want = qMax(0, n - 1);
    const int have = static_cast<int>(rows_.size());
    if (want == have) return;
    if (want > have) {
        beginInsertRows(QModelIndex(), have, want - 1);
        rows_.resize(want);
        endInsertRows();
    } else {
        beginRemoveRows(QModelIndex(), want, have - 1);
        rows_.resize(want);
        for (auto it = hints_.begin(); it != hints_.end();)
            it = it.key().second > want ? hints_.erase(it) : std::next(it);
        endRemoveRows();
    }
}

void TStringGridModel::setGridColCount(int n) {
    n = qMax(0, n);
    if (n == cols_) return;
    beginResetModel();
    cols_ = n;
    endResetModel();
}

QStringList& TStringGridModel::rowRef(int row) {
    return row == 0 ? header_ : rows_[row - 1];
}

QString TStringGridModel::cell(int col, int row) const {
    if (row < 0 || row >= gridRowCount() || col < 0) return QString();
    const QStringList& r = row == 0 ? header_ : rows_[row - 1];
    return col < r.size() ? r[col] : QString();
}

void TStringGridModel::setCell(int col, int row, const QString& text) {
    if (row < 0 || row >= gridRowCount() || col < 0 || col >= cols_) return;
    QStringList& r = rowRef(row);
    if (r.size() <= col) {
        if (text.isEmpty()) return;
        while (r.size() <= col) r.append(QString());
    }
    if (r[col] == text) return;
    r[col] = text;
    if (row == 0)
        emit headerDataChanged(Qt::Horizontal, col, col);
    else
        emit dataChanged(index(row - 1, col), index(row - 1, col));
}

QStringList TStringGridModel::rowCells(int row) const {
    QStringList out;
    for (int c = 0; c < cols_; ++c) out << cell(c, row);
    return out;
}

void TStringGridModel::setRowCells(int row, const QStringList& cells) {
    for (int c = 0; c < cols_; ++c) setCell(c, row, c < cells.size() ? cells[c] : QString());
}

void TStringGridModel::setAllRows(QVector<QStringList> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    hints_.clear();
    endResetModel();
}

void TStringGridModel::setCellHint(int col, int row, const QString& text) {
    if (row < 1 || row >= gridRowCount() || col < 0 || col >= cols_) return;
    if (text.isEmpty())
        hints_.remove(qMakePair(col, row));
    else
        hints_.insert(qMakePair(col, row), text);
}

int TStringGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TStringGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : cols_;
}

QVariant TStringGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return QVariant();
    if (role == Qt::ToolTipRole) {
        const QString hint = cellHint(index.column(), index.row() + 1);
        return hint.isEmpty() ? QVariant() : QVariant(hint);
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole) return QVariant();
    return cell(index.column(), index.row() + 1);
}

QVariant TStringGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return QVariant();
    if (orientation == Qt::Horizontal) return cell(section, 0);
    return QVariant(section + 1);
}
