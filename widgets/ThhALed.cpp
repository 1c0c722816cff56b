#include "ThhALed.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include "SurfaceFill.h"
#include "WidgetColors.h"

// The lamp pictures are compiled into the widget library; a static library must register
// its resources explicitly before the first lookup.
static void EnsureLampResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(lamps);
        return true;
    }();
    (void)registered;
}

namespace {

const QColor kBodyGreen(0x00, 0xFF, 0x00);
const QColor kSurroundSilver(0xC0, 0xC0, 0xC0);

}  // namespace

ThhALed::ThhALed(QWidget* parent) : QWidget(parent) {
    resize(10, 10);
    trueColor = widgetcolors::clLime();
    falseColor = widgetcolors::clSilver();
    borderColor = widgetcolors::clBtnFace();
    BuildImages();
}

ThhALed::~ThhALed() {
    StopBlink();
}

void ThhALed::ConfigureAsMainWindowLamp(ThhALed& led) {
    led.setFalseColor(widgetcolors::clRed());
    led.setBorderColor(widgetcolors::clBlack());
    led.setValue(true);
    led.setInterval(200);
    led.setLEDStyle(LEDSqLarge);
}

QString ThhALed::ResourceName(TLEDStyle style, bool bordered) {
    static const char* const suffixes[] = {"SM", "LG", "SQSM", "SQLG", "VT", "HZ"};
    const int index = style <= LEDHorizontal ? style : LEDSmall;
    return QString(bordered ? "B" : "N") + suffixes[index];
}

QSize ThhALed::StyleSize(TLEDStyle style) {
    switch (style) {
        case LEDLarge:
        case LEDSqLarge:
            return {22, 22};
        case LEDVertical:
            return {16, 22};
        case LEDHorizontal:
            return {22, 16};
        case LEDSmall:
        case LEDSqSmall:
        default:
            return {16, 16};
    }
}

void ThhALed::BuildImages() {
    EnsureLampResources();
    resize(StyleSize(ledStyle));
    const QImage picture(QStringLiteral(":/lamps/") + ResourceName(ledStyle, bordered));
    // A missing picture leaves a blank lamp rather than a null image to paint.
    const QImage base = picture.isNull() ? QImage(StyleSize(ledStyle), QImage::Format_RGB32)
                                         : picture.convertToFormat(QImage::Format_RGB32);
    litImage = base;
    unlitImage = base;
    const QPoint centre(width() / 2, height() / 2);
    surfacefill::FloodFillSurface(litImage, centre, kBodyGreen, trueColor);
    surfacefill::FloodFillSurface(unlitImage, centre, kBodyGreen, falseColor);
    if (!bordered) {
        surfacefill::FloodFillSurface(litImage, QPoint(0, 0), kSurroundSilver, borderColor);
        surfacefill::FloodFillSurface(unlitImage, QPoint(0, 0), kSurroundSilver, borderColor);
    }
}

void ThhALed::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(rect(), phase == 0 ? litImage : unlitImage);
}

// The lamp shows its new state at once; a hidden lamp simply remembers the phase.
void ThhALed::DrawLit() {
    phase = 0;
    repaint();
}

void ThhALed::DrawUnlit() {
    phase = 1;
    repaint();
}

void ThhALed::StartBlink() {
    if (blinkTimer != nullptr) return;
    phase = 0;
    blinkTimer = new QTimer(this);
    blinkTimer->setInterval(interval);
    connect(blinkTimer, &QTimer::timeout, this, &ThhALed::BlinkStep);
    blinkTimer->start();
}

void ThhALed::StopBlink() {
    delete blinkTimer;
    blinkTimer = nullptr;
}

void ThhALed::BlinkStep() {
    phase = phase == 0 ? 1 : 0;
    repaint();
    emit OnTimer(this);
}

void ThhALed::setValue(bool on) {
    if (on == value) return;
    value = on;
    if (on) {
        DrawLit();
        if (blink) StartBlink();
    } else {
        StopBlink();
        DrawUnlit();
    }
}

void ThhALed::setBlink(bool on) {
    if (on == blink) return;
    if (value) {
        DrawLit();
    } else {
        DrawUnlit();
    }
    blink = on;
    if (on && value) {
        StartBlink();
    } else {
        StopBlink();
    }
}

void ThhALed::ChangeColour(QColor& field, const QColor& colour) {
    if (field.rgb() == colour.rgb()) return;
    const bool wasBlinking = blink;
    if (wasBlinking) setBlink(false);
    field = colour;
    BuildImages();
    setBlink(wasBlinking);
    update();
}

void ThhALed::setTrueColor(const QColor& colour) {
    ChangeColour(trueColor, colour);
}
void ThhALed::setFalseColor(const QColor& colour) {
    ChangeColour(falseColor, colour);
}
void ThhALed::setBorderColor(const QColor& colour) {
    ChangeColour(borderColor, colour);
}

void ThhALed::setBordered(bool on) {
    if (on == bordered) return;
    bordered = on;
    BuildImages();
    update();
}

void ThhALed::setLEDStyle(TLEDStyle style) {
    if (style == ledStyle) return;
    ledStyle = style;
    BuildImages();
    update();
}

void ThhALed::setLEDStyleOrdinal(int ordinal) {
    if (ordinal < LEDSmall || ordinal > LEDHorizontal) return;
    setLEDStyle(static_cast<TLEDStyle>(ordinal));
}

void ThhALed::setInterval(int ms) {
    interval = ms;
    if (blinkTimer != nullptr) blinkTimer->setInterval(ms);
}

void ThhALed::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    emit OnMouseEnter(this);
}

void ThhALed::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    emit OnMouseLeave(this);
}

void ThhALed::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) pressed = true;
}

void ThhALed::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !pressed) return;
    pressed = false;
    if (rect().contains(event->position().toPoint())) emit OnClick(this);
}
