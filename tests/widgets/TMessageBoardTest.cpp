#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <memory>

#include "RepaintPacer.h"
#include "TMessageBoard.h"

namespace {

std::unique_ptr<TMessageBoard> Board(int maxLines) {
    auto b = std::make_unique<TMessageBoard>(maxLines);
    b->setFocusPolicy(Qt::NoFocus);  // no focus frame, whichever window is active
    QPalette pal = b->palette();
    pal.setColor(QPalette::Base, QColor(240, 202, 166));
    pal.setColor(QPalette::Highlight, QColor(0, 0, 160));
    pal.setColor(QPalette::HighlightedText, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    b->setPalette(pal);
    b->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);  // as on the station
    b->resize(260, 200);
    // Shown without taking the focus from the board under test: a window that loses it is
    // drawn anew as a whole, which would hide a wrongly moved picture.
    b->setAttribute(Qt::WA_ShowWithoutActivating);
    b->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(b.get()));
    return b;
}

// What the window system was given for the board's window: the window's own picture, kept
// between repaints, not a fresh drawing of the board.
QImage OnScreen(const TMessageBoard& b) {
    QCoreApplication::processEvents();
    const QPixmap shot = b.screen()->grabWindow(b.winId());
    const QRect view(b.viewport()->mapTo(&b, QPoint(0, 0)), b.viewport()->size());
    return shot.toImage().copy(view).convertToFormat(QImage::Format_RGB32);
}

// A board shown anew with the same lines, the same selected line and the same view.
QImage DrawnAnew(const TMessageBoard& b) {
    auto fresh = Board(1000);
    for (int i = 0; i < b.Count(); ++i) fresh->AddLine(b.Line(i));
    fresh->SetCurrentRow(b.CurrentRow());
    fresh->verticalScrollBar()->setValue(b.verticalScrollBar()->value());
    fresh->horizontalScrollBar()->setValue(b.horizontalScrollBar()->value());
    fresh->viewport()->repaint();
    return OnScreen(*fresh);
}

// A board line as the station writes one for a reading.
QString ReadingLine(int i) {
    return QString("第%1行 温度:%2℃").arg(i).arg(20 + i % 7);
}

// A line wider than the board first, so that the scroll bars are in place from the start, then
// count reading lines, one per turn of the event loop as readings come. Returns count.
int FillWithReadings(TMessageBoard& b, int count) {
    b.AddLine(QString(60, QChar(u'长')));
    for (int i = 0; i < count; ++i) {
        b.AddLine(ReadingLine(i));
        QCoreApplication::processEvents();
    }
    return count;
}

}  // namespace

TEST(TMessageBoard, KeepsTheNewestLinesAndNamesEachLineForItsLife) {
    auto b = Board(5);
    const uint64_t first = b->AddLine("一");
    for (int i = 2; i <= 5; ++i) b->AddLine(QString::number(i));
    EXPECT_TRUE(b->ReplaceLine(first, "一(2次)"));
    EXPECT_EQ(b->Line(0), "一(2次)");
    const uint64_t sixth = b->AddLine("6");
    ASSERT_EQ(b->Count(), 5);
    EXPECT_EQ(b->Line(0), "2");
    EXPECT_EQ(b->Line(4), "6");
    EXPECT_EQ(b->CurrentRow(), 4);
    // The first line has left: its number names no line any more, not the line now in its row.
    EXPECT_FALSE(b->ReplaceLine(first, "x"));
    EXPECT_EQ(b->Line(0), "2");
    EXPECT_TRUE(b->ReplaceLine(sixth, "六"));
    EXPECT_EQ(b->Line(4), "六");

    b->Clear();
    EXPECT_EQ(b->Count(), 0);
    EXPECT_EQ(b->CurrentRow(), -1);
    EXPECT_EQ(b->TopRow(), -1);
    EXPECT_FALSE(b->ReplaceLine(sixth, "x"));  // numbers are not used again after a clear
    b->AddLine("7");
    EXPECT_EQ(b->Line(0), "7");
    EXPECT_EQ(b->Line(1), QString());
}

TEST(TMessageBoard, FollowsTheNewestLineOnlyWhileAtTheBottom) {
    auto b = Board(100);
    for (int i = 1; i <= 100; ++i) b->AddLine(QString("line %1").arg(i));
    EXPECT_TRUE(b->AtBottom());
    EXPECT_EQ(b->CurrentRow(), 99);

    b->ScrollToRow(40);
    ASSERT_EQ(b->TopRow(), 40);
    ASSERT_EQ(b->Line(40), "line 41");
    for (int i = 101; i <= 103; ++i) b->AddLine(QString("line %1").arg(i));
    // Three lines went off the top; the operator still reads line 41, three rows higher up.
    EXPECT_EQ(b->Line(b->TopRow()), "line 41");
    EXPECT_EQ(b->Line(99), "line 103");
    EXPECT_EQ(b->CurrentRow(), 96);  // the selected line stays selected while in the board

    b->verticalScrollBar()->setValue(b->verticalScrollBar()->maximum());
    b->AddLine("line 104");
    EXPECT_TRUE(b->AtBottom());
    EXPECT_EQ(b->CurrentRow(), 99);

    // Scrolled back to the very top, the lines read go off the board: the view shows the
    // oldest lines left.
    b->ScrollToRow(0);
    b->AddLine("line 105");
    EXPECT_EQ(b->TopRow(), 0);
    EXPECT_EQ(b->Line(0), "line 6");
}

// The board moves its old picture instead of drawing every line again; what the window shows
// must be exactly what a board drawn anew with the same lines shows.
TEST(TMessageBoard, MovedPictureIsTheSameAsOneDrawnAnew) {
    auto b = Board(30);
    const auto line = ReadingLine;
    // Filling up, then full.
    int n = FillWithReadings(*b, 45);
    {
        const QImage shown = OnScreen(*b);
        EXPECT_EQ(shown, DrawnAnew(*b));
    }

    // Several lines in one turn, a line replaced, a wider line, a grab of the window into an
    // image between a change and its repaint.
    for (int k = 0; k < 3; ++k) b->AddLine(line(n++));
    b->ReplaceLine(b->AddLine("短"), QString(40, QChar(u'宽')));
    QCoreApplication::processEvents();
    b->AddLine(line(n++));
    (void)b->grab();
    b->AddLine(line(n++));
    {
        const QImage shown = OnScreen(*b);
        EXPECT_EQ(shown, DrawnAnew(*b));
    }

    // Scrolled back by the operator, then lines arrive.
    b->verticalScrollBar()->setValue(b->verticalScrollBar()->value() - 3 * b->LineHeight() - 5);
    QCoreApplication::processEvents();
    for (int k = 0; k < 4; ++k) {
        b->AddLine(line(n++));
        QCoreApplication::processEvents();
    }
    b->horizontalScrollBar()->setValue(20);
    {
        const QImage shown = OnScreen(*b);
        EXPECT_EQ(shown, DrawnAnew(*b));
    }

    // Back at the bottom, a click selects another line.
    b->verticalScrollBar()->setValue(b->verticalScrollBar()->maximum());
    QCoreApplication::processEvents();
    QTest::mouseClick(b->viewport(), Qt::LeftButton, {}, QPoint(10, b->LineHeight() + 2));
    b->AddLine(line(n++));
    QCoreApplication::processEvents();
    {
        const QImage shown = OnScreen(*b);
        EXPECT_EQ(shown, DrawnAnew(*b));
    }
}

// In a paced window the board holds its scrolls back until the window is painted; whatever
// comes between (many lines, a line replaced, a grab, the operator's scrolling and clicks), the
// picture the window system gets must be the one a fresh board would draw.
TEST(TMessageBoard, ScrollsHeldBackUntilThePacedRepaintGiveTheSamePicture) {
    auto b = Board(30);
    auto* pacer = new RepaintPacer(b.get());
    b->SetScrollsDeferred(true);
    QObject::connect(pacer, &RepaintPacer::Painting, b.get(), &TMessageBoard::ApplyScrolls);
    auto settled = [&] {
        QTest::qWait(RepaintPacer::kGapMs + 300);
        return OnScreen(*b);
    };
    const auto line = ReadingLine;
    // Many lines between two repaints: more than a view's worth of movement.
    int n = FillWithReadings(*b, 45);
    EXPECT_EQ(settled(), DrawnAnew(*b));

    // A few lines between two repaints (the picture moves by all of them at once and the line
    // that lost the selection is drawn again), then one line replaced.
    for (int round = 0; round < 3; ++round) {
        for (int k = 0; k < 3; ++k) {
            b->AddLine(line(n++));
            QCoreApplication::processEvents();
        }
        EXPECT_EQ(settled(), DrawnAnew(*b)) << "round " << round;
    }
    const uint64_t replaced = b->AddLine("短");
    b->AddLine(line(n++));
    b->ReplaceLine(replaced, QString(40, QChar(u'宽')));
    EXPECT_EQ(settled(), DrawnAnew(*b));

    // A grab of the window while a scroll is held back.
    b->AddLine(line(n++));
    (void)b->grab();
    b->AddLine(line(n++));
    EXPECT_EQ(settled(), DrawnAnew(*b));

    // Scrolled back by the operator while lines are held back, then more lines.
    b->AddLine(line(n++));
    b->verticalScrollBar()->setValue(b->verticalScrollBar()->value() - 3 * b->LineHeight() - 5);
    for (int k = 0; k < 4; ++k) {
        b->AddLine(line(n++));
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(settled(), DrawnAnew(*b));

    // Back at the bottom; a line, then a click on another line before the repaint.
    b->verticalScrollBar()->setValue(b->verticalScrollBar()->maximum());
    b->AddLine(line(n++));
    QTest::mouseClick(b->viewport(), Qt::LeftButton, {}, QPoint(10, b->LineHeight() + 2));
    b->AddLine(line(n++));
    EXPECT_EQ(settled(), DrawnAnew(*b));
}

TEST(TMessageBoard, KeysAndClicksMoveTheSelection) {
    auto b = Board(50);
    for (int i = 0; i < 50; ++i) b->AddLine(QString::number(i));
    b->setFocusPolicy(Qt::StrongFocus);
    b->setFocus();
    QTest::keyClick(b.get(), Qt::Key_Up);
    EXPECT_EQ(b->CurrentRow(), 48);
    QTest::keyClick(b.get(), Qt::Key_Home);
    EXPECT_EQ(b->CurrentRow(), 0);
    EXPECT_EQ(b->TopRow(), 0);  // the selected line is brought into view
    QTest::keyClick(b.get(), Qt::Key_End);
    EXPECT_EQ(b->CurrentRow(), 49);
    EXPECT_TRUE(b->AtBottom());
    b->ScrollToRow(10);
    QTest::mouseClick(b->viewport(), Qt::LeftButton, {}, QPoint(5, 2 * b->LineHeight() + 1));
    EXPECT_EQ(b->CurrentRow(), 12);
}
