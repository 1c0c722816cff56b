#include <gtest/gtest.h>

#include <QFile>
#include <QScrollBar>
#include <QTest>

#include "ReadOnlyMount.h"
#include "StationFixture.h"
#include "TestSupport.h"

TEST(MainWindowStartup, MonitoredSensorsFillTheGridInNumberOrder) {
    StationFolder folder;
    folder.AddSensors({{7, "000007 ", "seven "},
                       {2, "000002 ", "two "},
                       {0, "000000 ", "none "},
                       {5, "000005 ", "five ", 0, 0, "2024-03-05 14:07:09"}});
    Station s(folder);
    TStringGrid* g = s.Fmain->RzStringGrid1;
    ASSERT_EQ(g->RowCount(), 4);
    EXPECT_EQ(g->Cell(0, 1), "2");
    EXPECT_EQ(g->Cell(0, 2), "5");
    EXPECT_EQ(g->Cell(0, 3), "7");
    EXPECT_EQ(g->Cell(2, 2), "five ");
    EXPECT_EQ(g->Cell(3, 2), "2024-03-05 14:07:09");
    EXPECT_EQ(g->Cell(0, 0), "编号");
    EXPECT_EQ(g->Cell(1, 0), "状态(℃)");
    EXPECT_EQ(g->Cell(2, 0), " 方 位 ");
    EXPECT_EQ(g->Cell(3, 0), " 最近报警");
    EXPECT_EQ(g->ColWidth(0), 90);
    EXPECT_EQ(g->ColWidth(1), 140);
    EXPECT_EQ(g->ColWidth(2), 180);
}

TEST(MainWindowStartup, EmptyRegisterGivesOneEmptyRow) {
    StationFolder folder;
    folder.AddSensors({{0, "000000 ", "unnumbered "}});
    Station s(folder);
    TStringGrid* g = s.Fmain->RzStringGrid1;
    ASSERT_EQ(g->RowCount(), 2);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(g->Cell(c, 1), QString()) << c;
}

TEST(MainWindowStartup, ReloadKeepsReadingsByRowUnlessAskedToClearThem) {
    StationFolder folder;
    folder.AddSensors({{1, "000001 ", "a "}, {2, "000002 ", "b "}});
    Station s(folder);
    TStringGrid* g = s.Fmain->RzStringGrid1;
    g->SetCell(1, 1, "21.5");
    g->SetCell(1, 2, "22");
    s.Fmain->rowAlarmState[1] = 1;
    s.Fmain->LoadMonitorRows(false);
    EXPECT_EQ(g->Cell(1, 1), "21.5");
    EXPECT_EQ(s.Fmain->rowAlarmState[1], 0);  // no recorded alarm in column 3
    s.Fmain->LoadMonitorRows(true);
    EXPECT_EQ(g->Cell(1, 1), QString());
    EXPECT_EQ(g->Cell(1, 2), QString());
}

TEST(MainWindowStartup, MoreThan256SensorsKeepAnAlarmStateEach) {
    StationFolder folder;
    std::vector<SensorRow> rows;
    for (int i = 1; i <= 300; ++i)
        rows.push_back({i, QString("%1 ").arg(i, 6, 16, QChar('0')).toUpper(), "x ", 0, 0,
                        i == 300 ? "2024-01-01 00:00:00" : QString()});
    folder.AddSensors(rows);
    Station s(folder);
    ASSERT_EQ(s.Fmain->RzStringGrid1->RowCount(), 301);
    ASSERT_GE(s.Fmain->rowAlarmState.size(), 301u);
    s.Fmain->rowAlarmState[300] = 1;
    s.Fmain->LoadMonitorRows(false);
    EXPECT_EQ(s.Fmain->rowAlarmState[300], 1);  // recorded alarm: state kept
    EXPECT_EQ(s.Fmain->rowAlarmState[299], 0);
}

TEST(MainWindowBoard, KeepsTheLast259LinesWithTheNewestSelected) {
    StationFolder folder;
    Station s(folder);
    for (int i = 1; i <= 300; ++i) s.Fmain->AddBoardLine(QString("line %1").arg(i));
    TMessageBoard* board = s.Fmain->RzListBox1;
    ASSERT_EQ(board->Count(), 259);
    EXPECT_EQ(board->Line(0), "line 42");
    EXPECT_EQ(board->Line(258), "line 300");
    EXPECT_EQ(board->CurrentRow(), 258);
    EXPECT_TRUE(board->AtBottom());
    QTest::mouseClick(s.Fmain->SpeedButton5, Qt::LeftButton);
    EXPECT_EQ(board->Count(), 0);
}

// An operator who scrolled the board back to read older lines keeps them in view while new
// lines arrive; at the bottom, the board follows the newest line.
TEST(MainWindowBoard, ScrolledBackItStaysWhereTheOperatorPutIt) {
    StationFolder folder;
    Station s(folder);
    TMessageBoard* board = s.Fmain->RzListBox1;
    for (int i = 1; i <= 300; ++i) s.Fmain->AddBoardLine(QString("line %1").arg(i));

    board->ScrollToRow(100);
    ASSERT_EQ(board->Line(board->TopRow()), "line 142");
    for (int i = 301; i <= 303; ++i) s.Fmain->AddBoardLine(QString("line %1").arg(i));
    EXPECT_EQ(board->Line(board->TopRow()), "line 142");
    EXPECT_EQ(board->Line(258), "line 303");

    board->ScrollToRow(board->Count());
    s.Fmain->AddBoardLine("line 304");
    EXPECT_EQ(board->CurrentRow(), 258);
    EXPECT_TRUE(board->AtBottom());
}

TEST(MainWindowFirstShow, AppliesTheSettingsFile) {
    StationFolder folder;
    folder.WriteIni(
        "[seting]\nstart=1\nicon=0\ntitle=冷库\naddhigh=40\ninterval=30\nmedia=/x/a.wav\n");
    Station s(folder);
    EXPECT_EQ(s.Fmain->sLabelFX23->text(), "冷库");
    EXPECT_EQ(s.Fmain->RzStringGrid1->DefaultRowHeight(), 40);
    EXPECT_EQ(s.Fmain->State().pollInterval, 30);
    EXPECT_EQ(s.Fmain->State().countdown, 30);
    EXPECT_EQ(s.Fmain->State().alarmSoundFile, "/x/a.wav");
    EXPECT_EQ(s.Fmain->RzLabel1->text(), "采集倒计时:");
    EXPECT_TRUE(s.Fmain->Timer2()->isActive());
    EXPECT_TRUE(s.Fmain->TimerB()->isActive());
}

TEST(MainWindowFirstShow, IntervalZeroSwitchesTimedAcquisitionOff) {
    StationFolder folder;
    folder.WriteIni(DefaultIni("0"));
    Station s(folder);
    EXPECT_EQ(s.Fmain->RzLabel1->text(), "不启用定时采集");
    EXPECT_EQ(s.Fmain->State().pollInterval, 0);
}

TEST(MainWindowFirstShow, NoPortsReportsBeforeTheConnectionTest) {
    qputenv("SENSORBUS_PORTS", "");
    StationFolder folder;
    Station s(folder);
    EXPECT_EQ(s.Board(), QStringList({"未找到通信口", "对接测试..."}));
    EXPECT_EQ(s.Fset2->ComboBox1->count(), 0);
}

TEST(MainWindowFirstShow, PortsAreListedSortedInTheSettingsWindow) {
    qputenv("SENSORBUS_PORTS", "/dev/pts/COM2:/dev/pts/com10:/dev/pts/COM1");
    StationFolder folder;
    Station s(folder);
    qputenv("SENSORBUS_PORTS", "");
    QComboBox* c = s.Fset2->ComboBox1;
    ASSERT_EQ(c->count(), 3);
    EXPECT_EQ(c->itemText(0), "/dev/pts/COM1");
    EXPECT_EQ(c->itemText(1), "/dev/pts/com10");
    EXPECT_EQ(c->itemText(2), "/dev/pts/COM2");
    EXPECT_EQ(c->currentIndex(), 0);
    EXPECT_EQ(s.Board(), QStringList({"对接测试..."}));
}

TEST(MainWindowFirstShow, FirstStartWritesTheSoundDefaultOnce) {
    StationFolder folder;
    folder.WriteIni("[seting]\nstart=0\nicon=0\ntitle=t\naddhigh=25\ninterval=60\nmedia=\n");
    {
        Station s(folder);
        EXPECT_EQ(s.Fmain->State().alarmSoundFile, folder.Path() + "Alarm.wav");
    }
    const QByteArray after = folder.ReadIni();
    EXPECT_TRUE(after.contains("start=1\n"));
    EXPECT_TRUE(after.contains(("media=" + folder.Path() + "Alarm.wav\n").toUtf8()));
    // A later start leaves media alone, even when it was changed meanwhile.
    QByteArray changed = after;
    changed.replace(("media=" + folder.Path() + "Alarm.wav").toUtf8(), "media=/other.wav");
    folder.WriteIni(changed);
    { Station s(folder); }
    EXPECT_EQ(folder.ReadIni(), changed);
}

TEST(MainWindowFirstShow, MissingStartKeyWritesNothing) {
    StationFolder folder;
    const QByteArray ini = "[seting]\nicon=0\ntitle=t\naddhigh=25\ninterval=60\n";
    folder.WriteIni(ini);
    { Station s(folder); }
    EXPECT_EQ(folder.ReadIni(), ini);
}

TEST(MainWindowFirstShow, BadRowHeightShowsTheErrorAndTheRestStillRuns) {
    StationFolder folder;
    folder.WriteIni("[seting]\nstart=1\nicon=0\ntitle=T\naddhigh=abc\ninterval=0\nmedia=/a.wav\n");
    MessageBoxWatcher boxes;
    Station s(folder);
    ASSERT_TRUE(testsupport::WaitFor([&] { return !boxes.Texts().isEmpty(); }));
    EXPECT_EQ(boxes.Texts(), QStringList({"'abc' is not a valid integer value"}));
    EXPECT_EQ(s.Fmain->sLabelFX23->text(), "T");
    EXPECT_EQ(s.Fmain->RzStringGrid1->DefaultRowHeight(), 25);  // the installed default
    EXPECT_TRUE(s.Board().contains("行高(addhigh)的值\"abc\"无效，已使用默认值25"));
    EXPECT_EQ(s.Fmain->RzLabel1->text(), "不启用定时采集");  // the later steps ran
    EXPECT_EQ(s.Fmain->State().alarmSoundFile, "/a.wav");
    EXPECT_TRUE(s.Fmain->Timer2()->isActive());
    EXPECT_TRUE(s.Fmain->isVisible());
}

TEST(MainWindowFirstShow, UnreadableIntervalStillGivesTimedAcquisition) {
    for (const QByteArray& interval : {QByteArray(), QByteArray("interval=x\n")}) {
        StationFolder folder;
        folder.WriteIni("[seting]\nstart=1\naddhigh=30\nmedia=/a.wav\n" + interval);
        MessageBoxWatcher boxes;
        Station s(folder);
        ASSERT_TRUE(testsupport::WaitFor([&] { return !boxes.Texts().isEmpty(); }));
        const QString value = interval.isEmpty() ? "" : "x";
        EXPECT_EQ(boxes.Texts(), QStringList({"'" + value + "' is not a valid integer value"}));
        EXPECT_EQ(s.Fmain->RzStringGrid1->DefaultRowHeight(), 30);
        EXPECT_EQ(s.Fmain->State().pollInterval, 60);
        EXPECT_TRUE(
            s.Board().contains("采集间隔(interval)的值\"" + value + "\"无效，已使用默认值60秒"));
        EXPECT_EQ(s.Fmain->State().alarmSoundFile, "/a.wav");
        ASSERT_TRUE(testsupport::WaitFor(
            [&] { return s.Fmain->RzLabel1->text() == "采集倒计时:59秒"; }, 2500));
    }
}

TEST(MainWindowFirstShow, ASettingsFileThatCannotBeWrittenStillStartsTheCycle) {
    StationFolder folder;
    folder.WriteIni("[seting]\nstart=0\nicon=0\ntitle=T\naddhigh=25\ninterval=2\nmedia=\n");
    // The program folder cannot be written (installed where the operator may only read).
    ReadOnlyMount readOnly(folder.Path());
    if (!readOnly.Available()) GTEST_SKIP() << "needs root for a read-only mount";
    MessageBoxWatcher boxes;
    Station s(folder);
    ASSERT_TRUE(testsupport::WaitFor([&] { return !boxes.Texts().isEmpty(); }));
    EXPECT_TRUE(boxes.Texts().first().startsWith("Unable to write to "))
        << boxes.Texts().first().toStdString();
    EXPECT_TRUE(s.Board().contains("设置文件无法写入: " + folder.Ini()));
    EXPECT_EQ(s.Fmain->State().pollInterval, 2);
    EXPECT_EQ(s.Fmain->sLabelFX23->text(), "T");
    // The countdown of the 2 s cycle runs.
    ASSERT_TRUE(
        testsupport::WaitFor([&] { return s.Fmain->RzLabel1->text() == "采集倒计时:1秒"; }, 4000));
}

TEST(MainWindowFirstShow, ShowingAgainRepeatsNothing) {
    StationFolder folder;
    Station s(folder);
    s.Fmain->AddBoardLine("kept");
    s.Fmain->hide();
    s.Fmain->show();
    QTest::qWait(20);
    EXPECT_EQ(s.Board().last(), "kept");
}

TEST(MainWindowDatabase, MissingOrCorruptDatabaseIsReported) {
    for (bool corrupt : {false, true}) {
        StationFolder folder;
        QFile::remove(folder.Db());
        if (corrupt) {
            QFile f(folder.Db());
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("this is not a database at all, just text that fills the header page");
        }
        MessageBoxWatcher boxes;
        Station s(folder, false);
        EXPECT_FALSE(s.Fmain->DatabaseOpen());
        EXPECT_EQ(boxes.Texts(), QStringList({"链接数据库出错！！！"}));
        if (!corrupt) {
            EXPECT_FALSE(QFile::exists(folder.Db()));
        }
    }
}

TEST(MainWindowClose, NoKeepsTheStationRunningYesCloses) {
    StationFolder folder;
    Station s(folder);
    MessageBoxWatcher boxes;
    boxes.Answer(QMessageBox::No);
    QTest::mouseClick(s.Fmain->SpeedButton4, Qt::LeftButton);
    EXPECT_EQ(boxes.Texts(), QStringList({"确定要关闭窗口吗?"}));
    EXPECT_TRUE(s.Fmain->isVisible());
    boxes.Answer(QMessageBox::Yes);
    s.Fmain->close();
    EXPECT_FALSE(s.Fmain->isVisible());
}

TEST(MainWindowLayout, WideningTheWindowWidensTheLastColumnOnly) {
    StationFolder folder;
    Station s(folder);
    TStringGrid* g = s.Fmain->RzStringGrid1;
    QTest::qWait(10);
    const int before = g->ColWidth(3);
    EXPECT_EQ(before, g->width() - 90 - 140 - 180 - 8);
    s.Fmain->resize(s.Fmain->width() + 100, s.Fmain->height());
    ASSERT_TRUE(testsupport::WaitFor([&] { return g->ColWidth(3) == before + 100; }, 2000));
    EXPECT_EQ(g->ColWidth(0), 90);
    EXPECT_EQ(g->ColWidth(1), 140);
    EXPECT_EQ(g->ColWidth(2), 180);
}

TEST(MainWindowModal, MonitoringGoesOnWhileAWindowIsOpenAndItsCloseRestartsTheCountdown) {
    StationFolder folder;
    Station s(folder);
    s.Fmain->State().countdown = 3;
    bool timerRan = false;
    QTimer::singleShot(50, s.Falm, [&] {
        timerRan = s.Fmain->TimerB()->isActive();
        s.Falm->close();
    });
    QTest::mouseClick(s.Fmain->SpeedButton3, Qt::LeftButton);
    EXPECT_TRUE(timerRan);
    EXPECT_EQ(s.Fmain->State().countdown, 60);
    EXPECT_TRUE(s.Fmain->TimerB()->isActive());
}
