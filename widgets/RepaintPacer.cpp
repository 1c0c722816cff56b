#include "RepaintPacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

int RepaintPacer::Delay(qint64 sinceLastPaintMs, qint64 sinceInputMs, int gapMs, int inputMs,
                        int slackMs) {
    if (sinceInputMs >= 0 && sinceInputMs < inputMs) return 0;
    if (sinceLastPaintMs < 0 || sinceLastPaintMs >= gapMs - slackMs) return 0;
    return static_cast<int>(gapMs - sinceLastPaintMs);
}

RepaintPacer::RepaintPacer(QWidget* window) : QObject(window), window_(window) {
    clock_.start();
    later_.setSingleShot(true);
    // On time to the millisecond: a held repaint let go a little early would be held once more.
    later_.setTimerType(Qt::PreciseTimer);
    // The held request is asked for again; by then the gap has passed and it goes through,
    // painting all that changed while it was held.
    connect(&later_, &QTimer::timeout, this, [this] {
        QCoreApplication::postEvent(window_, new QEvent(QEvent::UpdateRequest),
                                    Qt::LowEventPriority);
    });
    window_->installEventFilter(this);
    WatchInput();
}

void RepaintPacer::WatchInput() {
    // Mouse and key events reach the window-system window before the widget under the cursor
    // or with the focus, so watching that one window sees every action in the whole window.
    QWindow* handle = window_->windowHandle();
    if (handle == handle_) return;
    if (handle_) handle_->removeEventFilter(this);
    handle_ = handle;
    if (handle) handle->installEventFilter(this);
}

bool RepaintPacer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_) {
        switch (event->type()) {
            case QEvent::UpdateRequest: {
                const qint64 now = clock_.elapsed();
                const int wait = Delay(lastPaint_ < 0 ? -1 : now - lastPaint_,
                                       lastInput_ < 0 ? -1 : now - lastInput_);
                if (wait > 0) {
                    if (!later_.isActive()) later_.start(wait);
                    return true;
                }
                later_.stop();
                lastPaint_ = now;
                emit Painting();
                break;
            }
            case QEvent::WinIdChange:
            case QEvent::Show:
                WatchInput();
                break;
            default:
                break;
        }
        return false;
    }
    if (watched == handle_) {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::MouseMove:
            case QEvent::Wheel:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::TouchBegin:
            case QEvent::TouchUpdate:
            case QEvent::TouchEnd:
                lastInput_ = clock_.elapsed();
                break;
            default:
                break;
        }
    }
    return false;
}
