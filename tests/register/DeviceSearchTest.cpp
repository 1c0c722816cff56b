// The automatic search: the progress window on its own, the search-reply branch of the
// receive dispatcher, and the whole search end to end against the bus simulator.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include "RegisterTestSupport.h"

using namespace registertest;
using testsupport::WaitFor;

namespace {

// The simulator on a pseudo-terminal, offered to the station as its only port.
class Bus {
  public:
    explicit Bus(QStringList args) {
        args << "--log" << dir_.filePath("sim.log") << "--quiet";
        proc_.start(testsupport::BinDir() + "/sensorbus-sim", args);
        if (!proc_.waitForStarted(5000)) return;
        WaitFor([&] { return proc_.canReadLine() || proc_.state() != QProcess::Running; }, 5000);
        path = QString::fromLocal8Bit(proc_.readLine()).trimmed();
        qputenv("SENSORBUS_PORTS", path.toLocal8Bit());
    }
    ~Bus() {
        qputenv("SENSORBUS_PORTS", "");
        if (proc_.state() == QProcess::Running) {
            proc_.terminate();
            proc_.waitForFinished(5000);
        }
    }
    QString path;

  private:
    QTemporaryDir dir_;
    QProcess proc_;
};

bool Connected(const Station& s) {
    return WaitFor([&] { return s.Board().contains("对接成功！"); }, 10000);
}

// Clicks the search button; while the progress window shows, waits until until() holds and
// then, when clickBar, ends the wait with a click on the bar. Returns when the search ends.
void Search(Station& s, const std::function<bool()>& until, bool clickBar, int waitMs = 8000) {
    bool shown = false;
    QTimer::singleShot(0, s.Fprs, [&] {
        shown = WaitFor([&] { return s.Fprs->isVisible(); }, 3000);
        EXPECT_EQ(s.Fprs->Timer1()->interval(), 100);
        EXPECT_TRUE(WaitFor(until, waitMs));
        if (clickBar) QTest::mouseClick(s.Fprs->RzProgressBar1, Qt::LeftButton);
    });
    Click(s.Fset->SpeedButton6);
    EXPECT_TRUE(shown);
}

}  // namespace

TEST(ProgressWindow, FillsInNinetyNineStepsThenCloses) {
    StationFolder folder;
    Station s(folder);
    TFprs* p = s.Fprs;
    EXPECT_TRUE(p->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(p->size(), QSize(202, 36));
    EXPECT_NEAR(p->windowOpacity(), 200.0 / 255.0, 0.01);
    EXPECT_FALSE(p->RzProgressBar1->isTextVisible());
    EXPECT_FALSE(p->Timer1()->isActive());

    for (int showing = 0; showing < 2; ++showing) {  // each showing starts again at 1 %
        p->open();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(p));
        EXPECT_EQ(p->RzProgressBar1->value(), 1);
        EXPECT_TRUE(p->Timer1()->isActive());
        EXPECT_EQ(p->Timer1()->interval(), 100);
        EXPECT_LE(
            (p->frameGeometry().center() - s.Fmain->frameGeometry().center()).manhattanLength(), 2);
        p->Timer1()->stop();  // the steps are taken by hand here
        for (int i = 0; i < 98; ++i) p->Timer1Timer();
        EXPECT_EQ(p->RzProgressBar1->value(), 99);
        EXPECT_TRUE(p->isVisible());
        p->Timer1Timer();
        EXPECT_FALSE(p->isVisible());
        EXPECT_FALSE(p->Timer1()->isActive());
    }
}

TEST(ProgressWindow, AClickOnTheBarEndsTheWaitAtOnce) {
    StationFolder folder;
    Station s(folder);
    TFprs* p = s.Fprs;
    p->open();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(p));
    QTest::mouseClick(p->RzProgressBar1, Qt::LeftButton);
    EXPECT_FALSE(p->isVisible());
    EXPECT_FALSE(p->Timer1()->isActive());
    EXPECT_LT(p->RzProgressBar1->value(), 100);
}

// Brought back after being minimised with the main window, the bar goes on where it was.
TEST(ProgressWindow, RestoringAfterMinimisingKeepsTheBar) {
    StationFolder folder;
    Station s(folder);
    TFprs* p = s.Fprs;
    p->open();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(p));
    p->Timer1()->stop();  // the steps are taken by hand here
    for (int i = 0; i < 40; ++i) p->Timer1Timer();
    ASSERT_EQ(p->RzProgressBar1->value(), 41);
    p->showMinimized();
    ASSERT_TRUE(WaitFor([&] { return p->isMinimized(); }, 2000));
    p->showNormal();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(p));
    EXPECT_EQ(p->RzProgressBar1->value(), 41);
    QTest::mouseClick(p->RzProgressBar1, Qt::LeftButton);
    EXPECT_FALSE(p->isVisible());
}

TEST(SearchReply, ThreeByteDeliveriesBecomeRowsOnlyWhileTheWindowShows) {
    StationFolder folder;
    folder.AddSensors({{5, "0A1B2C ", "hall ", 0, 0}, {6, "111111 ", "yard ", 35, -2}});
    Station s(folder);
    auto deliver = [&](QByteArray bytes) {
        s.Fmain->Comm1ReceiveData(&s.Fmain->Comm1, reinterpret_cast<const uint8_t*>(bytes.data()),
                                  static_cast<uint16_t>(bytes.size()));
    };
    ShowRegister(s);
    s.Fset->hide();
    deliver(QByteArray::fromHex("0a1b2c"));  // not showing: no search reply
    ShowRegister(s);
    TStringGrid* g = s.Fset->RzStringGrid1;
    ASSERT_EQ(g->RowCount(), 3);  // the stored register, unchanged
    g->SetRowCount(2);
    g->SetRowCells(1, QStringList(6, ""));

    deliver(QByteArray::fromHex("0a1b2c"));
    ASSERT_EQ(g->RowCount(), 2);  // the blank row is used
    EXPECT_EQ(g->RowCells(1), QStringList({"5", "0A1B2C", "hall ", "", "", " "}));
    deliver(QByteArray::fromHex("111111"));
    deliver(QByteArray::fromHex("abcdef"));
    ASSERT_EQ(g->RowCount(), 4);
    EXPECT_EQ(g->RowCells(2), QStringList({"6", "111111", "yard ", "35", "-2", " "}));
    EXPECT_EQ(g->RowCells(3), QStringList({"", "ABCDEF", "", "", "", ""}));
    EXPECT_EQ(g->Row(), 3);
    EXPECT_EQ(s.Fset->RzEdit2->text(), "ABCDEF");
    EXPECT_EQ(s.Fset->RzEdit1->text(), "请输入编号");
}

TEST(DeviceSearchOnTheBus, ThreeSensorsAnswerOneRegistered) {
    Bus bus({"--sensor", "0A1B2C=20", "--sensor", "111111=21", "--sensor", "222222=22"});
    ASSERT_FALSE(bus.path.isEmpty());
    StationFolder folder;
    folder.AddSensors({{5, "111111 ", "yard ", 35, 0.0625},
                       {8, "888888 ", "gone ", 0, 0, "2024-03-05 14:07:09"}});
    Station s(folder);
    ASSERT_TRUE(Connected(s));
    s.Fmain->RzStringGrid1->SetCell(1, 1, "21.5");
    ShowRegister(s);
    TFset* w = s.Fset;
    TStringGrid* g = w->RzStringGrid1;
    ClickRow(g, 2);

    Search(
        s, [&] { return g->RowCount() == 4 && g->Cell(1, 3) == "222222"; }, true);
    ASSERT_EQ(g->RowCount(), 4);
    EXPECT_EQ(g->RowCells(1), QStringList({"", "0A1B2C", "", "", "", ""}));
    EXPECT_EQ(g->RowCells(2), QStringList({"5", "111111", "yard ", "35", "0.0625", " "}));
    EXPECT_EQ(g->RowCells(3), QStringList({"", "222222", "", "", "", ""}));
    EXPECT_EQ(g->Row(), 3);
    EXPECT_EQ(w->RzEdit2->text(), "222222");
    EXPECT_EQ(s.Board().last(), "搜索设备...");
    EXPECT_TRUE(w->SpeedButton4->isEnabled());

    // Saving stores exactly what was found; the monitoring grid follows at once.
    Click(w->SpeedButton4);
    EXPECT_EQ(Stored(folder),
              "0|'0A1B2C '|' '|0.0|0.0|' '|NULL\n"
              "5|'111111 '|'yard '|35.0|0.0625|' '|NULL\n"
              "0|'222222 '|' '|0.0|0.0|' '|NULL");
    TStringGrid* m = s.Fmain->RzStringGrid1;
    ASSERT_EQ(m->RowCount(), 2);
    EXPECT_EQ(m->Cell(0, 1), "5");
    EXPECT_EQ(m->Cell(1, 1), "");
    EXPECT_EQ(m->Cell(2, 1), "yard ");
}

TEST(DeviceSearchOnTheBus, TheSameSensorTwiceGivesTwoRowsThatDoNotSave) {
    Bus bus({"--sensor", "0A1B2C=20", "--sensor", "0A1B2C=21"});
    ASSERT_FALSE(bus.path.isEmpty());
    StationFolder folder;
    folder.AddSensors({{1, "000001 ", "kept "}});
    const QString before = Stored(folder);
    Station s(folder);
    ASSERT_TRUE(Connected(s));
    ShowRegister(s);
    TStringGrid* g = s.Fset->RzStringGrid1;
    Search(
        s, [&] { return g->RowCount() == 3; }, true);
    ASSERT_EQ(g->RowCount(), 3);
    EXPECT_EQ(g->Cell(1, 1), "0A1B2C");
    EXPECT_EQ(g->Cell(1, 2), "0A1B2C");
    MessageBoxWatcher boxes;
    Click(s.Fset->SpeedButton4);
    EXPECT_EQ(boxes.Texts(), QStringList({"ID“0A1B2C”重复"}));
    EXPECT_EQ(Stored(folder), before);
}

TEST(DeviceSearchOnTheBus, NoAnswerLeavesOneBlankRowAfterTheFullWait) {
    Bus bus({});
    ASSERT_FALSE(bus.path.isEmpty());
    StationFolder folder;
    folder.AddSensors({{1, "000001 ", "kept "}});
    Station s(folder);
    ASSERT_TRUE(Connected(s));
    ShowRegister(s);
    TFset* w = s.Fset;
    Type(w->RzEdit3, "typed");
    // The bar fills by itself (99 steps of 100 ms) and closes the window.
    Search(
        s, [&] { return !s.Fprs->isVisible(); }, false, 15000);
    EXPECT_EQ(s.Fprs->RzProgressBar1->value(), 100);
    TStringGrid* g = w->RzStringGrid1;
    ASSERT_EQ(g->RowCount(), 2);
    EXPECT_EQ(g->RowCells(1), QStringList(6, ""));
    EXPECT_EQ(w->RzEdit3->text(), "");
    EXPECT_TRUE(w->SpeedButton4->isEnabled());
    EXPECT_FALSE(w->SpeedButton1->isEnabled());
    EXPECT_FALSE(w->SpeedButton3->isEnabled());
    EXPECT_EQ(s.Board().last(), "搜索设备...");
    EXPECT_EQ(folder.Sql("select count(*) from settab"), "1");  // nothing stored yet
}

TEST(DeviceSearchOnTheBus, RepliesAfterAClickOnTheBarStillAddRows) {
    // Replies a second apart: the operator ends the wait after the first.
    Bus bus({"--gap", "1000", "--sensor", "0A1B2C=20", "--sensor", "111111=21", "--sensor",
             "222222=22"});
    ASSERT_FALSE(bus.path.isEmpty());
    StationFolder folder;
    Station s(folder);
    ASSERT_TRUE(Connected(s));
    ShowRegister(s);
    TStringGrid* g = s.Fset->RzStringGrid1;
    Search(
        s, [&] { return g->Cell(1, 1) == "0A1B2C"; }, true);
    EXPECT_FALSE(s.Fprs->isVisible());
    EXPECT_EQ(g->RowCount(), 2);
    EXPECT_EQ(s.Board().last(), "搜索设备...");
    ASSERT_TRUE(WaitFor([&] { return g->RowCount() == 4; }, 5000));
    EXPECT_EQ(g->Cell(1, 2), "111111");
    EXPECT_EQ(g->Cell(1, 3), "222222");
    EXPECT_EQ(g->Row(), 3);

    // A second search starts from an empty grid again.
    Search(
        s, [&] { return g->Cell(1, 1) == "0A1B2C"; }, true);
    EXPECT_EQ(g->RowCount(), 2);
    ASSERT_TRUE(WaitFor([&] { return g->RowCount() == 4; }, 5000));
}
