// Paces the repaints of one window. Qt repaints a window in the turn of the event loop after
// something in it changed; a station on a busy bus changes the grid and the board with every
// reading, a few times a second, and each repaint costs more than the reading itself. The
// pacer lets a repaint through at once when the window was last painted long enough ago, or
// when the operator has just used the mouse or the keyboard in it; otherwise it holds the
// repaint until that gap has passed and then paints everything that changed meanwhile at once.
//
// Only the window's own repaint request is held. When the window system asks for a part of the
// window (uncovered, exposed) that part is painted at once as usual, and a grab of the window
// draws its widgets as they are, so nothing is ever shown blank or out of date by more than the
// gap.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;
class QWindow;

class RepaintPacer : public QObject {
    Q_OBJECT
  public:
    // Shortest time between two repaints while nobody works in the window.
    static constexpr int kGapMs = 1000;
    // For this long after a mouse or key action, every change is painted at once.
    static constexpr int kInputMs = 1000;
    // A repaint asked for this little before the gap ends goes through at once. Something
    // that changes once a gap (the clock, the countdown) then has its repaint done in the same
    // turn as its change, instead of in one more wake-up a moment later, which costs more than
    // the little time it would wait.
    static constexpr int kSlackMs = 20;

    // How long a repaint waits: 0 for at once. sinceInputMs is negative when the window has
    // had no input yet.
    static int Delay(qint64 sinceLastPaintMs, qint64 sinceInputMs, int gapMs = kGapMs,
                     int inputMs = kInputMs, int slackMs = kSlackMs);

    // Paces the repaints of window, a top-level widget, from now on.
    explicit RepaintPacer(QWidget* window);

  signals:
    // A repaint of the window goes through now: widgets that keep changes back until the
    // window is painted put them in place.
    void Painting();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void WatchInput();

    QWidget* window_;
    QPointer<QWindow> handle_;
    QElapsedTimer clock_;
    qint64 lastPaint_ = -1;
    qint64 lastInput_ = -1;
    QTimer later_;
};
