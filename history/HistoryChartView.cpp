#include "HistoryChartView.h"

#include <QMouseEvent>
#include <QWheelEvent>

namespace history {

HistoryChartView::HistoryChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent) {
    setRubberBand(QChartView::RectangleRubberBand);
    setRenderHint(QPainter::Antialiasing);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
}

void HistoryChartView::ZoomAround(const QPointF& position, double factor) {
    const QRectF plot = chart()->plotArea();
    if (!plot.contains(position) || factor <= 0) return;
    // The new plot rectangle in today's coordinates: the time under the pointer keeps its
    // place, the distances to the left and right edges scale by factor. The temperatures stay:
    // the wheel looks closer at a stretch of time.
    const QRectF wanted(QPointF(position.x() - (position.x() - plot.left()) * factor, plot.top()),
                        QSizeF(plot.width() * factor, plot.height()));
    chart()->zoomIn(wanted);
}

void HistoryChartView::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y();
    if (steps == 0) return;
    ZoomAround(event->position(), steps > 0 ? 0.8 : 1.25);
    event->accept();
}

void HistoryChartView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QChartView::mousePressEvent(event);
}

void HistoryChartView::mouseReleaseEvent(QMouseEvent* event) {
    // The view's own right click zooms out one step; here it goes back to the whole range.
    if (event->button() == Qt::RightButton) {
        event->accept();
        emit ResetRequested();
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

void HistoryChartView::mouseMoveEvent(QMouseEvent* event) {
    emit Hovered(event->position());
    QChartView::mouseMoveEvent(event);
}

void HistoryChartView::leaveEvent(QEvent* event) {
    emit Left();
    QChartView::leaveEvent(event);
}

}  // namespace history
