#include <gtest/gtest.h>

#include <QPainter>
#include <QTest>
#include <QWidget>

#include "RepaintPacer.h"

TEST(RepaintPacer, HoldsARepaintOnlyWithinTheGapAndNeverWhileTheOperatorWorks) {
    EXPECT_EQ(RepaintPacer::Delay(-1, -1, 250, 1000), 0);   // first paint of the window
    EXPECT_EQ(RepaintPacer::Delay(400, -1, 250, 1000), 0);  // last paint long ago
    EXPECT_EQ(RepaintPacer::Delay(250, -1, 250, 1000), 0);
    EXPECT_EQ(RepaintPacer::Delay(100, -1, 250, 1000), 150);
    EXPECT_EQ(RepaintPacer::Delay(0, 5000, 250, 1000), 250);
    EXPECT_EQ(RepaintPacer::Delay(100, 999, 250, 1000), 0);  // a click just now
    EXPECT_EQ(RepaintPacer::Delay(100, 0, 250, 1000), 0);
    EXPECT_EQ(RepaintPacer::Delay(100, 1000, 250, 1000), 150);
    // Due within the slack: at once, not in a wake-up of its own a moment later.
    EXPECT_EQ(RepaintPacer::Delay(985, -1, 1000, 1000, 20), 0);
    EXPECT_EQ(RepaintPacer::Delay(979, -1, 1000, 1000, 20), 21);
}

namespace {

// Paints the latest value it was given and counts its paints.
class Counter : public QWidget {
  public:
    using QWidget::QWidget;
    void Set(int v) {
        value = v;
        update();
    }
    int value = 0;
    int painted = -1;
    int paints = 0;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).drawText(rect(), QString::number(value));
        painted = value;
        ++paints;
    }
};

}  // namespace

TEST(RepaintPacer, PaintsChangesTogetherYetShowsTheLastOneAndFollowsTheOperatorAtOnce) {
    QWidget window;
    window.resize(200, 100);
    auto* counter = new Counter(&window);
    counter->setGeometry(10, 10, 100, 40);
    RepaintPacer pacer(&window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(RepaintPacer::kGapMs + 50);

    // Changes 50 ms apart for two gaps: about one repaint per gap, and the last value on the
    // screen.
    const int changes = 2 * RepaintPacer::kGapMs / 50;
    counter->paints = 0;
    for (int i = 1; i <= changes; ++i) {
        counter->Set(i);
        QTest::qWait(50);
    }
    EXPECT_LE(counter->paints, changes / 3);
    EXPECT_GE(counter->paints, 2);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return counter->painted == changes; }, 2 * RepaintPacer::kGapMs));

    // Right after a click in the window every change is painted in its own turn.
    // (Through the window-system window, as a real click comes.)
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(150, 80));
    counter->paints = 0;
    for (int i = 21; i <= 25; ++i) {
        counter->Set(i);
        QTest::qWait(30);
        EXPECT_EQ(counter->painted, i);
    }
    EXPECT_EQ(counter->paints, 5);
}
