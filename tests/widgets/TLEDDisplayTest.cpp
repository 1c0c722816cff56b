// LED digit display: what it shows at rest and how the marquee moves.
#include <gtest/gtest.h>

#include <QImage>

#include "TLEDDisplay.h"
#include "TestSupport.h"

namespace {

struct LitPixels {
    int count = 0;
    int left = INT_MAX;
    int right = -1;
    int top = INT_MAX;
    int bottom = -1;
};

LitPixels Lit(TLEDDisplay& display) {
    const QImage img = display.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb on = display.SegmentColor().rgb() | 0xFF000000u;
    LitPixels lit;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (img.pixel(x, y) != on) continue;
            ++lit.count;
            lit.left = std::min(lit.left, x);
            lit.right = std::max(lit.right, x);
            lit.top = std::min(lit.top, y);
            lit.bottom = std::max(lit.bottom, y);
        }
    }
    return lit;
}

}  // namespace

TEST(TLEDDisplay, ShowsDashesAtRestCentredOnTheMiddleSegments) {
    TLEDDisplay display;
    display.resize(140, 40);
    display.setCaption("-");
    const LitPixels one = Lit(display);
    ASSERT_GT(one.count, 0);

    display.setCaption("---");
    EXPECT_EQ(display.Caption(), "---");
    EXPECT_FALSE(display.Scrolling());
    const LitPixels three = Lit(display);
    EXPECT_EQ(three.count, 3 * one.count);
    // Only the middle bars are lit, and the group sits in the middle of the display.
    EXPECT_GT(three.top, 40 / 3);
    EXPECT_LT(three.bottom, 2 * 40 / 3);
    EXPECT_LE(std::abs(three.left - (139 - three.right)), 2);

    // The background is black and the unlit segments are dim, not lit.
    const QImage img = display.grab().toImage();
    EXPECT_EQ(img.pixel(0, 0) & RGB_MASK, 0u);
}

TEST(TLEDDisplay, DigitsLightTheirSegments) {
    EXPECT_EQ(TLEDDisplay::SegmentsOf('8'), 0x7Fu);
    EXPECT_EQ(TLEDDisplay::SegmentsOf('1'),
              unsigned(TLEDDisplay::SegUpperRight | TLEDDisplay::SegLowerRight));
    EXPECT_EQ(TLEDDisplay::SegmentsOf('-'), unsigned(TLEDDisplay::SegMiddle));
    EXPECT_EQ(TLEDDisplay::SegmentsOf(' '), 0u);

    TLEDDisplay display;
    display.resize(140, 40);
    display.setCaption("1");
    const int oneCount = Lit(display).count;
    display.setCaption("8");
    const LitPixels eight = Lit(display);
    EXPECT_GT(eight.count, 2 * oneCount);
    EXPECT_LT(eight.top, 8);  // the top bar is lit
    EXPECT_GT(eight.bottom, 32);
    display.setCaption("");
    EXPECT_EQ(Lit(display).count, 0);
}

TEST(TLEDDisplay, ScrollingMovesTheTextLeftAndComesBackFromTheRight) {
    TLEDDisplay display;
    display.resize(140, 40);
    display.setCaption("88");
    const int restCount = Lit(display).count;

    display.setScrolling(true);
    EXPECT_EQ(display.ScrollOffset(), 0);
    EXPECT_EQ(Lit(display).count, 0);  // starts just beyond the right edge

    for (int i = 0; i < 20; ++i) display.ScrollStep();
    const LitPixels early = Lit(display);
    ASSERT_GT(early.count, 0);
    EXPECT_GE(early.left, 140 - display.ScrollOffset());
    for (int i = 0; i < 20; ++i) display.ScrollStep();
    const LitPixels later = Lit(display);
    EXPECT_EQ(later.left, early.left - 40);
    EXPECT_EQ(later.count, restCount);

    // Setting the same text again (as a grid repaint does) keeps the marquee going.
    const int offset = display.ScrollOffset();
    display.setCaption("88");
    EXPECT_EQ(display.ScrollOffset(), offset);

    // After leaving on the left it re-enters from the right.
    int steps = 0;
    while (display.ScrollOffset() != 0 && steps < 1000) {
        display.ScrollStep();
        ++steps;
    }
    EXPECT_LT(steps, 1000);
    EXPECT_EQ(Lit(display).count, 0);

    // The timer drives it on its own.
    display.setScrollInterval(5);
    ASSERT_TRUE(testsupport::WaitFor([&] { return display.ScrollOffset() >= 10; }));

    display.setScrolling(false);
    EXPECT_EQ(display.ScrollOffset(), 0);
    const LitPixels rest = Lit(display);
    EXPECT_EQ(rest.count, restCount);
    EXPECT_LE(std::abs(rest.left - (139 - rest.right)), 2);
}
