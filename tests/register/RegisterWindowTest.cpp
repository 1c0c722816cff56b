// The register window driven as an operator does: clicks on rows and buttons, typed keys,
// message boxes answered; the stored register checked in the database file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "RegisterTestSupport.h"
#include "StationDatabase.h"

using namespace registertest;
using testsupport::WaitFor;

TEST(RegisterWindow, ShowsTheStoredRegisterInNumberOrder) {
    StationFolder folder;
    folder.AddSensors({{7, "000007 ", "seven ", 30, -10},
                       {0, "0A0A0A ", "spare "},
                       {2, "000002 ", "two ", 25.5, 0.0625}});
    Station s(folder);
    ShowRegister(s);
    TFset* w = s.Fset;
    EXPECT_EQ(w->windowTitle(), "设备管理");
    EXPECT_EQ(w->LabelTitle->text(), "设 备 管 理");
    EXPECT_EQ(w->size(), QSize(929, 592));
    EXPECT_EQ(w->GroupBox1->title(), "EXCEL数据表");
    EXPECT_EQ(w->SaveSBtn->text(), "表单备份");
    EXPECT_EQ(w->SortSBtn->text(), "导入备份");
    // Centred on the main window.
    EXPECT_LE((w->frameGeometry().center() - s.Fmain->frameGeometry().center()).manhattanLength(),
              4);

    TStringGrid* g = w->RzStringGrid1;
    const QStringList headers = {"编号", " 设备ID", " 方 位", "高温(℃)", "低温(℃)", "  备  注 "};
    const int widths[] = {80, 120, 120, 80, 80};
    for (int c = 0; c < 6; ++c) EXPECT_EQ(g->Cell(c, 0), headers[c]);
    for (int c = 0; c < 5; ++c) EXPECT_EQ(g->ColWidth(c), widths[c]);
    EXPECT_EQ(g->DefaultRowHeight(), 25);
    EXPECT_EQ(g->selectionBehavior(), QAbstractItemView::SelectRows);
    ASSERT_EQ(g->RowCount(), 4);
    EXPECT_EQ(g->RowCells(1), QStringList({"", "0A0A0A ", "spare ", "", "", " "}));
    EXPECT_EQ(g->RowCells(2), QStringList({"2", "000002 ", "two ", "25.5", "0.0625", " "}));
    EXPECT_EQ(g->RowCells(3), QStringList({"7", "000007 ", "seven ", "30", "-10", " "}));
    EXPECT_FALSE(w->SpeedButton1->isEnabled());
    EXPECT_FALSE(w->SpeedButton3->isEnabled());
    EXPECT_FALSE(w->SpeedButton4->isEnabled());
    for (QAbstractButton* b : {w->SpeedButton2, w->SpeedButton5, w->SpeedButton6, w->SpeedButton7,
                               w->SaveSBtn, w->SortSBtn})
        EXPECT_TRUE(b->isEnabled()) << b->text().toStdString();

    // Widening the window gives the last column what is left.
    const int before = g->ColWidth(5);
    EXPECT_EQ(before, g->width() - 480 - 8);
    w->resize(w->width() + 60, w->height());
    ASSERT_TRUE(WaitFor([&] { return g->ColWidth(5) == before + 60; }, 2000));
}

TEST(RegisterWindow, ClickingARowFillsTheEditsAndPromptsForAMissingNumber) {
    StationFolder folder;
    folder.AddSensors({{0, "0A0A0A ", "spare "}, {2, "000002 ", " two ", 25.5, -3}});
    Station s(folder);
    ShowRegister(s);
    TFset* w = s.Fset;
    ClickRow(w->RzStringGrid1, 2);
    EXPECT_EQ(w->RzEdit1->text(), "2");
    EXPECT_EQ(w->RzEdit2->text(), "000002");
    EXPECT_EQ(w->RzEdit3->text(), "two");
    EXPECT_EQ(w->RzEdit4->text(), "25.5");
    EXPECT_EQ(w->RzEdit5->text(), "-3");
    EXPECT_EQ(w->RzEdit6->text(), "");
    EXPECT_TRUE(w->SpeedButton3->isEnabled());
    EXPECT_FALSE(w->SpeedButton1->isEnabled());
    const QColor normal = QApplication::palette().color(QPalette::Text);
    EXPECT_EQ(w->RzEdit1->palette().color(QPalette::Text), normal);

    ClickRow(w->RzStringGrid1, 1);
    EXPECT_EQ(w->RzEdit1->text(), "请输入编号");
    EXPECT_EQ(w->RzEdit1->palette().color(QPalette::Text),
              QApplication::palette().color(QPalette::Dark));
    EXPECT_TRUE(w->RzEdit1->hasFocus());
    // Typing replaces the prompt and ends the dim colour; the change enables update.
    QTest::keyClicks(w->RzEdit1, "9");
    EXPECT_EQ(w->RzEdit1->text(), "9");
    EXPECT_EQ(w->RzEdit1->palette().color(QPalette::Text), normal);

    // A click into the number edit empties the prompt.
    ClickRow(w->RzStringGrid1, 2);
    ClickRow(w->RzStringGrid1, 1);
    QTest::mouseClick(w->RzEdit1, Qt::LeftButton);
    EXPECT_EQ(w->RzEdit1->text(), "");
}

TEST(RegisterWindow, TypingDecidesBetweenAddAndUpdate) {
    StationFolder folder;
    folder.AddSensors({{1, "000001 ", "one "}});
    Station s(folder);
    ShowRegister(s);
    TFset* w = s.Fset;
    ClickRow(w->RzStringGrid1, 1);
    QTest::keyClicks(w->RzEdit3, "x");  // add is off: update stays on
    EXPECT_TRUE(w->SpeedButton3->isEnabled());
    QTest::keyClicks(w->RzEdit2, "x");  // a new ID is a new device
    EXPECT_TRUE(w->SpeedButton1->isEnabled());
    EXPECT_FALSE(w->SpeedButton3->isEnabled());
    QTest::keyClicks(w->RzEdit6, "y");  // add is on: update stays off
    Click(w->SpeedButton8);
    EXPECT_FALSE(w->SpeedButton3->isEnabled());

    Click(w->SpeedButton5);  // restore
    EXPECT_FALSE(w->SpeedButton1->isEnabled());
    EXPECT_FALSE(w->SpeedButton3->isEnabled());
    EXPECT_EQ(w->RzEdit2->text(), "");
    // A default button with add off enables update; the grid waits for update.
    ClickRow(w->RzStringGrid1, 1);
    w->SpeedButton3->setEnabled(false);
    Type(w->RzEdit4, "30");
    Click(w->SpeedButton8);
    EXPECT_EQ(w->RzEdit4->text(), "");
    EXPECT_TRUE(w->SpeedButton3->isEnabled());
    EXPECT_EQ(w->RzStringGrid1->Cell(3, 1), "");
}

TEST(RegisterWindow, EmptyRegisterSavedStoresOneBlankRecord) {
    StationFolder folder;
    Station s(folder);
    ShowRegister(s);
    TFset* w = s.Fset;
    ASSERT_EQ(w->RzStringGrid1->RowCount(), 2);
    EXPECT_EQ(w->RzStringGrid1->RowCells(1), QStringList(6, ""));
    // Deleting the only (blank) row keeps it and marks the grid changed.
    Click(w->SpeedButton2);
    ASSERT_EQ(w->RzStringGrid1->RowCount(), 2);
    ASSERT_TRUE(w->SpeedButton4->isEnabled());
    Click(w->SpeedButton4);
    EXPECT_EQ(Stored(folder), "0|' '|' '|0.0|0.0|' '|NULL");
    EXPECT_FALSE(w->SpeedButton4->isEnabled());
    // Not monitored: the main window shows one empty row.
    EXPECT_EQ(s.Fmain->RzStringGrid1->RowCount(), 2);
    EXPECT_EQ(s.Fmain->RzStringGrid1->Cell(0, 1), "");
}

TEST(RegisterWindow, ZeroLimitIsKeptAsOneStep) {
    StationFolder folder;
    Station s(folder);
    ShowRegister(s);
    TFset* w = s.Fset;
    TypeRow(w, {"3", "0A1B2C", "hall", "0", "-0", "r"});
    Click(w->SpeedButton1);
    EXPECT_EQ(w->RzEdit4->text(), "0.0625");
    EXPECT_EQ(w->RzEdit5->text(), "0.0625");
    EXPECT_EQ(w->RzStringGrid1->RowCells(1),
              QStringList({"3", "0A1B2C", "hall", "0.0625", "0.0625", "r"}));
    Click(w->SpeedButton4);
    EXPECT_EQ(Stored(folder), "3|'0A1B2C '|'hall '|0.0625|0.0625|'r '|NULL");
    Click(w->SpeedButton5);
    EXPECT_EQ(w->RzStringGrid1->RowCells(1),
              QStringList({"3", "0A1B2C ", "hall ", "0.0625", "0.0625", "r "}));
}

TEST(RegisterWindow, BlankOrDefaultedLimitIsStoredAsNoLimit) {
    StationFolder folder;
    folder.AddSensors({{4, "0A1B2C ", "hall ", 30, -10}});
    Station s(folder);
    ShowRegister(s);
    TFset* w = s.Fset;
    ClickRow(w->RzStringGrid1, 1);
    Click(w->SpeedButton8);  // high: default
    Type(w->RzEdit5, "");    // low: erased
    Click(w->SpeedButton3);
    EXPECT_EQ(w->RzStringGrid1->RowCells(1), QStringList({"4", "0A1B2C", "hall", "", "", ""}));
    Click(w->SpeedButton4);
    EXPECT_EQ(Stored(folder), "4|'0A1B2C '|'hall '|0.0|0.0|' '|NULL");
    Click(w->SpeedButton5);
    EXPECT_EQ(w->RzStringGrid1->Cell(3, 1), "");
    EXPECT_EQ(w->RzStringGrid1->Cell(4, 1), "");
}

TEST(RegisterWindow, IdIsCheckedAndWrittenInUpperCase) {
    StationFolder folder;
    Station s(folder);
    ShowRegister(s);
    TFset* w = s.Fset;
    MessageBoxWatcher boxes;

    TypeRow(w, {"", "0A1B2G"});
    Click(w->SpeedButton1);
    EXPECT_EQ(boxes.Texts(), QStringList({"请核对ID后重新输入！"}));
    EXPECT_EQ(w->RzEdit2->text(), "0A1B2G");
    EXPECT_EQ(w->focusWidget(), w->RzEdit2);
    EXPECT_EQ(w->RzStringGrid1->RowCells(1), QStringList(6, ""));

    Type(w->RzEdit2, "0A1B2");
    Click(w->SpeedButton1);
    EXPECT_EQ(boxes.Texts().last(), "输入ID必须为6位数！");
    EXPECT_EQ(w->RzStringGrid1->RowCells(1), QStringList(6, ""));

    Type(w->RzEdit2, "0a1b2c");
    Click(w->SpeedButton1);
    EXPECT_EQ(boxes.Texts().size(), 2);
    EXPECT_EQ(w->RzEdit2->text(), "0A1B2C");
    EXPECT_EQ(w->RzStringGrid1->Cell(1, 1), "0A1B2C");
}

TEST(RegisterWindow, EditChecksStopAtTheFirstFailureWithItsMessage) {
    StationFolder folder;
    Station s(folder);
    ShowRegister(s);
    TFset* w = s.Fset;
    MessageBoxWatcher boxes;
    struct Case {
        QStringList row;
        QString message;
        QLineEdit* focus;
    };
    const Case cases[] = {
        {{"1234567", "0A1B2G"}, "编号不能大于6位数！", w->RzEdit1},
        {{"12a", "0A1B2C"}, "编号必须为数字！", w->RzEdit1},
        {{"1", "0A1B2C", "", "12345678"}, "报警值不能大于7位数！", w->RzEdit4},
        {{"1", "0A1B2C", "", "3x"}, "报警值必须为数字！", w->RzEdit4},
        {{"1", "0A1B2C", "", "30", "-12345678"}, "报警值不能大于7位数！", w->RzEdit5},
        {{"1", "0A1B2C", "", "30", "+5"}, "报警值必须为数字！", w->RzEdit5},
    };
    for (const Case& c : cases) {
        boxes.Clear();
        TypeRow(w, c.row);
        Click(w->SpeedButton1);
        EXPECT_EQ(boxes.Texts(), QStringList({c.message})) << c.message.toStdString();
        // The offscreen platform does not hand activation back after the box: the edit is
        // the window's focus widget, which has the focus once the window is active again.
        EXPECT_EQ(w->focusWidget(), c.focus) << c.message.toStdString();
        EXPECT_EQ(w->RzStringGrid1->RowCells(1), QStringList(6, ""));
    }
    // A limit that is no number ends the add with the conversion error, grid unchanged; the
    // low limit is converted before its characters are checked.
    for (const QStringList& row :
         {QStringList{"1", "0A1B2C", "", "1.2.3"}, QStringList{"1", "0A1B2C", "", "", "1-1"}}) {
        boxes.Clear();
        TypeRow(w, row);
        Click(w->SpeedButton1);
        ASSERT_EQ(boxes.Texts().size(), 1);
        EXPECT_TRUE(boxes.Texts()[0].contains("is not a valid floating point value"))
            << boxes.Texts()[0].toStdString();
        EXPECT_EQ(w->RzStringGrid1->RowCells(1), QStringList(6, ""));
    }
}

TEST(RegisterWindow, AddFillsTheBlankRowThenAppends) {
    StationFolder folder;
    Station s(folder);
    ShowRegister(s);
    TFset* w = s.Fset;
    TStringGrid* g = w->RzStringGrid1;
    TypeRow(w, {"1", "000001", "a"});
    Click(w->SpeedButton1);
    ASSERT_EQ(g->RowCount(), 2);
    EXPECT_EQ(g->Cell(1, 1), "000001");
    EXPECT_FALSE(w->SpeedButton1->isEnabled());
    EXPECT_TRUE(w->SpeedButton4->isEnabled());

    Type(w->RzEdit2, "000002");
    EXPECT_TRUE(w->SpeedButton1->isEnabled());
    Type(w->RzEdit1, "2");
    Click(w->SpeedButton1);
    ASSERT_EQ(g->RowCount(), 3);
    EXPECT_EQ(g->RowCells(2), QStringList({"2", "000002", "a", "", "", ""}));
    EXPECT_EQ(g->Row(), 2);
    EXPECT_TRUE(w->SpeedButton3->isEnabled());  // the selection moved: the row is shown

    // Update rewrites the selected row only.
    ClickRow(g, 1);
    Type(w->RzEdit3, "b");
    Click(w->SpeedButton3);
    EXPECT_EQ(g->RowCells(1), QStringList({"1", "000001", "b", "", "", ""}));
    EXPECT_EQ(g->Cell(2, 2), "a");
}

TEST(RegisterWindow, AddNeverOverwritesAFilledRowWithoutId) {
    StationFolder folder;
    Station s(folder);
    ShowRegister(s);
    TFset* w = s.Fset;
    TStringGrid* g = w->RzStringGrid1;
    g->SetRowCells(1, {"5", "", "imported", "", "", ""});  // as a spreadsheet import leaves it
    TypeRow(w, {"6", "000006"});
    Click(w->SpeedButton1);
    ASSERT_EQ(g->RowCount(), 3);
    EXPECT_EQ(g->Cell(2, 1), "imported");
    EXPECT_EQ(g->Cell(1, 2), "000006");
}

TEST(RegisterWindow, DeleteMovesRowsUpAndKeepsOneBlankRow) {
    StationFolder folder;
    folder.AddSensors({{1, "000001 ", "a "}, {2, "000002 ", "b "}, {3, "000003 ", "c "}});
    Station s(folder);
    ShowRegister(s);
    TFset* w = s.Fset;
    TStringGrid* g = w->RzStringGrid1;
    ClickRow(g, 2);
    Click(w->SpeedButton2);
    ASSERT_EQ(g->RowCount(), 3);
    EXPECT_EQ(g->Cell(0, 1), "1");
    EXPECT_EQ(g->Cell(0, 2), "3");
    EXPECT_EQ(g->Row(), 2);  // keeps its index
    EXPECT_EQ(w->RzEdit1->text(), "3");
    EXPECT_TRUE(w->SpeedButton4->isEnabled());
    EXPECT_TRUE(w->SpeedButton3->isEnabled());
    EXPECT_FALSE(w->SpeedButton1->isEnabled());

    Click(w->SpeedButton2);  // the last row: the selection moves to the new last row
    ASSERT_EQ(g->RowCount(), 2);
    EXPECT_EQ(g->Row(), 1);
    EXPECT_EQ(w->RzEdit2->text(), "000001");

    Click(w->SpeedButton2);  // the only row
    ASSERT_EQ(g->RowCount(), 2);
    EXPECT_EQ(g->RowCells(1), QStringList(6, ""));
    EXPECT_EQ(w->RzEdit1->text(), "请输入编号");
    // Nothing was stored yet.
    EXPECT_EQ(folder.Sql("select count(*) from settab"), "3");
}

TEST(RegisterWindow, NumbersWithLeadingZerosAreStoredAsTheirValue) {
    StationFolder folder;
    Station s(folder);
    ShowRegister(s);
    TFset* w = s.Fset;
    MessageBoxWatcher boxes;
    TypeRow(w, {"0012", "000001"});
    Click(w->SpeedButton1);
    TypeRow(w, {"12", "000002"});
    Click(w->SpeedButton1);
    Click(w->SpeedButton4);
    EXPECT_TRUE(boxes.Texts().isEmpty()) << boxes.Texts().join('|').toStdString();
    EXPECT_EQ(folder.Sql("select code from settab order by ID"), "12\n12");
    Click(w->SpeedButton5);
    EXPECT_EQ(w->RzStringGrid1->Cell(0, 1), "12");
    EXPECT_EQ(w->RzStringGrid1->Cell(0, 2), "12");
}

TEST(RegisterWindow, DuplicatesAreRefusedAndTheRowSelected) {
    StationFolder folder;
    folder.AddSensors({{9, "999999 ", "kept "}});
    const QString before = Stored(folder);
    Station s(folder);
    ShowRegister(s);
    TFset* w = s.Fset;
    TStringGrid* g = w->RzStringGrid1;
    MessageBoxWatcher boxes;
    TypeRow(w, {"", "0A1B2C"});
    Click(w->SpeedButton1);
    TypeRow(w, {"", "111111"});
    Click(w->SpeedButton1);
    TypeRow(w, {"", " 0A1B2C "});
    Click(w->SpeedButton1);
    ClickRow(g, 1);
    Click(w->SpeedButton4);
    EXPECT_EQ(boxes.Texts(), QStringList({"ID“0A1B2C”重复"}));
    EXPECT_EQ(g->Row(), 4);
    EXPECT_EQ(w->RzEdit2->text(), "0A1B2C");  // the selected row is shown
    EXPECT_EQ(Stored(folder), before);
    EXPECT_TRUE(w->SpeedButton4->isEnabled());

    // Numbers: the same check.
    boxes.Clear();
    ClickRow(g, 4);
    Click(w->SpeedButton2);
    g->SetCell(0, 2, "9");
    g->SetCell(0, 3, " 9 ");  // trimmed before the comparison
    Click(w->SpeedButton4);
    EXPECT_EQ(boxes.Texts(), QStringList({"编号“9”重复"}));
    EXPECT_EQ(g->Row(), 2);  // the first row's twin
    EXPECT_EQ(g->Cell(0, 3), "9");
    EXPECT_EQ(Stored(folder), before);
}

TEST(RegisterWindow, BlankIdsAreNoDuplicates) {
    StationFolder folder;
    folder.AddSensors({{0, " ", "a "}, {0, " ", "b "}, {5, "000005 ", "c "}});
    Station s(folder);
    ShowRegister(s);
    TFset* w = s.Fset;
    MessageBoxWatcher boxes;
    ClickRow(w->RzStringGrid1, 3);
    Click(w->SpeedButton2);
    Click(w->SpeedButton4);
    EXPECT_TRUE(boxes.Texts().isEmpty()) << boxes.Texts().join('|').toStdString();
    EXPECT_EQ(folder.Sql("select code, quote(codeid), quote(fix) from settab order by ID"),
              "0|' '|'a '\n0|' '|'b '");
}

TEST(RegisterWindow, SaveReplacesTheRegisterAndReloadsTheMonitoringGrid) {
    StationFolder folder;
    folder.AddSensors({{1, "000001 ", "old ", 0, 0, "2024-03-05 14:07:09"}});
    Station s(folder);
    s.Fmain->RzStringGrid1->SetCell(1, 1, "21.5");  // a reading on screen
    ShowRegister(s);
    TFset* w = s.Fset;
    ClickRow(w->RzStringGrid1, 1);
    Type(w->RzEdit3, "new");
    Click(w->SpeedButton3);
    TypeRow(w, {"2", "000002", "second", "40", "-5", "note"});
    Click(w->SpeedButton1);
    Click(w->SpeedButton4);
    EXPECT_EQ(Stored(folder),
              "1|'000001 '|'new '|0.0|0.0|' '|NULL\n2|'000002 '|'second '|40.0|-5.0|'note '|NULL");
    EXPECT_FALSE(w->SpeedButton1->isEnabled());
    EXPECT_FALSE(w->SpeedButton3->isEnabled());
    EXPECT_FALSE(w->SpeedButton4->isEnabled());
    TStringGrid* m = s.Fmain->RzStringGrid1;
    ASSERT_EQ(m->RowCount(), 3);
    EXPECT_EQ(m->Cell(1, 1), "");  // reading cleared
    EXPECT_EQ(m->Cell(2, 1), "new ");
    EXPECT_EQ(m->Cell(3, 1), "");  // the recorded alarm is gone with the old row
    EXPECT_EQ(m->Cell(2, 2), "second ");
    // The next reading goes by the saved register: the new sensor's limit is in force.
    s.Fmain->EvaluateReading("000002", 41);
    EXPECT_EQ(m->Cell(1, 2), "41");
    EXPECT_EQ(folder.Sql("select code, almtemp from alming"), "2|41");
}

TEST(RegisterWindow, FailedSaveLeavesTheStoredRegisterAsItWas) {
    StationFolder folder;
    folder.AddSensors({{1, "000001 ", "a ", 30, 0, "2024-03-05 14:07:09"}, {2, "000002 ", "b "}});
    const QString before = Stored(folder);
    // The store refuses one particular sensor, half-way through the save.
    folder.Sql(
        "create trigger refuse before insert on settab when new.codeid = 'BADBAD ' "
        "begin select raise(abort, 'sensor refused by the store'); end;");
    Station s(folder);
    ShowRegister(s);
    TFset* w = s.Fset;
    TStringGrid* g = w->RzStringGrid1;
    MessageBoxWatcher boxes;

    struct Case {
        int col;
        QString text;
        QString expected;
    };
    const Case cases[] = {
        {0, "12x", "'12x'"},                           // a number that does not convert
        {3, "1.2.3", "'1.2.3'"},                       // a limit that does not convert
        {1, "BADBAD", "sensor refused by the store"},  // the store refuses the insert
    };
    for (const Case& c : cases) {
        Click(w->SpeedButton5);
        g->SetRowCount(4);
        g->SetRowCells(3, {"3", "000003", "c", "", "", ""});
        g->SetCell(c.col, 2, c.text);
        w->SpeedButton4->setEnabled(true);  // as the import leaves it
        boxes.Clear();
        Click(w->SpeedButton4);
        ASSERT_EQ(boxes.Texts().size(), 1) << c.text.toStdString();
        EXPECT_TRUE(boxes.Texts()[0].contains(c.expected)) << boxes.Texts()[0].toStdString();
        if (c.col != 1) {
            EXPECT_TRUE(boxes.Texts()[0].startsWith("第2行")) << c.text.toStdString();
        }
        EXPECT_EQ(Stored(folder), before) << c.text.toStdString();
        EXPECT_TRUE(w->SpeedButton4->isEnabled());
        EXPECT_EQ(g->RowCount(), 4);  // the working copy is kept
    }
    // The connection is usable afterwards: the same grid without the bad row saves.
    g->SetCell(1, 2, "000002");
    boxes.Clear();
    Click(w->SpeedButton4);
    EXPECT_TRUE(boxes.Texts().isEmpty()) << boxes.Texts().join('|').toStdString();
    EXPECT_EQ(folder.Sql("select count(*) from settab"), "3");
}

TEST(RegisterWindow, ClosingWithUnsavedChangesAsks) {
    StationFolder folder;
    folder.AddSensors({{1, "000001 ", "a "}});
    Station s(folder);
    s.Fmain->State().countdown = 3;
    MessageBoxWatcher boxes;
    bool driven = false;
    // Opened as the operator does, with the main window's button (a modal window).
    QTimer::singleShot(0, s.Fset, [&] {
        TFset* w = s.Fset;
        ASSERT_TRUE(WaitFor([&] { return w->isVisible(); }));
        EXPECT_TRUE(s.Fmain->TimerB()->isActive());  // monitoring goes on
        ClickRow(w->RzStringGrid1, 1);
        Click(w->SpeedButton2);
        boxes.Answer(QMessageBox::No);
        Click(w->SpeedButton7);  // exit
        EXPECT_TRUE(WaitFor([&] { return boxes.Texts().size() == 1; }));
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(w->RzStringGrid1->RowCells(1), QStringList(6, ""));
        EXPECT_TRUE(w->SpeedButton4->isEnabled());

        boxes.Answer(QMessageBox::No);
        w->close();  // the close box
        EXPECT_EQ(boxes.Texts().size(), 2);
        EXPECT_TRUE(w->isVisible());

        boxes.Answer(QMessageBox::Yes);
        QTest::keyClick(w, Qt::Key_Escape);
        driven = true;
    });
    Click(s.Fmain->SpeedButton2);
    ASSERT_TRUE(driven);
    EXPECT_FALSE(s.Fset->isVisible());
    EXPECT_EQ(boxes.Texts(), QStringList(3, "数据未保存，确定退出吗?"));
    EXPECT_EQ(folder.Sql("select count(*) from settab"), "1");
    EXPECT_EQ(s.Fmain->State().countdown, 60);
    EXPECT_TRUE(s.Fmain->TimerB()->isActive());

    // Unsaved changes are gone at the next showing; without changes nothing is asked.
    boxes.Clear();
    QTimer::singleShot(0, s.Fset, [&] {
        ASSERT_TRUE(WaitFor([&] { return s.Fset->isVisible(); }));
        EXPECT_EQ(s.Fset->RzStringGrid1->Cell(0, 1), "1");
        Click(s.Fset->SpeedButton7);
    });
    Click(s.Fmain->SpeedButton2);
    EXPECT_FALSE(s.Fset->isVisible());
    EXPECT_TRUE(boxes.Texts().isEmpty());
}

// Minimising the main window minimises the register window with it; bringing it back is no
// new showing: the working copy, unsaved changes and all, stays as the operator left it.
TEST(RegisterWindow, RestoringAfterMinimisingKeepsUnsavedWork) {
    StationFolder folder;
    folder.AddSensors({{1, "000001 ", "one "}});
    Station s(folder);
    ShowRegister(s);
    TFset* w = s.Fset;
    ClickRow(w->RzStringGrid1, 1);
    Type(w->RzEdit3, "cellar");
    Click(w->SpeedButton3);  // update
    ASSERT_EQ(w->RzStringGrid1->Cell(2, 1), "cellar");
    ASSERT_TRUE(w->SpeedButton4->isEnabled());

    for (int round = 0; round < 2; ++round) {
        w->showMinimized();
        ASSERT_TRUE(WaitFor([&] { return w->isMinimized(); }, 2000));
        w->showNormal();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
        EXPECT_EQ(w->RzStringGrid1->Cell(2, 1), "cellar") << "round " << round;
        EXPECT_TRUE(w->SpeedButton4->isEnabled()) << "round " << round;
    }
    EXPECT_EQ(Stored(folder), "1|'000001 '|'one '|0.0|0.0|' '|NULL");

    // A new showing still starts from the stored register.
    w->hide();
    ShowRegister(s);
    EXPECT_EQ(w->RzStringGrid1->Cell(2, 1), "one ");
    EXPECT_FALSE(w->SpeedButton4->isEnabled());
}
