// The alarm log window driven as an operator does: buttons clicked, dates set in the date edits,
// rows clicked in the grid, confirmations answered. The log lies in a real database file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDate>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "AlarmLogText.h"
#include "StationFixture.h"
#include "TStringGrid.h"
#include "TestSupport.h"

namespace {

int Today() {
    const QDate d = QDate::currentDate();
    return d.year() * 10000 + d.month() * 100 + d.day();
}

class AlarmLogWindow : public ::testing::Test {
  protected:
    void TearDown() override { s.reset(); }

    // Starts the station and opens the log window as its button does, without blocking.
    void Open() {
        if (!s) s = std::make_unique<Station>(folder);
        s->Falm->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(s->Falm));
    }

    // Records as "(dates, times, code, 'fix', 'almtemp')" tuples.
    void AddAlarms(const QStringList& tuples) {
        folder.Sql("insert into alming(dates,times,code,fix,almtemp) values " + tuples.join(','));
    }
    int LogCount(const QString& where = "1") {
        return folder.Sql("select count(*) from alming where " + where).toInt();
    }

    TStringGrid* Grid() { return s->Falm->RzStringGrid1; }
    QStringList Column(int c) {
        QStringList out;
        for (int r = 1; r < Grid()->RowCount(); ++r) out << Grid()->Cell(c, r);
        return out;
    }
    void Click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    void ClickRow(int r) {
        Grid()->scrollTo(Grid()->Model()->index(r - 1, 0));
        QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, Grid()->CellRect(1, r).center());
        ASSERT_EQ(Grid()->Row(), r);
    }
    void Query(QDate from, QDate to) {
        s->Falm->DateEdit1->setDate(from);
        s->Falm->DateEdit2->setDate(to);
        Click(s->Falm->RzBitBtn1);
    }

    StationFolder folder;
    std::unique_ptr<Station> s;
};

TEST_F(AlarmLogWindow, ADayWithoutAlarmsShowsOneBlankRowUnderTheHeaders) {
    AddAlarms({"(20071130, 93015, 1, 'x', '30')"});  // another day
    Open();
    TFalm* w = s->Falm;
    EXPECT_EQ(w->windowTitle(), "报警记录查询");
    EXPECT_EQ(w->titleLabel->text(), "报  警  信  息");
    EXPECT_EQ(w->queryBox->title(), "信息查询");
    EXPECT_EQ(w->RzBitBtn1->text(), "查    询");
    EXPECT_EQ(w->RzBitBtn2->text(), "删    除");
    EXPECT_EQ(w->RzBitBtn3->text(), "清    空");
    EXPECT_EQ(w->RzBitBtn5->text(), "导出数据");
    EXPECT_EQ(w->RzBitBtn7->text(), "退    出");
    EXPECT_TRUE(w->RzBitBtn5->isEnabled());
    EXPECT_EQ(w->size(), QSize(905, 582));
    QWidget* panel = w->findChild<QWidget*>("buttonPanel");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->width(), 192);
    EXPECT_EQ(panel->geometry().right(), w->width() - 1);
    const QString today = QDate::currentDate().toString("yyyy-MM-dd");
    EXPECT_EQ(w->DateEdit1->text(), today);
    EXPECT_EQ(w->DateEdit2->text(), today);
    EXPECT_TRUE(w->DateEdit1->calendarPopup());

    TStringGrid* g = Grid();
    ASSERT_EQ(g->ColCount(), 5);
    EXPECT_EQ(g->RowCells(0), QStringList({"  日  期", "  时 间", " 编  号", " 方 位", " 报警值"}));
    ASSERT_EQ(g->RowCount(), 2);
    EXPECT_EQ(g->RowCells(1), QStringList({"", "", "", "", ""}));
    for (int c = 0; c < 4; ++c) EXPECT_EQ(g->ColWidth(c), 120) << c;
    EXPECT_EQ(g->ColWidth(4), g->width() - 4 * 120 - 8);
    EXPECT_EQ(g->DefaultRowHeight(), 25);

    // The last column follows the window's width.
    const int before = g->ColWidth(4);
    w->resize(w->width() + 60, w->height());
    ASSERT_TRUE(testsupport::WaitFor([&] { return g->ColWidth(4) == before + 60; }, 2000));
}

TEST_F(AlarmLogWindow, ShortTimesAreShownWithTheirZerosAndDeletedExactly) {
    const int d = Today();
    AddAlarms({QString("(%1, 93015, 3, '库房 ', '-3.5')").arg(d),
               QString("(%1, 510, 3, '库房 ', '-4')").arg(d),
               QString("(%1, 143000, 3, '库房 ', '26')").arg(d)});
    Open();
    const QString day = alarmlog::DateText(d);
    EXPECT_EQ(Column(0), QStringList({day, day, day}));
    EXPECT_EQ(Column(1), QStringList({"14:30:00", "09:30:15", "00:05:10"}));
    EXPECT_EQ(Column(2), QStringList({"3", "3", "3"}));
    EXPECT_EQ(Column(3), QStringList({"库房 ", "库房 ", "库房 "}));
    EXPECT_EQ(Column(4), QStringList({"26", "-3.5", "-4"}));

    ClickRow(2);
    Click(s->Falm->RzBitBtn2);
    EXPECT_EQ(folder.Sql("select times from alming order by times"), "510\n143000");
    EXPECT_EQ(Column(1), QStringList({"14:30:00", "00:05:10"}));

    ClickRow(2);
    Click(s->Falm->RzBitBtn2);
    EXPECT_EQ(folder.Sql("select times from alming"), "143000");
    EXPECT_EQ(Column(1), QStringList({"14:30:00"}));
}

TEST_F(AlarmLogWindow, ARangeListsEveryAlarmOfItsDaysNewestFirst) {
    QStringList tuples;
    for (int day = 1; day <= 30; ++day)
        tuples << QString("(200711%1, 120000, 1, 'a', '30')").arg(day, 2, 10, QChar('0'));
    tuples << "(20071115, 80000, 2, 'b', '31')"
           << "(20071115, 235959, 2, 'b', '32')";
    tuples << "(20071031, 120000, 1, 'out', '1')"
           << "(20071201, 120000, 1, 'out', '1')";
    AddAlarms(tuples);
    Open();
    Query(QDate(2007, 11, 1), QDate(2007, 11, 30));

    QStringList days = Column(0);
    ASSERT_EQ(days.size(), 32);
    EXPECT_EQ(days.first(), "2007年11月30日");
    EXPECT_EQ(days.last(), "2007年11月01日");
    EXPECT_FALSE(Column(3).contains("out"));
    const int at15 = days.indexOf("2007年11月15日");
    ASSERT_GE(at15, 0);
    EXPECT_EQ(Column(1).mid(at15, 3), QStringList({"23:59:59", "12:00:00", "08:00:00"}));
    for (int i = 1; i < days.size(); ++i)
        EXPECT_GE(alarmlog::DigitsOf(days[i - 1]).toInt(), alarmlog::DigitsOf(days[i]).toInt());

    // One day as both bounds; bounds the wrong way round find nothing: they are not reordered.
    Query(QDate(2007, 11, 15), QDate(2007, 11, 15));
    EXPECT_EQ(Column(1), QStringList({"23:59:59", "12:00:00", "08:00:00"}));
    Query(QDate(2007, 11, 30), QDate(2007, 11, 1));
    EXPECT_EQ(Column(0), QStringList({""}));

    // Showing the window again starts over with today.
    s->Falm->close();
    Open();
    EXPECT_EQ(s->Falm->DateEdit1->date(), QDate::currentDate());
    EXPECT_EQ(s->Falm->currentLogQuery, LogQuery::Day(Today()));
    EXPECT_EQ(Column(0), QStringList({""}));
}

TEST_F(AlarmLogWindow, DeleteOnTheBlankRowChangesNothing) {
    AddAlarms({"(20071130, 93015, 1, 'x', '30')"});
    Open();
    ASSERT_EQ(Grid()->RowCount(), 2);
    ClickRow(1);
    Click(s->Falm->RzBitBtn2);
    EXPECT_EQ(LogCount(), 1);
    EXPECT_EQ(Grid()->RowCount(), 2);
}

TEST_F(AlarmLogWindow, DeleteKeepsTheSelectedRowOrMovesToTheNewLastRow) {
    const int d = Today();
    AddAlarms(
        {QString("(%1, 10000, 1, 'a', '1')").arg(d), QString("(%1, 20000, 2, 'b', '2')").arg(d),
         QString("(%1, 30000, 3, 'c', '3')").arg(d), QString("(%1, 40000, 4, 'd', '4')").arg(d)});
    Open();
    ClickRow(2);  // 03:00:00
    Click(s->Falm->RzBitBtn2);
    EXPECT_EQ(Column(2), QStringList({"4", "2", "1"}));
    EXPECT_EQ(Grid()->Row(), 2);

    ClickRow(3);  // the last row
    Click(s->Falm->RzBitBtn2);
    EXPECT_EQ(Column(2), QStringList({"4", "2"}));
    EXPECT_EQ(Grid()->Row(), 2);
    EXPECT_EQ(LogCount(), 2);
}

TEST_F(AlarmLogWindow, ClearAsksFirstAndALaterDeleteListsTheLastDateQueryAgain) {
    const int d = Today();
    AddAlarms({QString("(%1, 100, 1, 'a', '1')").arg(d), "(20071130, 93015, 1, 'x', '30')"});
    Open();
    MessageBoxWatcher boxes;

    boxes.Answer(QMessageBox::No);
    Click(s->Falm->RzBitBtn3);
    EXPECT_EQ(boxes.Texts(), QStringList({"确定要清空记录吗?"}));
    EXPECT_EQ(LogCount(), 2);
    EXPECT_EQ(Column(1), QStringList({"00:01:00"}));

    boxes.Answer(QMessageBox::Yes);
    Click(s->Falm->RzBitBtn3);
    EXPECT_EQ(boxes.Texts().size(), 2);
    EXPECT_EQ(LogCount(), 0);
    ASSERT_EQ(Grid()->RowCount(), 2);
    EXPECT_EQ(Column(0), QStringList({""}));

    // New alarms arrive; a delete on the blank row lists today's again, not the whole log.
    AddAlarms({QString("(%1, 200, 2, 'b', '2')").arg(d), "(20071130, 93015, 1, 'x', '30')"});
    ClickRow(1);
    Click(s->Falm->RzBitBtn2);
    EXPECT_EQ(LogCount(), 2);
    EXPECT_EQ(Column(1), QStringList({"00:02:00"}));
    EXPECT_EQ(boxes.Texts().size(), 2);  // no error on the way
}

TEST_F(AlarmLogWindow, RecordsWithTheSameDateTimeAndNumberGoTogether) {
    const int d = Today();
    AddAlarms(
        {QString("(%1, 93015, 5, 'a', '30')").arg(d), QString("(%1, 93015, 5, 'a', '31')").arg(d),
         QString("(%1, 93015, 6, 'b', '30')").arg(d), QString("(%1, 93016, 5, 'a', '30')").arg(d)});
    Open();
    ASSERT_EQ(Grid()->RowCount(), 5);
    const int row = Column(2).indexOf("5", Column(1).indexOf("09:30:15")) + 1;
    ASSERT_EQ(Grid()->Cell(1, row), "09:30:15");
    ClickRow(row);
    Click(s->Falm->RzBitBtn2);
    EXPECT_EQ(folder.Sql("select times, code from alming order by times, code"),
              "93015|6\n93016|5");
    EXPECT_EQ(Grid()->RowCount(), 3);
}

TEST_F(AlarmLogWindow, ANonDigitDateBoundIsAConversionErrorAndRunsNothing) {
    const int d = Today();
    AddAlarms({QString("(%1, 100, 1, 'a', '1')").arg(d), "(20071130, 93015, 1, 'x', '30')"});
    Open();
    MessageBoxWatcher boxes;
    // The date edit itself refuses letters as they are typed; a text whose month is not in
    // digits still reaches the query when the edit shows the month by name.
    s->Falm->DateEdit1->setLocale(QLocale::c());
    s->Falm->DateEdit1->setDisplayFormat("yyyy-MMM-dd");
    s->Falm->DateEdit1->setDate(QDate(2007, 11, 1));
    s->Falm->DateEdit2->setDate(QDate(2007, 11, 30));
    ASSERT_EQ(s->Falm->DateEdit1->text(), "2007-Nov-01");
    Click(s->Falm->RzBitBtn1);
    ASSERT_TRUE(testsupport::WaitFor([&] { return !boxes.Texts().isEmpty(); }, 3000));
    EXPECT_EQ(boxes.Texts(), QStringList({"'2007No-0' is not a valid integer value"}));
    EXPECT_EQ(s->Falm->currentLogQuery, LogQuery::Day(d));
    EXPECT_EQ(Column(1), QStringList({"00:01:00"}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(AlarmLogWindow, AFailingQueryKeepsTheListAndGivesTheNormalCursorBack) {
    const int d = Today();
    AddAlarms({QString("(%1, 100, 1, 'a', '1')").arg(d)});
    Open();
    MessageBoxWatcher boxes;
    folder.Sql("drop table alming");
    Click(s->Falm->RzBitBtn1);
    ASSERT_TRUE(testsupport::WaitFor([&] { return !boxes.Texts().isEmpty(); }, 3000));
    EXPECT_TRUE(boxes.Texts().first().contains("alming")) << boxes.Texts().first().toStdString();
    EXPECT_EQ(Column(1), QStringList({"00:01:00"}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(AlarmLogWindow, OpenedFromTheMainWindowCentredAndItsExitRestartsTheCountdown) {
    AddAlarms({QString("(%1, 100, 1, 'a', '1')").arg(Today())});
    s = std::make_unique<Station>(folder);
    s->Fmain->State().countdown = 3;
    bool checked = false;
    QTimer::singleShot(100, s->Falm, [&] {
        EXPECT_TRUE(s->Falm->isVisible());
        EXPECT_TRUE(s->Fmain->TimerB()->isActive());  // monitoring goes on
        EXPECT_EQ(Column(1), QStringList({"00:01:00"}));
        const QPoint diff = s->Falm->geometry().center() - s->Fmain->frameGeometry().center();
        EXPECT_LE(diff.manhattanLength(), 40);
        checked = true;
        Click(s->Falm->RzBitBtn7);
    });
    QTest::mouseClick(s->Fmain->SpeedButton3, Qt::LeftButton);
    EXPECT_TRUE(checked);
    EXPECT_FALSE(s->Falm->isVisible());
    EXPECT_EQ(s->Fmain->State().countdown, 60);
    EXPECT_TRUE(s->Fmain->TimerB()->isActive());
}

}  // namespace
