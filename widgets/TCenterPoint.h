// Look of the round mark the clock can draw over the centre of its hands.
#pragma once

#include <QColor>
#include <QObject>

class TCenterPoint : public QObject {
    Q_OBJECT
    Q_PROPERTY(int PointSize READ PointSize WRITE setPointSize)
    Q_PROPERTY(int PenSize READ PenSize WRITE setPenSize)
    Q_PROPERTY(QColor FillColor READ FillColor WRITE setFillColor)
    Q_PROPERTY(QColor PenColor READ PenColor WRITE setPenColor)

  public:
    explicit TCenterPoint(QObject* owner);

    // Radius of the mark in pixels.
    int PointSize() const { return pointSize; }
    void setPointSize(int value);
    int PenSize() const { return penSize; }
    void setPenSize(int value);
    QColor FillColor() const { return fillColor; }
    void setFillColor(const QColor& value);
    QColor PenColor() const { return penColor; }
    void setPenColor(const QColor& value);

  signals:
    void Changed();

  private:
    int pointSize = 4;
    int penSize = 1;
    QColor fillColor;
    QColor penColor;
};
