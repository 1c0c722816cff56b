// Analogue clock: hand geometry on rendered pictures, window shape, time events, timer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QMetaEnum>
#include <QMetaProperty>
#include <QTimer>
#include <cmath>

#include "TBmpClock.h"
#include "WidgetColors.h"

namespace {

QImage Render(TBmpClock& clock) {
    return clock.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool Is(const QImage& img, int x, int y, const QColor& c) {
    return (img.pixel(x, y) & RGB_MASK) == (c.rgb() & RGB_MASK);
}

// The pixel of colour c farthest from the centre, i.e. the tip of a hand.
QPoint FarthestOf(const QImage& img, const QColor& c, QPoint centre) {
    QPoint best(-1, -1);
    double bestDistance = -1;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (!Is(img, x, y, c)) continue;
            const double d = std::hypot(x - centre.x(), y - centre.y());
            if (d > bestDistance) {
                bestDistance = d;
                best = QPoint(x, y);
            }
        }
    }
    return best;
}

// Clock angle of a point seen from the centre: 0 at 12 o'clock, clockwise, in degrees.
double ClockDegrees(QPoint p, QPoint centre) {
    double deg = std::atan2(p.x() - centre.x(), centre.y() - p.y()) * 180.0 / M_PI;
    return deg < 0 ? deg + 360.0 : deg;
}

struct MainClock {
    TBmpClock clock;
    MainClock(QTime t) {
        TBmpClock::ConfigureAsMainWindowClock(clock);
        clock.setActive(false);
        clock.setTimeSource([t] { return t; });
    }
};

}  // namespace

TEST(TBmpClock, MainWindowClockAtHalfPastThree) {
    MainClock m(QTime(3, 30, 0));
    EXPECT_EQ(m.clock.size(), QSize(98, 98));
    const QImage img = Render(m.clock);
    const QPoint centre(49, 49);
    const QColor red = widgetcolors::clRed();

    // Second hand at 0 s: a one-pixel line from (49, 60) up to (49, 11).
    for (int y = 11; y <= 60; ++y) EXPECT_TRUE(Is(img, 49, y, red)) << "y=" << y;
    EXPECT_FALSE(Is(img, 49, 10, red));
    EXPECT_FALSE(Is(img, 49, 61, red));
    EXPECT_FALSE(Is(img, 48, 30, red));
    EXPECT_FALSE(Is(img, 50, 30, red));

    // Minute hand at 180 degrees, hour hand halfway between 3 and 4 (105 degrees).
    const QPoint minuteTip = FarthestOf(img, widgetcolors::clLime(), centre);
    EXPECT_NEAR(ClockDegrees(minuteTip, centre), 180.0, 2.0);
    EXPECT_NEAR(minuteTip.y(), 49 + 35, 1);
    const QPoint hourTip = FarthestOf(img, widgetcolors::clYellow(), centre);
    EXPECT_NEAR(ClockDegrees(hourTip, centre), 105.0, 3.0);
    // 49 + 25 sin 105° = 73.1, 49 - 25 cos 105° = 55.5 -> (73, 55)
    EXPECT_LE(std::abs(hourTip.x() - 73), 1);
    EXPECT_LE(std::abs(hourTip.y() - 55), 1);
    // The hands start behind the centre: the minute hand at 49 - 6 = 43.
    EXPECT_TRUE(Is(img, 48, 44, widgetcolors::clLime()));
    EXPECT_FALSE(Is(img, 48, 40, widgetcolors::clLime()));
}

TEST(TBmpClock, AfternoonHoursPointLikeMorningHours) {
    MainClock afternoon(QTime(15, 0, 0));
    MainClock morning(QTime(3, 0, 0));
    const QImage a = Render(afternoon.clock);
    EXPECT_EQ(a, Render(morning.clock));
    const QPoint hourTip = FarthestOf(a, widgetcolors::clYellow(), {49, 49});
    EXPECT_NEAR(ClockDegrees(hourTip, {49, 49}), 90.0, 3.0);
    EXPECT_LE(std::abs(hourTip.x() - 74), 1);
}

TEST(TBmpClock, RoundHoleKeepsTheCentreFreeOfHands) {
    MainClock m(QTime(3, 30, 0));
    m.clock.setRoundHole(true);
    const QImage img = Render(m.clock);
    const QColor red = widgetcolors::clRed();
    for (int y = 11; y <= 38; ++y) EXPECT_TRUE(Is(img, 49, y, red)) << "y=" << y;
    for (int y = 39; y <= 61; ++y) EXPECT_FALSE(Is(img, 49, y, red)) << "y=" << y;
    // The minute hand now starts 6 pixels in front of the centre, at (49, 55).
    for (int y = 43; y <= 52; ++y) EXPECT_FALSE(Is(img, 48, y, widgetcolors::clLime())) << y;
    EXPECT_TRUE(Is(img, 48, 60, widgetcolors::clLime()));
}

TEST(TBmpClock, FixedCentreIsUsedWithoutAutoCenterAndResetWithIt) {
    TBmpClock clock;
    clock.setActive(false);
    clock.setTimeSource([] { return QTime(0, 0, 0); });
    clock.setBackGroundStyle(bgColor);
    clock.resize(120, 120);
    clock.setAutoCenter(false);
    clock.Center()->setX(30);
    QImage img = Render(clock);
    EXPECT_TRUE(Is(img, 30, 50 - 20, widgetcolors::clRed()));
    EXPECT_FALSE(Is(img, 60, 50 - 20, widgetcolors::clRed()));

    clock.setAutoCenter(true);
    EXPECT_EQ(clock.Center()->X(), 60);
    EXPECT_EQ(clock.Center()->Y(), 60);
    img = Render(clock);
    EXPECT_TRUE(Is(img, 60, 60 - 20, widgetcolors::clRed()));
}

TEST(TBmpClock, ShapeFollowsSizeAtNextPaintAndRoundXAtOnce) {
    TBmpClock fresh;
    EXPECT_TRUE(fresh.mask().isEmpty());  // no shape at construction

    MainClock m(QTime(3, 30, 0));
    Render(m.clock);
    EXPECT_EQ(m.clock.mask().boundingRect(), QRect(0, 0, 98, 98));
    EXPECT_FALSE(m.clock.mask().contains(QPoint(0, 0)));
    EXPECT_TRUE(m.clock.mask().contains(QPoint(49, 49)));

    m.clock.resize(80, 70);
    EXPECT_EQ(m.clock.mask().boundingRect(), QRect(0, 0, 98, 98));
    Render(m.clock);
    EXPECT_EQ(m.clock.mask().boundingRect(), QRect(0, 0, 80, 70));

    // A point inside the 25 x 25 corner but outside a 60-wide one.
    EXPECT_TRUE(m.clock.mask().contains(QPoint(8, 2)));
    m.clock.setRoundX(60);
    EXPECT_FALSE(m.clock.mask().contains(QPoint(8, 2)));

    m.clock.setThemeStyle(tsCircle);
    EXPECT_FALSE(m.clock.mask().contains(QPoint(3, 3)));
    EXPECT_TRUE(m.clock.mask().contains(QPoint(40, 2)));
    m.clock.setThemeStyle(tsNone);
    EXPECT_TRUE(m.clock.mask().contains(QPoint(0, 0)));
}

TEST(TBmpClock, TimeEventsComeInOrderOnlyForChanges) {
    TBmpClock clock;
    clock.setActive(false);
    QTime now(10, 20, 30);
    clock.setTimeSource([&now] { return now; });
    clock.Loaded();
    std::vector<std::string> events;
    QObject::connect(&clock, &TBmpClock::OnSecond, [&](QObject* s, quint16 v) {
        EXPECT_EQ(s, &clock);
        events.push_back("s" + std::to_string(v));
    });
    QObject::connect(&clock, &TBmpClock::OnMinute,
                     [&](QObject*, quint16 v) { events.push_back("m" + std::to_string(v)); });
    QObject::connect(&clock, &TBmpClock::OnHour,
                     [&](QObject*, quint16 v) { events.push_back("h" + std::to_string(v)); });
    QObject::connect(&clock, &TBmpClock::OnTime, [&](QObject*) { events.push_back("t"); });

    clock.TimerTick();
    EXPECT_EQ(events, (std::vector<std::string>{"t"}));
    events.clear();
    now = QTime(10, 20, 31);
    clock.TimerTick();
    EXPECT_EQ(events, (std::vector<std::string>{"s31", "t"}));
    events.clear();
    now = QTime(23, 0, 0);
    clock.TimerTick();
    EXPECT_EQ(events, (std::vector<std::string>{"s0", "m0", "h23", "t"}));

    // A clock made in code without Loaded starts from 00:00:00.
    TBmpClock fresh;
    fresh.setActive(false);
    fresh.setTimeSource([] { return QTime(0, 5, 0); });
    std::vector<std::string> freshEvents;
    QObject::connect(&fresh, &TBmpClock::OnSecond,
                     [&](QObject*, quint16) { freshEvents.push_back("s"); });
    QObject::connect(&fresh, &TBmpClock::OnMinute,
                     [&](QObject*, quint16) { freshEvents.push_back("m"); });
    fresh.TimerTick();
    EXPECT_EQ(freshEvents, (std::vector<std::string>{"m"}));
}

TEST(TBmpClock, DisablingStopsTheTimerAndEnablingRestartsIt) {
    TBmpClock clock;
    QTimer* timer = clock.findChild<QTimer*>();
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(clock.Active());
    EXPECT_TRUE(timer->isActive());
    clock.setEnabled(false);
    EXPECT_FALSE(clock.Active());
    EXPECT_FALSE(timer->isActive());
    clock.setEnabled(true);
    EXPECT_TRUE(clock.Active());
    EXPECT_TRUE(timer->isActive());
    clock.setInterval(250);
    EXPECT_EQ(timer->interval(), 250);
}

TEST(TBmpClock, BackgroundStylesAndKeyColour) {
    TBmpClock clock;
    clock.setActive(false);
    clock.setHourHandEnabled(false);
    clock.setMinuteHandEnabled(false);
    clock.setSecondHandEnabled(false);
    clock.setColor(widgetcolors::clNavy());

    // Built-in face at its own size: magenta surround, green face.
    QImage img = Render(clock);
    EXPECT_TRUE(Is(img, 0, 0, widgetcolors::clFuchsia()));
    clock.setTransParent(true);
    img = Render(clock);
    EXPECT_TRUE(Is(img, 0, 0, widgetcolors::clNavy()));
    EXPECT_FALSE(Is(img, 50, 30, widgetcolors::clNavy()));

    // Tiles repeat the picture from the top-left corner.
    clock.setTransParent(false);
    clock.setPictureStyle(psTile);
    clock.resize(150, 120);
    img = Render(clock);
    for (QPoint p : {QPoint(10, 50), QPoint(30, 5), QPoint(45, 15)}) {
        EXPECT_EQ(img.pixel(p), img.pixel(p + QPoint(100, 0)));
        EXPECT_EQ(img.pixel(p.x(), p.y() % 20), img.pixel(p.x(), p.y() % 20 + 100));
    }

    // A plain colour ignores the picture whatever its style.
    clock.setBackGroundStyle(bgColor);
    clock.setBackGroundColor(widgetcolors::clBlue());
    for (TPictureStyle style : {psNone, psStretch, psTile}) {
        clock.setPictureStyle(style);
        img = Render(clock);
        EXPECT_EQ(img.pixel(75, 60), img.pixel(0, 0));
        EXPECT_TRUE(Is(img, 75, 60, widgetcolors::clBlue()));
        EXPECT_TRUE(Is(img, 3, 3, widgetcolors::clBlue()));
    }
}

TEST(TBmpClock, PictureAndCentreMark) {
    TBmpClock clock;
    clock.setActive(false);
    clock.setPicture(QImage());
    EXPECT_EQ(clock.size(), QSize(100, 100));
    QImage face(60, 40, QImage::Format_RGB32);
    face.fill(Qt::white);
    clock.setPicture(face);
    EXPECT_EQ(clock.size(), QSize(60, 40));

    clock.setTimeSource([] { return QTime(0, 0, 0); });
    clock.setCenterPoint(true);
    clock.CenterMark()->setFillColor(widgetcolors::clYellow());
    clock.CenterMark()->setPenColor(widgetcolors::clBlue());
    const QImage img = Render(clock);
    EXPECT_TRUE(Is(img, 30, 20, widgetcolors::clYellow()));  // drawn over the hands
    EXPECT_TRUE(Is(img, 30, 16, widgetcolors::clBlue()));    // outline at radius 4
    EXPECT_FALSE(Is(img, 30, 13, widgetcolors::clBlue()));
}

TEST(TBmpClock, VersionInfoCannotBeChanged) {
    TBmpClock clock;
    const QString fixed = clock.VersionInfo();
    EXPECT_FALSE(fixed.isEmpty());
    QString shown;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    closer.start(10);
    clock.setVersionInfo("something else");
    EXPECT_EQ(shown, fixed);
    EXPECT_EQ(clock.VersionInfo(), fixed);
}

// The clock's own published properties, in publishing order, as a property editor or a
// stored window description sees them; the styles by their names.
TEST(TBmpClock, PublishesItsPropertiesInOrder) {
    const QMetaObject& meta = TBmpClock::staticMetaObject;
    QStringList names;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i)
        names << QString::fromLatin1(meta.property(i).name());
    EXPECT_EQ(names, QStringList({"Picture",
                                  "TransParentColor",
                                  "TransParent",
                                  "Interval",
                                  "Active",
                                  "VersionInfo",
                                  "BackGroundStyle",
                                  "BackGroundColor",
                                  "CenterPoint",
                                  "AutoCenter",
                                  "HourHandEnabled",
                                  "MinuteHandEnabled",
                                  "SecondHandEnabled",
                                  "Center",
                                  "HourHand",
                                  "MinuteHand",
                                  "SecondHand",
                                  "CenterMark",
                                  "PictureStyle",
                                  "ThemeStyle",
                                  "RoundX",
                                  "RoundY",
                                  "RoundHole",
                                  "Color"}));

    const struct {
        const char* property;
        QStringList keys;
        const char* initial;
        const char* other;
    } styles[] = {
        {"BackGroundStyle", {"bgPicture", "bgColor"}, "bgPicture", "bgColor"},
        {"PictureStyle", {"psNone", "psStretch", "psTile"}, "psNone", "psTile"},
        {"ThemeStyle", {"tsNone", "tsCircle", "tsRoundRect"}, "tsNone", "tsRoundRect"},
    };
    TBmpClock clock;
    clock.setActive(false);
    for (const auto& st : styles) {
        const QMetaProperty prop = meta.property(meta.indexOfProperty(st.property));
        ASSERT_TRUE(prop.isValid()) << st.property;
        ASSERT_TRUE(prop.isEnumType()) << st.property;
        const QMetaEnum e = prop.enumerator();
        QStringList keys;
        for (int k = 0; k < e.keyCount(); ++k) {
            keys << QString::fromLatin1(e.key(k));
            EXPECT_EQ(e.value(k), k) << st.property;
        }
        EXPECT_EQ(keys, st.keys) << st.property;
        EXPECT_EQ(e.valueToKey(prop.read(&clock).toInt()), QByteArray(st.initial)) << st.property;
        EXPECT_TRUE(prop.write(&clock, QString::fromLatin1(st.other))) << st.property;
        EXPECT_EQ(e.valueToKey(prop.read(&clock).toInt()), QByteArray(st.other)) << st.property;
    }
    EXPECT_EQ(clock.BackGroundStyle(), bgColor);
    EXPECT_EQ(clock.PictureStyle(), psTile);
    EXPECT_EQ(clock.ThemeStyle(), tsRoundRect);
}
