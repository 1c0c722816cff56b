// The chart area of the history window and its mouse: drag a box to zoom into it, turn the
// wheel to zoom the time in or out around the pointer, right click to go back to the whole range;
// the pointer's position is passed on so that the window can name the reading under it.
#pragma once

#include <QtCharts/QChartView>

namespace history {

class HistoryChartView : public QChartView {
    Q_OBJECT
  public:
    explicit HistoryChartView(QChart* chart, QWidget* parent = nullptr);

    // Zooms the time by factor (< 1 in, > 1 out) keeping the time under position where it is.
    void ZoomAround(const QPointF& position, double factor);

  signals:
    void ResetRequested();
    void Hovered(const QPointF& position);  // in the view's coordinates
    void Left();

  protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
};

}  // namespace history
