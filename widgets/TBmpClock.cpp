#include "TBmpClock.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "SurfaceFill.h"
#include "WidgetColors.h"

// The clock faces are compiled into the widget library; a static library must register its
// resources explicitly before the first lookup.
static void EnsureClockResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(clock);
        return true;
    }();
    (void)registered;
}

namespace {

const char* const kVersionInfo = "TBmpClock 1.0 - analogue clock of the temperature station";
const char* const kAboutCaption = "About TBmpClock 1.0";

// Rounds to the nearest integer, halves to the even neighbour.
int RoundHalfEven(double v) {
    const double r = std::nearbyint(v);  // default rounding mode: to nearest, ties to even
    return static_cast<int>(r);
}

}  // namespace

TBmpClock::TBmpClock(QWidget* parent)
    : QWidget(parent),
      transParentColor(widgetcolors::clFuchsia()),
      timer(new QTimer(this)),
      backGroundColor(widgetcolors::clBlack()),
      center(new TCenter(this, 50, 50)),
      hourHand(new THand(this, 25, 6, 2, widgetcolors::clGreen())),
      minuteHand(new THand(this, 30, 6, 2, widgetcolors::clBlue())),
      secondHand(new THand(this, 38, 11, 1, widgetcolors::clRed())),
      centerMark(new TCenterPoint(this)),
      color(widgetcolors::clWindow()),
      timeSource([] { return QTime::currentTime(); }) {
    resize(100, 100);
    setAttribute(Qt::WA_OpaquePaintEvent);
    picture = BuiltInFace();
    timer->setInterval(interval);
    connect(timer, &QTimer::timeout, this, &TBmpClock::TimerTick);
    timer->start();
    versionInfo = QString::fromLatin1(kVersionInfo);
    setMouseTracking(true);
    const auto repaintOnChange = [this] { update(); };
    connect(center, &TCenter::Changed, this, repaintOnChange);
    connect(hourHand, &THand::Changed, this, repaintOnChange);
    connect(minuteHand, &THand::Changed, this, repaintOnChange);
    connect(secondHand, &THand::Changed, this, repaintOnChange);
    connect(centerMark, &TCenterPoint::Changed, this, repaintOnChange);
}

TBmpClock::~TBmpClock() {
    // Stop before the members go, so no tick reaches a half-destroyed clock.
    timer->stop();
}

QImage TBmpClock::BuiltInFace() {
    EnsureClockResources();
    return QImage(QStringLiteral(":/clock/BMPCLOCK")).convertToFormat(QImage::Format_RGB32);
}

QImage TBmpClock::MainWindowFace() {
    EnsureClockResources();
    return QImage(QStringLiteral(":/clock/MAINFACE")).convertToFormat(QImage::Format_RGB32);
}

void TBmpClock::ConfigureAsMainWindowClock(TBmpClock& clock) {
    clock.resize(98, 98);
    clock.setColor(widgetcolors::clNavy());
    clock.LoadPicture(MainWindowFace());
    clock.setPictureStyle(psStretch);
    clock.setThemeStyle(tsRoundRect);
    clock.setActive(true);
    THand* h = clock.HourHand();
    h->setRadius(25);
    h->setBackRadius(6);
    h->setWidth(2);
    h->setColor(widgetcolors::clYellow());
    THand* m = clock.MinuteHand();
    m->setRadius(35);
    m->setBackRadius(6);
    m->setWidth(2);
    m->setColor(widgetcolors::clLime());
    THand* s = clock.SecondHand();
    s->setRadius(38);
    s->setBackRadius(11);
    s->setWidth(1);
    s->setColor(widgetcolors::clRed());
    clock.CenterMark()->setPenColor(widgetcolors::clLime());
    clock.setTransParentColor(widgetcolors::clAqua());
    clock.Loaded();
}

void TBmpClock::setTimeSource(std::function<QTime()> source) {
    timeSource = source ? std::move(source) : [] { return QTime::currentTime(); };
    update();
}

void TBmpClock::Loaded() {
    const QTime now = timeSource();
    lastHour = static_cast<quint16>(now.hour());
    lastMinute = static_cast<quint16>(now.minute());
    lastSecond = static_cast<quint16>(now.second());
}

void TBmpClock::TimerTick() {
    const QTime now = timeSource();
    hour = static_cast<quint16>(now.hour());
    minute = static_cast<quint16>(now.minute());
    second = static_cast<quint16>(now.second());
    Paint();
    if (second != lastSecond) {
        emit OnSecond(this, second);
        lastSecond = second;
    }
    if (minute != lastMinute) {
        emit OnMinute(this, minute);
        lastMinute = minute;
    }
    if (hour != lastHour) {
        emit OnHour(this, hour);
        lastHour = hour;
    }
    emit OnTime(this);
}

void TBmpClock::Paint() {
    // A visible clock is drawn at once; a hidden one still keeps its picture current.
    if (isVisible()) {
        repaint();
    } else {
        ComposeBackBuffer();
    }
}

QPoint TBmpClock::HandCentre() const {
    if (autoCenter) return {width() / 2, height() / 2};
    return {center->X(), center->Y()};
}

void TBmpClock::ComposeFace(int w, int h) {
    faceCopy = QImage(w, h, QImage::Format_RGB32);
    QPainter painter(&faceCopy);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRect(0, 0, w, h), color);

    if (backGroundStyle == bgColor) {
        painter.fillRect(QRect(0, 0, w, h), backGroundColor);
    } else if (!picture.isNull()) {
        QImage face = picture;
        switch (pictureStyle) {
            case psNone:
                break;
            case psStretch: {
                face = QImage(w, h, QImage::Format_RGB32);
                face.fill(color);
                QPainter facePainter(&face);
                facePainter.setRenderHint(QPainter::SmoothPixmapTransform, false);
                facePainter.drawImage(QRect(0, 0, w, h), picture);
                break;
            }
            case psTile: {
                face = QImage(w, h, QImage::Format_RGB32);
                face.fill(color);
                QPainter facePainter(&face);
                for (int y = 0; y < h; y += picture.height()) {
                    for (int x = 0; x < w; x += picture.width()) {
                        facePainter.drawImage(QPoint(x, y), picture);
                    }
                }
                break;
            }
        }
        painter.drawImage(
            QPoint(0, 0),
            transParent ? surfacefill::ReplaceKeyColour(face, transParentColor, color) : face);
    }
}

void TBmpClock::ComposeBackBuffer() {
    const int w = std::max(1, width());
    const int h = std::max(1, height());
    // The face changes only with the settings; the hands move every second. The face is
    // composed once for the settings in force and kept.
    const FaceKey key{picture.cacheKey(),
                      w,
                      h,
                      backGroundStyle,
                      pictureStyle,
                      transParent,
                      transParentColor.rgba(),
                      color.rgba(),
                      backGroundColor.rgba()};
    if (!(key == faceKey) || faceCopy.isNull()) {
        ComposeFace(w, h);
        faceKey = key;
    }
    if (backBuffer.size() != QSize(w, h)) backBuffer = QImage(w, h, QImage::Format_RGB32);

    QPainter painter(&backBuffer);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPoint(0, 0), faceCopy);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);

    const QTime now = timeSource();
    const double twoPi = 2.0 * M_PI;
    currentAngle = (now.hour() + now.minute() / 60.0) * twoPi / 12.0;
    if (hourHandEnabled) {
        DrawHand(painter, hourHand->Radius(), hourHand->BackRadius(), hourHand->Color(),
                 hourHand->Width());
    }
    currentAngle = now.minute() * twoPi / 60.0;
    if (minuteHandEnabled) {
        DrawHand(painter, minuteHand->Radius(), minuteHand->BackRadius(), minuteHand->Color(),
                 minuteHand->Width());
    }
    currentAngle = now.second() * twoPi / 60.0;
    if (secondHandEnabled) {
        DrawHand(painter, secondHand->Radius(), secondHand->BackRadius(), secondHand->Color(),
                 secondHand->Width());
    }
    if (centerPoint) {
        DrawCenterMark(painter, centerMark->PointSize(), centerMark->PenSize(),
                       centerMark->PenColor(), centerMark->FillColor());
    }
}

void TBmpClock::DrawHand(QPainter& painter, int radius, int backRadius, const QColor& colour,
                         int width) {
    const QPoint c = HandCentre();
    const double s = std::sin(currentAngle);
    const double k = std::cos(currentAngle);
    const QPoint tip(RoundHalfEven(c.x() + radius * s), RoundHalfEven(c.y() - radius * k));
    const QPoint start =
        roundHole
            ? QPoint(RoundHalfEven(c.x() + backRadius * s), RoundHalfEven(c.y() - backRadius * k))
            : QPoint(RoundHalfEven(c.x() - backRadius * s), RoundHalfEven(c.y() + backRadius * k));
    QPen pen(colour, std::max(1, width));
    painter.setPen(pen);
    painter.drawLine(start, tip);
}

void TBmpClock::DrawCenterMark(QPainter& painter, int pointSize, int penSize,
                               const QColor& penColour, const QColor& fillColour) {
    const QPoint c = HandCentre();
    painter.setPen(QPen(penColour, std::max(1, penSize)));
    painter.setBrush(fillColour);
    painter.drawEllipse(QRect(c.x() - pointSize, c.y() - pointSize, 2 * pointSize, 2 * pointSize));
    painter.setBrush(Qt::NoBrush);
}

void TBmpClock::paintEvent(QPaintEvent*) {
    ComposeBackBuffer();
    {
        // Drawn in bands of a few dozen rows: through the clock's shape (a clip that is not a
        // rectangle) the paint engine hands a taller picture to worker threads, whose waking
        // costs far more than drawing a clock this small.
        QPainter painter(this);
        for (int y = 0; y < backBuffer.height(); y += kPaintBand) {
            const QRect band(0, y, backBuffer.width(),
                             std::min(kPaintBand, backBuffer.height() - y));
            painter.drawImage(band.topLeft(), backBuffer, band);
        }
    }
    if (width() != regionWidth || height() != regionHeight) {
        regionWidth = width();
        regionHeight = height();
        ApplyShape();
    }
}

void TBmpClock::ApplyShape() {
    const QRect r(0, 0, width(), height());
    switch (themeStyle) {
        case tsNone:
            setMask(QRegion(r));
            break;
        case tsCircle:
            setMask(QRegion(r, QRegion::Ellipse));
            break;
        case tsRoundRect: {
            QPainterPath path;
            path.addRoundedRect(QRectF(r), roundX / 2.0, roundY / 2.0);
            setMask(QRegion(path.toFillPolygon().toPolygon()));
            break;
        }
    }
    update();
}

void TBmpClock::setPicture(const QImage& image) {
    if (image.isNull()) return;
    picture = image.convertToFormat(QImage::Format_RGB32);
    resize(picture.size());
    update();
}

void TBmpClock::LoadPicture(const QImage& image) {
    if (image.isNull()) return;
    picture = image.convertToFormat(QImage::Format_RGB32);
    update();
}

void TBmpClock::setTransParentColor(const QColor& colour) {
    if (colour == transParentColor) return;
    transParentColor = colour;
    update();
}

void TBmpClock::setTransParent(bool on) {
    if (on == transParent) return;
    transParent = on;
    update();
}

void TBmpClock::setInterval(int ms) {
    ms = std::clamp(ms, 0, 65535);
    if (ms == interval) return;
    interval = ms;
    timer->setInterval(ms);
    update();
}

void TBmpClock::setActive(bool on) {
    if (on == active) return;
    active = on;
    if (on) {
        timer->start();
    } else {
        timer->stop();
    }
    update();
}

void TBmpClock::setVersionInfo(const QString& text) {
    if (text == versionInfo) return;
    QMessageBox::information(this, QString::fromLatin1(kAboutCaption), versionInfo);
}

void TBmpClock::setBackGroundStyle(TBgStyle style) {
    if (style == backGroundStyle) return;
    backGroundStyle = style;
    update();
}

void TBmpClock::setBackGroundColor(const QColor& colour) {
    if (colour == backGroundColor) return;
    backGroundColor = colour;
    update();
}

void TBmpClock::setCenterPoint(bool on) {
    if (on == centerPoint) return;
    centerPoint = on;
    update();
}

void TBmpClock::setAutoCenter(bool on) {
    if (on == autoCenter) return;
    if (on) {
        center->setX(width() / 2);
        center->setY(height() / 2);
    }
    autoCenter = on;
    update();
}

void TBmpClock::setHourHandEnabled(bool on) {
    if (on == hourHandEnabled) return;
    hourHandEnabled = on;
    update();
}

void TBmpClock::setMinuteHandEnabled(bool on) {
    if (on == minuteHandEnabled) return;
    minuteHandEnabled = on;
    update();
}

void TBmpClock::setSecondHandEnabled(bool on) {
    if (on == secondHandEnabled) return;
    secondHandEnabled = on;
    update();
}

void TBmpClock::setPictureStyle(TPictureStyle style) {
    if (style == pictureStyle) return;
    pictureStyle = style;
    update();
}

void TBmpClock::setThemeStyle(TThemeStyle style) {
    if (style == themeStyle) return;
    themeStyle = style;
    ApplyShape();
}

void TBmpClock::setRoundX(int value) {
    if (value == roundX) return;
    roundX = value;
    ApplyShape();
}

void TBmpClock::setRoundY(int value) {
    if (value == roundY) return;
    roundY = value;
    ApplyShape();
}

void TBmpClock::setRoundHole(bool on) {
    if (on == roundHole) return;
    roundHole = on;
    update();
}

void TBmpClock::setColor(const QColor& colour) {
    if (colour == color) return;
    color = colour;
    update();
}

void TBmpClock::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::EnabledChange) return;
    active = isEnabled();
    if (active) {
        timer->start();
    } else {
        timer->stop();
    }
    update();
}

void TBmpClock::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) pressed = true;
    const QPoint p = event->position().toPoint();
    emit OnMouseDown(this, event->button(), event->modifiers(), p.x(), p.y());
}

void TBmpClock::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !pressed) return;
    pressed = false;
    if (rect().contains(event->position().toPoint())) emit OnClick(this);
}

void TBmpClock::mouseDoubleClickEvent(QMouseEvent* event) {
    QWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) emit OnDblClick(this);
}

void TBmpClock::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
    const QPoint p = event->position().toPoint();
    emit OnMouseMove(this, event->modifiers(), p.x(), p.y());
}

void TBmpClock::contextMenuEvent(QContextMenuEvent* event) {
    if (popupMenu == nullptr) {
        QWidget::contextMenuEvent(event);
        return;
    }
    popupMenu->popup(event->globalPos());
}
