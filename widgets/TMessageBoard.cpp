#include "TMessageBoard.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <climits>
#include <cmath>

TMessageBoard::TMessageBoard(int maxLines, QWidget* parent)
    : QAbstractScrollArea(parent), maxLines_(std::max(1, maxLines)) {
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    Measure();
    SetScrollRanges(0);
}

TMessageBoard::Entry TMessageBoard::Lay(const QString& text) {
    Entry e;
    e.text = text;
    // A board line is one line on the screen, whatever breaks its text carries.
    QString shown = text;
    shown.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    // The glyphs and their places are kept: drawing them again costs no shaping of the text.
    LineShaper::Shaped shaped = shaper_.Shape(shown, font());
    e.glyphs = std::move(shaped.glyphs);
    e.width = shaped.width;
    return e;
}

void TMessageBoard::Measure() {
    const QFontMetrics metrics = fontMetrics();
    lineHeight_ = std::max(1, metrics.height() + 2);
    margin_ = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    verticalScrollBar()->setSingleStep(lineHeight_);
    horizontalScrollBar()->setSingleStep(std::max(1, metrics.averageCharWidth() * 2));
}

void TMessageBoard::SetScrollRanges(int top) {
    holdScroll_ = true;
    const QSize view = viewport()->size();
    QScrollBar* v = verticalScrollBar();
    v->setRange(0, std::max(0, Count() * lineHeight_ - view.height()));
    v->setPageStep(std::max(1, view.height()));
    v->setValue(top);  // within the range: a top beyond it is the bottom
    QScrollBar* h = horizontalScrollBar();
    h->setRange(0, std::max(0, widest_ + 2 * margin_ - view.width()));
    h->setPageStep(std::max(1, view.width()));
    holdScroll_ = false;
}

uint64_t TMessageBoard::AddLine(const QString& text) {
    QScrollBar* v = verticalScrollBar();
    const bool follow = lines_.empty() || AtBottom();
    const int oldValue = v->value();
    const int oldCurrent = current_;

    lines_.push_back(Lay(text));
    const uint64_t number = firstNumber_ + lines_.size() - 1;
    int removed = 0;
    while (static_cast<int>(lines_.size()) > maxLines_) {
        lines_.pop_front();
        ++firstNumber_;
        ++removed;
    }
    widest_ = std::max(widest_, lines_.back().width);
    const int keptCurrent = oldCurrent >= removed ? oldCurrent - removed : -1;
    current_ = follow ? Count() - 1 : keptCurrent;

    // New ranges and position without moving the picture; then the picture is moved once by
    // how far the lines already shown went, and only rows whose look changed are drawn.
    SetScrollRanges(follow ? INT_MAX : std::max(0, oldValue - removed * lineHeight_));
    const int moved = -removed * lineHeight_ - (v->value() - oldValue);
    // Qt moves a repaint still pending along with the picture, so lines added in one turn of
    // the event loop each move it in turn and the result is what the lines say.
    if (moved != 0) {
        if (deferScrolls_) {
            // Nothing is marked for repainting until the picture has moved, so the window is
            // asked for a repaint, in which the scroll is put in place.
            if (pendingScroll_ == 0)
                QCoreApplication::postEvent(window(), new QEvent(QEvent::UpdateRequest),
                                            Qt::LowEventPriority);
            pendingScroll_ += moved;
            // Moved by a whole view or more, nothing of the picture stays: it is drawn anew.
            if (std::abs(pendingScroll_) >= viewport()->height()) RedrawAll();
        } else {
            viewport()->scroll(0, moved);
        }
    }
    if (keptCurrent >= 0) UpdateRow(keptCurrent);
    UpdateRow(current_);
    UpdateRow(Count() - 1);
    return number;
}

bool TMessageBoard::ReplaceLine(uint64_t number, const QString& text) {
    if (number < firstNumber_ || number >= firstNumber_ + lines_.size()) return false;
    const int row = static_cast<int>(number - firstNumber_);
    lines_[row] = Lay(text);
    if (lines_[row].width > widest_) {
        widest_ = lines_[row].width;
        SetScrollRanges(verticalScrollBar()->value());
    }
    UpdateRow(row);
    return true;
}

void TMessageBoard::Clear() {
    firstNumber_ += lines_.size();
    lines_.clear();
    current_ = -1;
    widest_ = 0;
    SetScrollRanges(0);
    RedrawAll();
}

QString TMessageBoard::Line(int row) const {
    if (row < 0 || row >= Count()) return QString();
    return lines_[row].text;
}

void TMessageBoard::SetCurrentRow(int row) {
    row = std::clamp(row, -1, Count() - 1);
    if (row == current_) {
        EnsureVisible(row);
        return;
    }
    const int old = current_;
    current_ = row;
    UpdateRow(old);
    UpdateRow(row);
    EnsureVisible(row);
}

int TMessageBoard::TopRow() const {
    if (lines_.empty()) return -1;
    return std::min(Count() - 1, verticalScrollBar()->value() / lineHeight_);
}

void TMessageBoard::ScrollToRow(int row) {
    verticalScrollBar()->setValue(std::max(0, row) * lineHeight_);
}

bool TMessageBoard::AtBottom() const {
    const QScrollBar* v = verticalScrollBar();
    return v->value() >= v->maximum();
}

QRect TMessageBoard::RowRect(int row) const {
    return QRect(0, row * lineHeight_ - verticalScrollBar()->value(), viewport()->width(),
                 lineHeight_);
}

void TMessageBoard::UpdateRow(int row) {
    if (row < 0 || row >= Count()) return;
    if (pendingScroll_ != 0) {
        // Its place on the screen is known only once the picture has moved.
        const uint64_t number = firstNumber_ + static_cast<uint64_t>(row);
        if (std::find(pendingRows_.begin(), pendingRows_.end(), number) == pendingRows_.end())
            pendingRows_.push_back(number);
        return;
    }
    const QRect r = RowRect(row);
    if (r.intersects(viewport()->rect())) viewport()->update(r);
}

void TMessageBoard::SetScrollsDeferred(bool deferred) {
    if (!deferred) ApplyScrolls();
    deferScrolls_ = deferred;
}

void TMessageBoard::ApplyScrolls() {
    if (pendingScroll_ == 0) return;
    const int moved = pendingScroll_;
    pendingScroll_ = 0;
    viewport()->scroll(0, moved);
    std::vector<uint64_t> rows;
    rows.swap(pendingRows_);
    for (const uint64_t number : rows)
        if (number >= firstNumber_) UpdateRow(static_cast<int>(number - firstNumber_));
}

void TMessageBoard::RedrawAll() {
    pendingScroll_ = 0;
    pendingRows_.clear();
    viewport()->update();
}

void TMessageBoard::EnsureVisible(int row) {
    if (row < 0 || row >= Count()) return;
    QScrollBar* v = verticalScrollBar();
    const int top = row * lineHeight_;
    if (top < v->value())
        v->setValue(top);
    else if (top + lineHeight_ > v->value() + viewport()->height())
        v->setValue(top + lineHeight_ - viewport()->height());
}

void TMessageBoard::paintEvent(QPaintEvent* event) {
    if (pendingScroll_ != 0) {
        // Painted before the held-back scroll was put in place: the rest of the picture is
        // where the lines were, so all of it is drawn anew after this.
        RedrawAll();
    }
    if (lines_.empty()) return;
    QPainter painter(viewport());
    const QRect area = event->rect();
    const int value = verticalScrollBar()->value();
    const int first = std::max(0, (value + area.top()) / lineHeight_);
    const int last = std::min(Count() - 1, (value + area.bottom()) / lineHeight_);
    const QPalette::ColorGroup group = !isEnabled()       ? QPalette::Disabled
                                       : isActiveWindow() ? QPalette::Active
                                                          : QPalette::Inactive;
    const QPalette& pal = palette();
    const int textTop = (lineHeight_ - fontMetrics().height()) / 2;
    const int x = margin_ - horizontalScrollBar()->value();
    painter.setFont(font());
    for (int row = first; row <= last; ++row) {
        const QRect r = RowRect(row);
        const bool selected = row == current_;
        if (selected) painter.fillRect(r, pal.brush(group, QPalette::Highlight));
        painter.setPen(pal.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        for (const QGlyphRun& run : lines_[row].glyphs)
            painter.drawGlyphRun(QPointF(x, r.top() + textTop), run);
        if (selected && hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = r;
            focus.backgroundColor = pal.color(group, QPalette::Highlight);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
        }
    }
}

void TMessageBoard::resizeEvent(QResizeEvent* event) {
    const bool follow = AtBottom();
    QAbstractScrollArea::resizeEvent(event);
    SetScrollRanges(follow ? INT_MAX : verticalScrollBar()->value());
    RedrawAll();
}

void TMessageBoard::scrollContentsBy(int dx, int dy) {
    if (holdScroll_) return;
    ApplyScrolls();
    viewport()->scroll(dx, dy);
}

void TMessageBoard::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        Measure();
        widest_ = 0;
        for (Entry& e : lines_) {
            e = Lay(e.text);
            widest_ = std::max(widest_, e.width);
        }
        SetScrollRanges(verticalScrollBar()->value());
        RedrawAll();
    } else if (event->type() == QEvent::PaletteChange ||
               event->type() == QEvent::ActivationChange ||
               event->type() == QEvent::EnabledChange) {
        RedrawAll();
    }
}

void TMessageBoard::mousePressEvent(QMouseEvent* event) {
    const int row = (verticalScrollBar()->value() + event->position().toPoint().y()) / lineHeight_;
    if (event->button() == Qt::LeftButton && row >= 0 && row < Count()) SetCurrentRow(row);
    event->accept();
}

void TMessageBoard::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

void TMessageBoard::keyPressEvent(QKeyEvent* event) {
    const int page = std::max(1, viewport()->height() / lineHeight_);
    switch (event->key()) {
        case Qt::Key_Up:
            SetCurrentRow(std::max(0, current_ - 1));
            break;
        case Qt::Key_Down:
            SetCurrentRow(current_ + 1);
            break;
        case Qt::Key_PageUp:
            SetCurrentRow(std::max(0, current_ - page));
            break;
        case Qt::Key_PageDown:
            SetCurrentRow(current_ + page);
            break;
        case Qt::Key_Home:
            SetCurrentRow(0);
            break;
        case Qt::Key_End:
            SetCurrentRow(Count() - 1);
            break;
        default:
            QAbstractScrollArea::keyPressEvent(event);
            return;
    }
    event->accept();
}

void TMessageBoard::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    UpdateRow(current_);
}

void TMessageBoard::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    UpdateRow(current_);
}
