// The message board: a list of one-line messages, the newest at the bottom and selected, at
// most a fixed number of them (the oldest go first).
//
// A line is added with every reading, so adding one must cost little on the screen. At the
// bottom of a full board a new line moves every shown line up by one; the board moves the
// pixels already drawn (a scroll of the window's own picture) and draws only the new line and
// the line that loses the selection. The scroll bars are only touched when their range or
// position really changes. In a window whose repaints are held back and let through together
// (RepaintPacer), the board can keep its scrolls back as well and move the picture once, just
// before the window is painted, by all the lines added meanwhile. Each line's text is laid out
// once, when it is added, from pieces of text shaped before where it can, and its glyphs are kept
// for every later repaint.
#pragma once

#include <QAbstractScrollArea>
#include <QGlyphRun>
#include <QList>
#include <QString>
#include <cstdint>
#include <deque>
#include <vector>

#include "LineShaper.h"

class TMessageBoard : public QAbstractScrollArea {
    Q_OBJECT
  public:
    explicit TMessageBoard(int maxLines, QWidget* parent = nullptr);

    // Adds a line at the bottom and returns its number, which names the line for ReplaceLine
    // for as long as it stays on the board. An operator who scrolled back keeps the lines being
    // read in view; at the bottom, the board follows the new line and selects it.
    uint64_t AddLine(const QString& text);
    // Gives the line with that number a new text; false when that line has left the board.
    bool ReplaceLine(uint64_t number, const QString& text);
    void Clear();

    int Count() const { return static_cast<int>(lines_.size()); }
    QString Line(int row) const;
    int CurrentRow() const { return current_; }
    void SetCurrentRow(int row);
    // The first row wholly or partly in view, -1 when the board is empty.
    int TopRow() const;
    void ScrollToRow(int row);  // puts that row at the top of the view, as far as it goes
    bool AtBottom() const;
    int LineHeight() const { return lineHeight_; }

    // With deferred scrolls, lines added at the bottom move the picture only when
    // ApplyScrolls is called, by all of them at once; the window must call it before each of
    // its repaints. A repaint that comes without it (the window uncovered, a grab) draws the
    // board whole instead, so the picture is never wrong.
    void SetScrollsDeferred(bool deferred);
    void ApplyScrolls();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    struct Entry {
        QString text;
        QList<QGlyphRun> glyphs;
        int width = 0;
    };

    Entry Lay(const QString& text);
    void Measure();  // line height, margin and scroll steps, from the font and style
    // Scroll ranges for the lines and the view, the view's top at top (as far as it goes),
    // without moving the picture: callers repaint what they need.
    void SetScrollRanges(int top);
    QRect RowRect(int row) const;
    void UpdateRow(int row);
    void RedrawAll();  // the whole view anew at the next repaint; nothing held back is needed
    void EnsureVisible(int row);

    const int maxLines_;
    LineShaper shaper_;
    std::deque<Entry> lines_;
    uint64_t firstNumber_ = 0;  // number of lines_.front()
    int current_ = -1;
    int lineHeight_ = 1;
    int widest_ = 0;
    int margin_ = 0;
    bool holdScroll_ = false;  // scroll bars set by the board itself: no picture moves
    bool deferScrolls_ = false;
    int pendingScroll_ = 0;              // pixels the picture still has to move (up is negative)
    std::vector<uint64_t> pendingRows_;  // lines to redraw once it has moved, by number
};
