#include "TStringGrid.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QResizeEvent>
#include <QStyledItemDelegate>

class TStringGrid::Delegate : public QStyledItemDelegate {
  public:
    explicit Delegate(TStringGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const int col = index.column();
        const int row = index.row() + 1;
        if (col < grid_->fixedCols_ && grid_->fixedColor_.isValid()) {
            painter->fillRect(option.rect, grid_->fixedColor_);
            QStyleOptionViewItem o = option;
            o.state &= ~QStyle::State_Selected;
            o.backgroundBrush = QBrush(grid_->fixedColor_);
            QStyledItemDelegate::paint(painter, o, index);
        } else {
            QStyledItemDelegate::paint(painter, option, index);
        }
        if (grid_->OnDrawCell) {
            painter->save();
            grid_->OnDrawCell(col, row, option.rect, *painter);
            painter->restore();
        }
    }

  private:
    TStringGrid* grid_;
};

// The table takes the colour of its grid lines from its style; this style answers with the
// grid's own colour and leaves everything else to the application's style.
class TStringGrid::LineStyle : public QProxyStyle {
  public:
    explicit LineStyle(const QColor& color) : color_(color) {}

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_Table_GridLineColor) return static_cast<int>(color_.rgba());
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

    void SetColor(const QColor& color) { color_ = color; }

  private:
    QColor color_;
};

TStringGrid::TStringGrid(QWidget* parent) : QTableView(parent), model_(new TStringGridModel(this)) {
    setModel(model_);
    setItemDelegate(new Delegate(this));
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    verticalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
    setMouseTracking(true);  // the cursor shows where a row line can be dragged
    setTextElideMode(Qt::ElideNone);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    SetDefaultRowHeight(defaultRowHeight_);
    model_->setGridRowCount(2);

    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& cur, const QModelIndex&) {
                const int r = cur.isValid() ? cur.row() + 1 : 0;
                if (r != lastRow_) {
                    lastRow_ = r;
                    emit RowChanged(r);
                }
            });
    connect(this, &QTableView::clicked, this,
            [this](const QModelIndex& i) { emit CellClicked(i.column(), i.row() + 1); });
    connect(this, &QTableView::doubleClicked, this,
            [this](const QModelIndex& i) { emit CellDoubleClicked(i.column(), i.row() + 1); });
}

void TStringGrid::SetRowCount(int n) {
    const int row = Row();
    model_->setGridRowCount(qMax(1, n));
    if (row >= RowCount()) lastRow_ = Row();
}

void TStringGrid::SetColCount(int n) {
    QVector<int> widths;
    for (int c = 0; c < ColCount(); ++c) widths << columnWidth(c);
    model_->setGridColCount(n);
    for (int c = 0; c < qMin(n, widths.size()); ++c) setColumnWidth(c, widths[c]);
}

void TStringGrid::SetAllRows(QVector<QStringList> rows) {
    lastRow_ = 0;
    model_->setAllRows(std::move(rows));
}

void TStringGrid::SetDefaultRowHeight(int height) {
    defaultRowHeight_ = height;
    verticalHeader()->setDefaultSectionSize(qMax(1, height));
    horizontalHeader()->setFixedHeight(qMax(1, height));
}

void TStringGrid::SetFixedCols(int n) {
    fixedCols_ = n;
    viewport()->update();
}

void TStringGrid::SetFixedColor(const QColor& c) {
    fixedColor_ = c;
    viewport()->update();
}

void TStringGrid::SetGridLineColor(const QColor& c) {
    if (lineStyle_ == nullptr) {
        lineStyle_ = new LineStyle(c);
        lineStyle_->setParent(this);
        setStyle(lineStyle_);
    } else {
        lineStyle_->SetColor(c);
    }
    viewport()->update();
}

int TStringGrid::Row() const {
    const QModelIndex cur = currentIndex();
    return cur.isValid() ? cur.row() + 1 : 0;
}

void TStringGrid::SetRow(int row) {
    if (row < 1 || row >= RowCount()) return;
    const int col = qMax(0, currentIndex().isValid() ? currentIndex().column() : 0);
    const QModelIndex idx = model_->index(row - 1, col);
    const auto flags = selectionBehavior() == QAbstractItemView::SelectRows
                           ? QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows
                           : QItemSelectionModel::ClearAndSelect;
    selectionModel()->setCurrentIndex(idx, flags);
    scrollTo(idx);
}

void TStringGrid::SetRowSelect(bool on) {
    setSelectionBehavior(on ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
}

QRect TStringGrid::CellRect(int col, int row) const {
    if (row < 1) return QRect();
    return visualRect(model_->index(row - 1, col));
}

void TStringGrid::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    emit Resized();
}

int TStringGrid::RowLineAt(int y) const {
    constexpr int kGrip = 3;
    const int row = rowAt(y - kGrip);
    if (row < 0) return -1;
    const int bottom = rowViewportPosition(row) + rowHeight(row);
    return std::abs(y - bottom) <= kGrip ? row : -1;
}

void TStringGrid::mousePressEvent(QMouseEvent* event) {
    const int y = event->position().toPoint().y();
    const int row = event->button() == Qt::LeftButton ? RowLineAt(y) : -1;
    if (row < 0) {
        QTableView::mousePressEvent(event);
        return;
    }
    sizingRow_ = row;
    sizingStartY_ = y;
    sizingStartHeight_ = rowHeight(row);
    event->accept();
}

void TStringGrid::mouseMoveEvent(QMouseEvent* event) {
    const int y = event->position().toPoint().y();
    if (sizingRow_ >= 0) {
        verticalHeader()->resizeSection(sizingRow_,
                                        qMax(1, sizingStartHeight_ + y - sizingStartY_));
        event->accept();
        return;
    }
    if (event->buttons() == Qt::NoButton) {
        if (RowLineAt(y) >= 0)
            viewport()->setCursor(Qt::SplitVCursor);
        else
            viewport()->unsetCursor();
    }
    QTableView::mouseMoveEvent(event);
}

void TStringGrid::mouseReleaseEvent(QMouseEvent* event) {
    if (sizingRow_ >= 0) {
        sizingRow_ = -1;
        event->accept();
        return;
    }
    QTableView::mouseReleaseEvent(event);
}
