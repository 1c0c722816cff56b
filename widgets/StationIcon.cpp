#include "StationIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

QList<int> StationIconSizes() {
    return {16, 22, 24, 32, 48, 64, 128, 256};
}

QImage StationIconPicture(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);  // drawn on a 64 x 64 design grid

    // Tile.
    QLinearGradient tile(0, 0, 0, 64);
    tile.setColorAt(0.0, QColor(0, 150, 150));
    tile.setColorAt(1.0, QColor(0, 82, 98));
    p.setPen(QPen(QColor(0, 52, 60), 1.5));
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(1.5, 1.5, 61.0, 61.0), 12.0, 12.0);

    // Bus line with three sensor points on the left.
    p.setPen(QPen(QColor(255, 236, 150), 3.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(15.0, 14.0), QPointF(15.0, 50.0));
    p.setPen(QPen(QColor(120, 80, 0), 1.2));
    p.setBrush(QColor(255, 200, 0));
    for (double y : {16.0, 32.0, 48.0}) p.drawEllipse(QPointF(15.0, y), 5.0, 5.0);

    // Thermometer: white glass, red column, scale marks on its right.
    p.setPen(QPen(QColor(0, 40, 48), 1.2));
    p.setBrush(Qt::white);
    QPainterPath glass;
    glass.addRoundedRect(QRectF(31.0, 7.0, 12.0, 40.0), 6.0, 6.0);
    glass.addEllipse(QPointF(37.0, 48.0), 10.0, 10.0);
    p.drawPath(glass.simplified());
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(220, 30, 30));
    p.drawRoundedRect(QRectF(34.0, 18.0, 6.0, 30.0), 3.0, 3.0);
    p.drawEllipse(QPointF(37.0, 48.0), 7.0, 7.0);
    p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap));
    for (double y : {14.0, 22.0, 30.0}) p.drawLine(QPointF(47.0, y), QPointF(54.0, y));
    p.end();
    return image;
}

QIcon MakeStationIcon() {
    QIcon icon;
    for (int size : StationIconSizes())
        icon.addPixmap(QPixmap::fromImage(StationIconPicture(size)));
    return icon;
}
