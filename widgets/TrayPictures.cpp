#include "TrayPictures.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>

#include "TImageList.h"
#include "ThTrayIcon.h"

namespace {

// A transparent square picture of size pixels.
QImage Canvas(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void DrawThermometer(QPainter& p, const QColor& glass, const QColor& fluid) {
    p.setPen(Qt::NoPen);
    p.setBrush(glass);
    p.drawRoundedRect(QRectF(6.5, 1.5, 3.0, 10.0), 1.5, 1.5);
    p.drawEllipse(QPointF(8.0, 12.0), 2.8, 2.8);
    p.setBrush(fluid);
    p.drawRect(QRectF(7.3, 5.0, 1.4, 7.0));
    p.drawEllipse(QPointF(8.0, 12.0), 1.9, 1.9);
}

QPixmap StaticPicture(int size) {
    QImage image = Canvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);  // drawn on a 16 x 16 design grid
    p.setPen(QPen(QColor(10, 40, 90), 0.6));
    p.setBrush(QColor(30, 90, 170));
    p.drawRoundedRect(QRectF(0.5, 0.5, 15.0, 15.0), 3.0, 3.0);
    DrawThermometer(p, Qt::white, QColor(220, 30, 30));
    p.end();
    return QPixmap::fromImage(image);
}

QPixmap FlashPicture(int frame, int size) {
    QImage image = Canvas(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);  // drawn on a 16 x 16 design grid
    if (frame == 0) {
        // Red tile, white thermometer filled to the top.
        p.setPen(QPen(QColor(110, 0, 0), 0.6));
        p.setBrush(QColor(230, 20, 20));
        p.drawRoundedRect(QRectF(0.5, 0.5, 15.0, 15.0), 3.0, 3.0);
        DrawThermometer(p, Qt::white, QColor(255, 200, 0));
    } else {
        // Yellow tile, dark thermometer: the two frames differ in every pixel that matters.
        p.setPen(QPen(QColor(120, 90, 0), 0.6));
        p.setBrush(QColor(255, 210, 0));
        p.drawRoundedRect(QRectF(0.5, 0.5, 15.0, 15.0), 3.0, 3.0);
        DrawThermometer(p, QColor(40, 40, 40), QColor(230, 20, 20));
    }
    p.end();
    return QPixmap::fromImage(image);
}

}  // namespace

QIcon MakeTrayStaticIcon() {
    QIcon icon;
    for (int size : {16, 32, 48}) icon.addPixmap(StaticPicture(size));
    return icon;
}

QIcon MakeTrayFlashFrame(int frame) {
    // Drawn at each size a tray asks for, so that a tray of 22 or 32 pixels shows it crisp
    // instead of scaling the 16-pixel picture.
    QIcon icon;
    for (int size : {16, 22, 32}) icon.addPixmap(FlashPicture(frame == 0 ? 0 : 1, size));
    return icon;
}

void FillTrayFrames(TImageList& frames) {
    frames.Clear();
    frames.Add(MakeTrayFlashFrame(0));
    frames.Add(MakeTrayFlashFrame(1));
}

void SetUpStationTrayIcon(ThTrayIcon& tray, TImageList& frames) {
    FillTrayFrames(frames);
    const QString name = QStringLiteral("Orvalis");
    tray.SetHint(name);
    tray.SetBalloonHint(name);
    tray.SetBalloonTitle(name);
    tray.SetBalloonTimeout(1000);
    tray.SetIcon(MakeTrayStaticIcon());
    tray.SetIcons(&frames);
}
