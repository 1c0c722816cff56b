// Main window behaviour found wrong in a review of the running station: the LED display with
// several alarms, a long header, the close question, the discovery timers, the grid's header
// and corner, the bus port's flags and the clock's place.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "BusSimulator.h"
#include "SoundPlayer.h"
#include "StationFixture.h"
#include "TestSupport.h"

namespace {

struct NoPorts {
    NoPorts() { qputenv("SENSORBUS_PORTS", ""); }
    ~NoPorts() { qunsetenv("SENSORBUS_PORTS"); }
};

QByteArray Ini(const QString& title = "t", const QString& addhigh = "25") {
    return "[seting]\nstart=1\nicon=0\ntitle=" + title.toUtf8() + "\naddhigh=" + addhigh.toUtf8() +
           "\ninterval=0\nmedia=\n";
}

// Answers the next message box by pressing Escape on it, as an operator would.
void EscapeNextBox(QString* seen) {
    QTimer::singleShot(50, [seen] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                *seen = box->text();
                QTest::keyClick(box, Qt::Key_Escape);
                return;
            }
        }
    });
}

}  // namespace

TEST(MainWindowReview, TwoRedRowsKeepTheDisplayScrollingOneNumberSteadily) {
    SoundPlayer::Shared().SetAudioSink("fakesink");
    NoPorts noPorts;
    StationFolder folder;
    std::vector<SensorRow> rows;
    for (int i = 1; i <= 12; ++i)
        rows.push_back({i, QString("0A1B%1 ").arg(i, 2, 16, QChar('0')).toUpper(), "room ", 30, 0});
    folder.AddSensors(rows);
    folder.WriteIni(Ini());
    Station s(folder);
    s.Fmain->EvaluateReading("0A1B01", 31);
    s.Fmain->EvaluateReading("0A1B0C", 32);
    TLEDDisplay* d = s.Fmain->RzLEDDisplay1;
    // The display follows the grid as it is repainted, at most a second later.
    ASSERT_TRUE(QTest::qWaitFor([&] { return d->Caption() != "---"; }, 2500));
    const QString shown = d->Caption();
    EXPECT_TRUE(shown == "1" || shown == "12") << shown.toStdString();
    // Repaints of the grid (mouse tracking, new readings) must not restart the marquee.
    // Restarted on every paint, the marquee never gets past its first steps.
    int furthest = 0;
    for (int i = 0; i < 40; ++i) {
        s.Fmain->RzStringGrid1->viewport()->repaint();
        if (i % 4 == 0) s.Fmain->EvaluateReading("0A1B01", 31 + i % 3);
        QTest::qWait(d->ScrollInterval() / 2 + 5);
        EXPECT_EQ(d->Caption(), shown);
        furthest = std::max(furthest, d->ScrollOffset());
    }
    EXPECT_GE(furthest, 16) << "the marquee keeps being restarted";
    EXPECT_TRUE(d->Scrolling());
    CloseSound("mywave");
}

TEST(MainWindowReview, ALongTitleIsElidedAndTheWindowKeepsItsSize) {
    NoPorts noPorts;
    for (int length : {50, 680}) {
        StationFolder folder;
        folder.WriteIni(Ini(QString(length, QChar(0x544A))));  // 告
        Station s(folder);
        QTest::qWait(20);
        EXPECT_EQ(s.Fmain->width(), 1000) << length;
        EXPECT_EQ(s.Fmain->height(), 648) << length;
        EXPECT_EQ(s.Fmain->sLabelFX23->text().size(), length);
        // The buttons of the right-hand column stay on screen.
        const QPoint exitAt = s.Fmain->SpeedButton4->mapTo(s.Fmain.get(), QPoint(0, 0));
        EXPECT_LT(exitAt.x() + s.Fmain->SpeedButton4->width(), 1000) << length;
    }
}

TEST(MainWindowReview, EscapeOnTheCloseQuestionLetsTheWindowClose) {
    NoPorts noPorts;
    StationFolder folder;
    Station s(folder);
    QString seen;
    EscapeNextBox(&seen);
    s.Fmain->close();
    EXPECT_EQ(seen, "确定要关闭窗口吗?");
    EXPECT_FALSE(s.Fmain->isVisible());
}

TEST(MainWindowReview, TheHandshakeWaitIsNeverShorterThan200Ms) {
    BusSimulator silent({"--silent"});
    qputenv("SENSORBUS_PORTS", silent.Path().toLocal8Bit());
    StationFolder folder;
    folder.WriteIni(Ini());
    Station s(folder);
    qunsetenv("SENSORBUS_PORTS");
    ASSERT_TRUE(testsupport::WaitFor([&] { return s.Board().contains("未找到设备！"); }, 3000));
    QElapsedTimer clock;
    qint64 shortest = 1000000;
    QObject::connect(s.Fmain->Timer3(), &QTimer::timeout,
                     [&] { shortest = std::min(shortest, clock.elapsed()); });
    for (int i = 0; i < 15; ++i) {
        s.Fmain->State().portIndex = 0;
        s.Fmain->State().handshakeOk = false;
        s.Fmain->Timer2Timer();  // opens the port and sends the probe
        clock.start();
        ASSERT_TRUE(s.Fmain->Timer3()->isActive());
        ASSERT_TRUE(testsupport::WaitFor([&] { return !s.Fmain->Timer3()->isActive(); }, 2000));
        s.Fmain->Timer2()->stop();
        QTest::qWait(7 * (i % 5));  // vary where the wait starts against the timer grid
    }
    EXPECT_GE(shortest, 200);
}

TEST(MainWindowReview, HeaderFollowsTheGridFontAndTheCornerIsBlack) {
    NoPorts noPorts;
    for (const QString addhigh : {"60", "x"}) {
        StationFolder folder;
        folder.AddSensors({{1, "0A1B2C ", "a "}});
        folder.WriteIni(Ini("t", addhigh));
        MessageBoxWatcher boxes;
        Station s(folder);
        QTest::qWait(30);
        TStringGrid* g = s.Fmain->RzStringGrid1;
        const int rowHeight = addhigh == "60" ? 60 : 25;
        EXPECT_EQ(g->DefaultRowHeight(), rowHeight);
        const int cell = QFontMetrics(g->font()).height();
        EXPECT_LE(cell, rowHeight - 2) << addhigh.toStdString();
        EXPECT_GE(cell, rowHeight - 4) << addhigh.toStdString();
        EXPECT_EQ(g->horizontalHeader()->font().pixelSize(), g->font().pixelSize())
            << addhigh.toStdString();
        // Right of the last header cell: the grid's black, not a light strip.
        const QImage img = s.Fmain->grab().toImage();
        const QPoint gridAt = g->mapTo(s.Fmain.get(), QPoint(0, 0));
        const int x = gridAt.x() + g->width() - 4;
        for (int y : {gridAt.y() + 5, gridAt.y() + g->height() / 2}) {
            const QColor c = img.pixelColor(x, y);
            EXPECT_LT(c.lightness(), 60)
                << addhigh.toStdString() << " y " << y << " " << c.name().toStdString();
        }
    }
}

TEST(MainWindowReview, TheBusPortContinuesSendingAfterXoff) {
    NoPorts noPorts;
    StationFolder folder;
    Station s(folder);
    EXPECT_TRUE(s.Fmain->Comm1.TxContinueOnXoff());
    EXPECT_EQ(s.Fmain->Comm1.ControlFlags(), 0x1091u);
}

TEST(MainWindowReview, TheClockSitsAtTheTopLeftOfItsColumn) {
    NoPorts noPorts;
    StationFolder folder;
    Station s(folder);
    QTest::qWait(20);
    EXPECT_EQ(s.Fmain->BmpClock2->pos(), QPoint(24, 0));
    EXPECT_EQ(s.Fmain->BmpClock2->size(), QSize(98, 98));
}
