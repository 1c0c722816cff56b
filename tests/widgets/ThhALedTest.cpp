// Lamp behaviour: blinking, colour and style changes, and the pictures it paints.
#include <gtest/gtest.h>

#include <QEnterEvent>
#include <QSignalSpy>
#include <QTimer>

#include "SurfaceFill.h"
#include "TestSupport.h"
#include "ThhALed.h"
#include "WidgetColors.h"

namespace {

QImage Render(QWidget& w) {
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QRgb Rgb(const QColor& c) {
    return c.rgb() | 0xFF000000u;
}

int BlinkTimers(const ThhALed& led) {
    return led.findChildren<QTimer*>().size();
}

}  // namespace

TEST(ThhALed, StartsSmallUnlitWithTheUnlitPicture) {
    ThhALed led;
    EXPECT_EQ(led.size(), QSize(16, 16));
    EXPECT_FALSE(led.Value());
    EXPECT_TRUE(led.Blink());
    EXPECT_EQ(led.Phase(), 1);
    EXPECT_EQ(BlinkTimers(led), 0);
    const QImage shown = Render(led);
    EXPECT_EQ(shown.pixel(8, 8), Rgb(widgetcolors::clSilver()));
    EXPECT_EQ(led.LitImage().pixel(8, 8), Rgb(widgetcolors::clLime()));
}

TEST(ThhALed, EveryStylePictureLoadsAtItsSizeWithAGreenBody) {
    for (int style = LEDSmall; style <= LEDHorizontal; ++style) {
        for (bool bordered : {true, false}) {
            const QString name = ThhALed::ResourceName(static_cast<TLEDStyle>(style), bordered);
            const QImage picture(":/lamps/" + name);
            ASSERT_FALSE(picture.isNull()) << name.toStdString();
            EXPECT_EQ(picture.size(), ThhALed::StyleSize(static_cast<TLEDStyle>(style)));
            const QPoint centre(picture.width() / 2, picture.height() / 2);
            EXPECT_EQ(picture.pixel(centre) & RGB_MASK, 0x00FF00u) << name.toStdString();
            // Not-bordered pictures have a silver surround touching the top-left pixel;
            // bordered ones a white frame there.
            EXPECT_EQ(picture.pixel(0, 0) & RGB_MASK, bordered ? 0xFFFFFFu : 0xC0C0C0u);
        }
    }
}

TEST(ThhALed, ValueTrueTwiceMakesOneTimerAndFalseRemovesIt) {
    ThhALed led;
    led.setValue(true);
    led.setValue(true);
    EXPECT_EQ(BlinkTimers(led), 1);
    EXPECT_EQ(led.Phase(), 0);
    EXPECT_EQ(Render(led).pixel(8, 8), Rgb(widgetcolors::clLime()));
    led.setValue(false);
    EXPECT_EQ(BlinkTimers(led), 0);
    EXPECT_EQ(led.Phase(), 1);
    EXPECT_EQ(Render(led).pixel(8, 8), Rgb(widgetcolors::clSilver()));
}

TEST(ThhALed, BlinkingStartsWithTheLitPictureAndAlternates) {
    ThhALed led;
    led.setBlink(false);
    led.setValue(true);
    EXPECT_EQ(BlinkTimers(led), 0);
    EXPECT_EQ(led.Phase(), 0);

    led.setInterval(15);
    std::vector<int> phases;
    QObject::connect(&led, &ThhALed::OnTimer, [&](QObject* sender) {
        EXPECT_EQ(sender, &led);
        phases.push_back(led.Phase());
    });
    led.setBlink(true);
    EXPECT_EQ(led.Phase(), 0);
    EXPECT_EQ(BlinkTimers(led), 1);
    ASSERT_TRUE(testsupport::WaitFor([&] { return phases.size() >= 4; }));
    EXPECT_EQ(phases[0], 1);
    EXPECT_EQ(phases[1], 0);
    EXPECT_EQ(phases[2], 1);
    EXPECT_EQ(phases[3], 0);

    led.setBlink(false);
    EXPECT_EQ(BlinkTimers(led), 0);
    EXPECT_EQ(led.Phase(), 0);
}

TEST(ThhALed, ColourChangeWhileBlinkingRestartsTheCycleWithTheNewColour) {
    ThhALed led;
    led.setInterval(15);
    led.setValue(true);
    ASSERT_TRUE(testsupport::WaitFor([&] { return led.Phase() == 1; }));
    led.setTrueColor(widgetcolors::clBlue());
    EXPECT_EQ(led.Phase(), 0);
    ASSERT_EQ(BlinkTimers(led), 1);
    EXPECT_TRUE(led.findChild<QTimer*>()->isActive());
    EXPECT_EQ(led.findChild<QTimer*>()->interval(), 15);
    EXPECT_EQ(led.LitImage().pixel(8, 8), Rgb(widgetcolors::clBlue()));
}

TEST(ThhALed, IntervalReachesARunningTimerAndTheNextStart) {
    ThhALed led;
    led.setInterval(300);
    led.setValue(true);
    ASSERT_EQ(BlinkTimers(led), 1);
    EXPECT_EQ(led.findChild<QTimer*>()->interval(), 300);
    led.setInterval(200);
    EXPECT_EQ(led.findChild<QTimer*>()->interval(), 200);
    led.setValue(false);
    led.setInterval(50);
    led.setValue(true);
    EXPECT_EQ(led.findChild<QTimer*>()->interval(), 50);
}

TEST(ThhALed, StyleResizesTheControlAndALaterSizeStretchesThePicture) {
    ThhALed led;
    led.resize(50, 40);
    led.setLEDStyle(LEDVertical);
    EXPECT_EQ(led.size(), QSize(16, 22));
    led.setLEDStyle(LEDHorizontal);
    EXPECT_EQ(led.size(), QSize(22, 16));

    led.setBordered(false);
    led.setBorderColor(widgetcolors::clBlack());
    led.resize(44, 32);
    const QImage shown = Render(led);
    ASSERT_EQ(shown.size(), QSize(44, 32));
    EXPECT_EQ(shown.pixel(22, 16), Rgb(widgetcolors::clSilver()));  // unlit body
    EXPECT_EQ(shown.pixel(0, 0), Rgb(widgetcolors::clBlack()));
    EXPECT_EQ(shown.pixel(43, 31), Rgb(widgetcolors::clBlack()));
}

TEST(ThhALed, NotBorderedSurroundTakesBorderColourBorderedIgnoresIt) {
    ThhALed led;
    led.setLEDStyle(LEDLarge);
    led.setBordered(false);
    led.setBorderColor(widgetcolors::clBlack());
    QImage shown = Render(led);
    const QRgb black = Rgb(widgetcolors::clBlack());
    for (QPoint p : {QPoint(0, 0), QPoint(21, 0), QPoint(0, 21), QPoint(21, 21), QPoint(10, 0)}) {
        EXPECT_EQ(shown.pixel(p), black) << p.x() << "," << p.y();
    }
    // The bevel's silver is not part of the surround and keeps its colour.
    int silver = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            if (shown.pixel(x, y) == Rgb(widgetcolors::clSilver()) &&
                QPoint(x, y) != QPoint(11, 11))
                ++silver;
    EXPECT_GT(silver, 0);

    led.setBordered(true);
    const QImage borderedBlack = Render(led);
    EXPECT_EQ(borderedBlack.pixel(0, 0), 0xFFFFFFFFu);  // white frame
    EXPECT_EQ(borderedBlack.pixel(1, 1), Rgb(widgetcolors::clSilver()));
    led.setBorderColor(widgetcolors::clRed());
    EXPECT_EQ(Render(led), borderedBlack);
}

TEST(ThhALed, SilverFalseColourDoesNotLeakIntoTheSurround) {
    for (TLEDStyle style : {LEDSmall, LEDSqLarge, LEDVertical}) {
        ThhALed led;
        led.setLEDStyle(style);
        led.setBordered(false);
        led.setBorderColor(widgetcolors::clBlack());
        ASSERT_EQ(led.FalseColor().rgb(), widgetcolors::clSilver().rgb());
        const QImage& unlit = led.UnlitImage();
        const QPoint centre(led.width() / 2, led.height() / 2);
        EXPECT_EQ(unlit.pixel(centre), Rgb(widgetcolors::clSilver())) << int(style);
        EXPECT_EQ(unlit.pixel(0, 0), Rgb(widgetcolors::clBlack()));
        // The black ring still parts body and surround.
        int ringPixels = 0;
        for (int x = 0; x < centre.x(); ++x)
            if (unlit.pixel(x, centre.y()) == Rgb(widgetcolors::clBlack())) ++ringPixels;
        EXPECT_GE(ringPixels, 2) << "surround and ring expected on the way to the centre";
        EXPECT_NE(unlit.pixel(centre.x() - 3, centre.y()), Rgb(widgetcolors::clBlack()));
    }
}

TEST(ThhALed, MainWindowLampIsSquareLargeRedWhenUnlitAndBlinksFast) {
    ThhALed led;
    ThhALed::ConfigureAsMainWindowLamp(led);
    EXPECT_EQ(led.size(), QSize(22, 22));
    EXPECT_EQ(led.LEDStyle(), LEDSqLarge);
    EXPECT_TRUE(led.Value());
    ASSERT_EQ(BlinkTimers(led), 1);
    EXPECT_EQ(led.findChild<QTimer*>()->interval(), 200);
    EXPECT_EQ(led.UnlitImage().pixel(11, 11), Rgb(widgetcolors::clRed()));
    EXPECT_EQ(led.LitImage().pixel(11, 11), Rgb(widgetcolors::clLime()));
    led.setValue(false);
    EXPECT_EQ(Render(led).pixel(11, 11), Rgb(widgetcolors::clRed()));
}

TEST(ThhALed, MouseEnterAndLeaveAreReported) {
    ThhALed led;
    QSignalSpy entered(&led, &ThhALed::OnMouseEnter);
    QSignalSpy left(&led, &ThhALed::OnMouseLeave);
    QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), QPointF(3, 3));
    QCoreApplication::sendEvent(&led, &enter);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&led, &leave);
    EXPECT_EQ(entered.count(), 1);
    EXPECT_EQ(left.count(), 1);
}

TEST(SurfaceFill, FillsTheFourConnectedRegionOnly) {
    QImage img(5, 5, QImage::Format_RGB32);
    img.fill(QColor(Qt::white));
    // A diagonal of black pixels parts the image: the two halves touch only at corners,
    // which a 4-connected fill does not cross.
    for (int i = 0; i < 5; ++i) img.setPixelColor(i, 4 - i, Qt::black);
    EXPECT_EQ(surfacefill::FloodFillSurface(img, {0, 0}, Qt::white, Qt::red), 10);
    EXPECT_EQ(img.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(img.pixelColor(4, 4), QColor(Qt::white));
    // Start on a pixel of another colour: nothing changes.
    EXPECT_EQ(surfacefill::FloodFillSurface(img, {4, 0}, Qt::white, Qt::blue), 0);
    // Filling a region with its own colour ends.
    EXPECT_EQ(surfacefill::FloodFillSurface(img, {4, 4}, Qt::white, Qt::white), 10);
    const QImage keyed = surfacefill::ReplaceKeyColour(img, Qt::red, Qt::green);
    EXPECT_EQ(keyed.pixelColor(0, 0), QColor(Qt::green));
    EXPECT_EQ(keyed.pixelColor(4, 4), QColor(Qt::white));
}
