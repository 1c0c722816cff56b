#include "BoardLineDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

namespace {

// More lines than the board ever holds; the kept layouts are dropped when this many gather.
constexpr qsizetype kMostKept = 1024;

}  // namespace

const QStaticText& BoardLineDelegate::Laid(const QString& text, const QFont& font) const {
    if (font != laidFont_ || laid_.size() >= kMostKept) {
        laid_.clear();
        laidFont_ = font;
    }
    auto it = laid_.find(text);
    if (it == laid_.end()) {
        QStaticText st(text);
        st.setTextFormat(Qt::PlainText);
        st.setPerformanceHint(QStaticText::AggressiveCaching);
        st.prepare(QTransform(), font);
        it = laid_.insert(text, st);
    }
    return *it;
}

void BoardLineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    const QString text = index.data(Qt::DisplayRole).toString();
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = !(option.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (option.state & QStyle::State_Active) ? QPalette::Active
                                                                               : QPalette::Inactive;
    painter->save();
    if (selected) painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
    painter->setPen(
        option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setFont(option.font);
    const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option.widget) + 1;
    const QStaticText& st = Laid(text, option.font);
    const int y = option.rect.top() + (option.rect.height() - option.fontMetrics.height()) / 2;
    painter->drawStaticText(QPointF(option.rect.left() + margin, y), st);
    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.backgroundColor =
            option.palette.color(group, selected ? QPalette::Highlight : QPalette::Base);
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, option.widget);
    }
    painter->restore();
}
