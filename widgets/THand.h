// Settings of one clock hand: length, length behind the centre, pen width and colour.
#pragma once

#include <QColor>
#include <QObject>

class THand : public QObject {
    Q_OBJECT
    Q_PROPERTY(int Radius READ Radius WRITE setRadius)
    Q_PROPERTY(int BackRadius READ BackRadius WRITE setBackRadius)
    Q_PROPERTY(int Width READ Width WRITE setWidth)
    Q_PROPERTY(QColor Color READ Color WRITE setColor)

  public:
    // The owning clock is the parent; it repaints on Changed.
    THand(QObject* owner, int radius, int backRadius, int width, const QColor& colour);

    int Radius() const { return radius; }
    void setRadius(int value);
    int BackRadius() const { return backRadius; }
    void setBackRadius(int value);
    int Width() const { return width; }
    void setWidth(int value);
    QColor Color() const { return colour; }
    void setColor(const QColor& value);

  signals:
    void Changed();

  private:
    int radius;
    int backRadius;
    int width;
    QColor colour;
};
