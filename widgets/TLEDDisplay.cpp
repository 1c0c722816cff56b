#include "TLEDDisplay.h"

#include <QPainter>
#include <QTimer>
#include <algorithm>

namespace {

constexpr int kMargin = 3;
constexpr int kScrollStepPixels = 2;

}  // namespace

TLEDDisplay::TLEDDisplay(QWidget* parent)
    : QWidget(parent),
      segmentColor(0x00, 0xFF, 0x00),
      offSegmentColor(0x00, 0x30, 0x00),
      backColor(0x00, 0x00, 0x00),
      scrollTimer(new QTimer(this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(sizeHint());
    scrollTimer->setInterval(scrollInterval);
    connect(scrollTimer, &QTimer::timeout, this, &TLEDDisplay::ScrollStep);
}

unsigned TLEDDisplay::SegmentsOf(QChar ch) {
    switch (ch.toUpper().unicode()) {
        case '0':
            return SegTop | SegUpperRight | SegLowerRight | SegBottom | SegLowerLeft | SegUpperLeft;
        case '1':
            return SegUpperRight | SegLowerRight;
        case '2':
            return SegTop | SegUpperRight | SegMiddle | SegLowerLeft | SegBottom;
        case '3':
            return SegTop | SegUpperRight | SegMiddle | SegLowerRight | SegBottom;
        case '4':
            return SegUpperLeft | SegMiddle | SegUpperRight | SegLowerRight;
        case '5':
            return SegTop | SegUpperLeft | SegMiddle | SegLowerRight | SegBottom;
        case '6':
            return SegTop | SegUpperLeft | SegMiddle | SegLowerLeft | SegLowerRight | SegBottom;
        case '7':
            return SegTop | SegUpperRight | SegLowerRight;
        case '8':
            return 0x7F;
        case '9':
            return SegTop | SegUpperLeft | SegUpperRight | SegMiddle | SegLowerRight | SegBottom;
        case '-':
            return SegMiddle;
        case '_':
            return SegBottom;
        case '.':
            return SegPoint;
        case 'A':
            return 0x7F & ~SegBottom;
        case 'B':
            return SegUpperLeft | SegLowerLeft | SegMiddle | SegLowerRight | SegBottom;
        case 'C':
            return SegTop | SegUpperLeft | SegLowerLeft | SegBottom;
        case 'D':
            return SegUpperRight | SegLowerRight | SegMiddle | SegLowerLeft | SegBottom;
        case 'E':
            return SegTop | SegUpperLeft | SegMiddle | SegLowerLeft | SegBottom;
        case 'F':
            return SegTop | SegUpperLeft | SegMiddle | SegLowerLeft;
        case 'H':
            return SegUpperLeft | SegLowerLeft | SegMiddle | SegUpperRight | SegLowerRight;
        case 'L':
            return SegUpperLeft | SegLowerLeft | SegBottom;
        case 'N':
            return SegLowerLeft | SegMiddle | SegLowerRight;
        case 'O':
            return SegLowerLeft | SegMiddle | SegLowerRight | SegBottom;
        case 'P':
            return SegTop | SegUpperLeft | SegUpperRight | SegMiddle | SegLowerLeft;
        case 'R':
            return SegLowerLeft | SegMiddle;
        case 'T':
            return SegUpperLeft | SegLowerLeft | SegMiddle | SegBottom;
        case 'U':
            return SegUpperLeft | SegLowerLeft | SegBottom | SegLowerRight | SegUpperRight;
        default:
            return 0;
    }
}

void TLEDDisplay::setCaption(const QString& text) {
    if (text == caption) return;
    caption = text;
    scrollOffset = 0;
    update();
}

void TLEDDisplay::setScrolling(bool on) {
    if (on == scrolling) return;
    scrolling = on;
    scrollOffset = 0;
    if (on) {
        scrollTimer->start();
    } else {
        scrollTimer->stop();
    }
    update();
}

void TLEDDisplay::setSegmentColor(const QColor& colour) {
    segmentColor = colour;
    update();
}

void TLEDDisplay::setOffSegmentColor(const QColor& colour) {
    offSegmentColor = colour;
    update();
}

void TLEDDisplay::setBackColor(const QColor& colour) {
    backColor = colour;
    update();
}

void TLEDDisplay::setScrollInterval(int ms) {
    scrollInterval = std::max(1, ms);
    scrollTimer->setInterval(scrollInterval);
}

TLEDDisplay::Metrics TLEDDisplay::CellMetrics() const {
    Metrics m{};
    m.charHeight = std::max(7, height() - 2 * kMargin);
    m.charWidth = std::max(5, m.charHeight * 11 / 20);
    m.spacing = std::max(2, m.charWidth / 3);
    m.thickness = std::max(1, m.charHeight / 9);
    m.top = (height() - m.charHeight) / 2;
    return m;
}

int TLEDDisplay::TextWidth(const Metrics& m) const {
    if (caption.isEmpty()) return 0;
    return caption.size() * (m.charWidth + m.spacing) - m.spacing;
}

void TLEDDisplay::ScrollStep() {
    if (!scrolling) return;
    const Metrics m = CellMetrics();
    scrollOffset += kScrollStepPixels;
    // Once the text has left on the left, it comes in again from the right edge.
    if (width() - scrollOffset + TextWidth(m) <= 0) scrollOffset = 0;
    update();
}

void TLEDDisplay::DrawCharacter(QPainter& painter, const Metrics& m, int x,
                                unsigned segments) const {
    const int t = m.thickness;
    const int w = m.charWidth;
    const int h = m.charHeight;
    const int y = m.top;
    const int half = h / 2;
    // Horizontal and vertical bars leave a one-pixel gap at the joints, as on a real display.
    const QRect bars[7] = {
        QRect(x + t + 1, y, w - 2 * t - 2, t),                                    // top
        QRect(x + w - t, y + t + 1, t, half - t - 2 - t / 2 + 1),                 // upper right
        QRect(x + w - t, y + half + t / 2 + 1, t, h - half - t - 2 - t / 2 + 1),  // lower right
        QRect(x + t + 1, y + h - t, w - 2 * t - 2, t),                            // bottom
        QRect(x, y + half + t / 2 + 1, t, h - half - t - 2 - t / 2 + 1),          // lower left
        QRect(x, y + t + 1, t, half - t - 2 - t / 2 + 1),                         // upper left
        QRect(x + t + 1, y + half - t / 2, w - 2 * t - 2, t),                     // middle
    };
    for (int i = 0; i < 7; ++i) {
        painter.fillRect(bars[i], (segments & (1u << i)) ? segmentColor : offSegmentColor);
    }
    if (segments & SegPoint) {
        painter.fillRect(QRect(x + w + std::max(0, m.spacing / 2 - t / 2), y + h - t, t, t),
                         segmentColor);
    }
}

void TLEDDisplay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), backColor);
    const Metrics m = CellMetrics();
    const int textWidth = TextWidth(m);
    int x = 0;
    if (scrolling) {
        x = width() - scrollOffset;
    } else {
        x = std::max(0, (width() - textWidth) / 2);
    }
    const int cell = m.charWidth + m.spacing;
    for (int i = 0; i < caption.size(); ++i, x += cell) {
        if (x + cell < 0) continue;
        if (x >= width()) break;
        DrawCharacter(painter, m, x, SegmentsOf(caption.at(i)));
    }
}
