// Readings, alarms and the alarm display of the main window.
#include <gtest/gtest.h>

#include <QDate>
#include <QRegularExpression>
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

QByteArray IniWithSound(const QString& media, const QString& interval = "0") {
    return "[seting]\nstart=1\nicon=0\ntitle=t\naddhigh=25\ninterval=" + interval.toUtf8() +
           "\nmedia=" + media.toUtf8() + "\n";
}

QString AlarmSound() {
    return testsupport::BinDir() + "/Alarm.wav";
}

int LogRows(const StationFolder& f) {
    return f.Sql("select count(*) from alming").toInt();
}

// Colour of a cell's lower right corner, away from its text.
QColor CellColour(TStringGrid* g, int col, int row) {
    const QImage img = g->viewport()->grab().toImage();
    const QRect r = g->CellRect(col, row);
    return img.pixelColor(r.right() - 3, r.bottom() - 3);
}

class Alarms : public ::testing::Test {
  protected:
    void SetUp() override {
        SoundPlayer::Shared().SetAudioSink("fakesink");
        folder.AddSensors({{3, "0A1B2C ", "hall ", 30, -10}, {5, "0A1B2D ", "cold room ", 0, 0}});
        folder.WriteIni(IniWithSound(AlarmSound()));
        station = std::make_unique<Station>(folder);
        station->Fmain->RzListBox1->Clear();
    }
    void TearDown() override {
        station.reset();
        CloseSound("mywave");
    }
    TFmain& M() { return *station->Fmain; }

    NoPorts noPorts;
    StationFolder folder;
    std::unique_ptr<Station> station;
    MessageBoxWatcher boxes;
};

}  // namespace

TEST_F(Alarms, ReadingsAtTheLimitsAlarmAndLimitsOfZeroAreOff) {
    M().EvaluateReading("0A1B2D", 1000);
    M().EvaluateReading("0A1B2D", -100);
    EXPECT_EQ(LogRows(folder), 0);
    M().EvaluateReading("0A1B2C", 29.9375);
    EXPECT_EQ(LogRows(folder), 0);
    M().EvaluateReading("0A1B2C", 30);
    EXPECT_EQ(LogRows(folder), 1);
    M().SpeedButton6Click();
    M().EvaluateReading("0A1B2C", -10);
    EXPECT_EQ(LogRows(folder), 2);
    EXPECT_TRUE(boxes.Texts().isEmpty());
}

TEST_F(Alarms, OneRecordOneSoundOneBoardLinePerExcursionUntilTheRefresh) {
    folder.WriteIni(IniWithSound(AlarmSound()) + "[notify]\nsound_repeat=0\n");
    const int startsBefore = SoundPlayer::Shared().StartCount();
    M().EvaluateReading("0A1B2C", 20);
    EXPECT_EQ(M().rowAlarmState[1], 0);
    M().EvaluateReading("0A1B2C", 31.5);
    M().EvaluateReading("0A1B2C", 32);
    EXPECT_EQ(M().rowAlarmState[1], 1);
    EXPECT_EQ(LogRows(folder), 1);
    EXPECT_EQ(SoundPlayer::Shared().StartCount(), startsBefore + 1);
    EXPECT_EQ(station->Board().count("ID:0A1B2C报警"), 1);
    EXPECT_TRUE(M().hTrayIcon1->Animate());
    const QString stamp = M().RzStringGrid1->Cell(3, 1);
    EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$)").match(stamp).hasMatch())
        << stamp.toStdString();
    EXPECT_EQ(folder.Sql("select almnear from settab where code=3"), stamp);

    M().EvaluateReading("0A1B2C", 25);  // back within limits: grey
    EXPECT_EQ(M().rowAlarmState[1], 2);
    M().EvaluateReading("0A1B2C", 40);  // a new excursion: red again, nothing recorded
    EXPECT_EQ(M().rowAlarmState[1], 1);
    EXPECT_EQ(LogRows(folder), 1);
    EXPECT_EQ(M().RzStringGrid1->Cell(3, 1), stamp);

    M().SpeedButton6Click();
    EXPECT_EQ(M().rowAlarmState[1], 0);
    EXPECT_FALSE(M().hTrayIcon1->Animate());
    M().EvaluateReading("0A1B2C", 35);
    EXPECT_EQ(LogRows(folder), 2);
    EXPECT_EQ(SoundPlayer::Shared().StartCount(), startsBefore + 2);
}

TEST_F(Alarms, TheLogRowHoldsDateTimeNumberLocationAndTheTextShown) {
    M().EvaluateReading("0A1B2C", -12.5);
    const QStringList row =
        folder.Sql("select dates, times, code, fix, almtemp from alming").split('|');
    ASSERT_EQ(row.size(), 5);
    EXPECT_EQ(row[0], QDate::currentDate().toString("yyyyMMdd"));
    EXPECT_FALSE(row[1].startsWith('0'));
    EXPECT_LE(row[1].toInt(), 235959);
    EXPECT_EQ(row[2], "3");
    EXPECT_EQ(row[3], "hall ");
    EXPECT_EQ(row[4], M().RzStringGrid1->Cell(1, 1));
    EXPECT_EQ(row[4], "-12.5");
    EXPECT_EQ(folder.Sql("select typeof(times) from alming"), "integer");
}

TEST_F(Alarms, IdsMatchTrimmedAndCaseSensitivelyAndUnknownIdsAreIgnored) {
    folder.AddSensors({{7, "0a1b2e ", "lower case ", 10, 0}});
    M().LoadMonitorRows(true);
    M().RzListBox1->Clear();
    M().EvaluateReading("0A1B2E", 50);  // stored in lower case: never matches
    M().EvaluateReading("FFFFFF", 50);  // not registered
    EXPECT_TRUE(station->Board().isEmpty());
    EXPECT_EQ(LogRows(folder), 0);
}

TEST_F(Alarms, AMissingSoundFileStillRecordsTheAlarmSilently) {
    M().State().alarmSoundFile = folder.Path() + "gone.wav";
    const int startsBefore = SoundPlayer::Shared().StartCount();
    M().EvaluateReading("0A1B2C", 31);
    EXPECT_EQ(LogRows(folder), 1);
    EXPECT_EQ(SoundPlayer::Shared().StartCount(), startsBefore);
    EXPECT_EQ(station->Board().last(), "ID:0A1B2C报警");
    QTest::qWait(50);
    EXPECT_TRUE(boxes.Texts().isEmpty());
}

TEST(AlarmsEmptyRegister, EveryReadingIsReportedNotConfigured) {
    NoPorts noPorts;
    StationFolder folder;
    folder.AddSensors({{0, "0A1B2C ", "no number "}});
    Station s(folder);
    s.Fmain->RzListBox1->Clear();
    s.Fmain->EvaluateReading("0A1B2C", 20);
    EXPECT_EQ(s.Board(), QStringList({"接收ID:0A1B2C未配置"}));
}

TEST_F(Alarms, RedRowLightsTheDisplayAndLampWhichStayWhenTheRowTurnsGrey) {
    TStringGrid* g = M().RzStringGrid1;
    M().EvaluateReading("0A1B2C", 31);
    QTest::qWait(20);
    EXPECT_EQ(CellColour(g, 2, 1), QColor(255, 0, 0));
    EXPECT_EQ(CellColour(g, 0, 1), QColor(255, 0, 0));  // the fixed column too
    EXPECT_NE(CellColour(g, 2, 2), QColor(255, 0, 0));
    EXPECT_EQ(M().RzLEDDisplay1->Caption(), "3");
    EXPECT_TRUE(M().RzLEDDisplay1->Scrolling());
    EXPECT_TRUE(M().Led->isVisible());
    EXPECT_TRUE(M().Led->Value());

    M().EvaluateReading("0A1B2C", 20);
    QTest::qWait(20);
    EXPECT_EQ(CellColour(g, 2, 1), QColor(128, 128, 128));
    EXPECT_EQ(M().RzLEDDisplay1->Caption(), "3");
    EXPECT_TRUE(M().Led->isVisible());

    QTest::mouseClick(M().SpeedButton6, Qt::LeftButton);
    QTest::qWait(20);
    EXPECT_EQ(CellColour(g, 2, 1), QColor(0, 0, 0));
    EXPECT_EQ(g->Cell(1, 1), QString());
    EXPECT_EQ(g->Cell(3, 1), " ");
    EXPECT_EQ(M().RzLEDDisplay1->Caption(), "---");
    EXPECT_FALSE(M().RzLEDDisplay1->Scrolling());
    EXPECT_FALSE(M().Led->isVisible());
    EXPECT_FALSE(M().hTrayIcon1->Animate());
    EXPECT_FALSE(SoundPlayer::Shared().IsOpen("mywave"));
    EXPECT_EQ(station->Board().last(), "屏幕初始化");
    EXPECT_TRUE(M().TimerB()->isActive());
}

TEST(AlarmDisplay, RowHeight40DrawsTextWithA38PixelFont) {
    NoPorts noPorts;
    StationFolder folder;
    folder.WriteIni("[seting]\nstart=1\nicon=0\ntitle=t\naddhigh=40\ninterval=0\nmedia=\n");
    Station s(folder);
    EXPECT_EQ(s.Fmain->RzStringGrid1->DefaultRowHeight(), 40);
    EXPECT_EQ(QFontMetrics(s.Fmain->RzStringGrid1->font()).height(), 38);
}

TEST(AlarmsOnTheBus, AnExcursionThroughTheSimulatorIsRecordedOnce) {
    SoundPlayer::Shared().SetAudioSink("fakesink");
    BusSimulator bus({"--sensor", "0A1B2C=20", "--gap", "120"});
    qputenv("SENSORBUS_PORTS", bus.Path().toLocal8Bit());
    StationFolder folder;
    folder.AddSensors({{4, "0A1B2C ", "server room ", 30, 0}});
    // One recorded alarm, one sound: the repetition of the sound is switched off here.
    folder.WriteIni(IniWithSound(AlarmSound(), "1") + "[notify]\nsound_repeat=0\n");
    Station s(folder);
    qunsetenv("SENSORBUS_PORTS");
    TStringGrid* g = s.Fmain->RzStringGrid1;
    ASSERT_TRUE(testsupport::WaitFor([&] { return g->Cell(1, 1) == "20"; }, 5000));
    const int startsBefore = SoundPlayer::Shared().StartCount();
    bus.Control("set 0A1B2C 31.25");
    ASSERT_TRUE(testsupport::WaitFor([&] { return LogRows(folder) == 1; }, 5000));
    const int readingsBefore = bus.Received("BA").size();
    ASSERT_TRUE(testsupport::WaitFor(
        [&] { return bus.Received("BA").size() >= readingsBefore + 3; }, 6000));
    EXPECT_EQ(LogRows(folder), 1);
    EXPECT_EQ(s.Board().count("ID:0A1B2C报警"), 1);
    EXPECT_EQ(SoundPlayer::Shared().StartCount(), startsBefore + 1);
    EXPECT_EQ(folder.Sql("select almtemp from alming"), "31.25");
    EXPECT_EQ(g->Cell(1, 1), "31.25");
    // The operator opens the alarm log: today's list shows the alarm as the grid showed it.
    QTimer::singleShot(300, s.Falm, [&] { s.Falm->close(); });
    QString listed;
    QTimer::singleShot(100, s.Falm, [&] { listed = s.Falm->RzStringGrid1->RowCells(1).join('|'); });
    QTest::mouseClick(s.Fmain->SpeedButton3, Qt::LeftButton);
    EXPECT_TRUE(listed.endsWith("|4|server room |31.25")) << listed.toStdString();
    EXPECT_TRUE(listed.startsWith(QDate::currentDate().toString("yyyy年MM月dd日")))
        << listed.toStdString();
    bus.Control("set 0A1B2C 22");
    ASSERT_TRUE(testsupport::WaitFor([&] { return s.Fmain->rowAlarmState[1] == 2; }, 5000));
    bus.Control("set 0A1B2C 33");
    ASSERT_TRUE(testsupport::WaitFor([&] { return s.Fmain->rowAlarmState[1] == 1; }, 5000));
    EXPECT_EQ(LogRows(folder), 1);
    CloseSound("mywave");
}

TEST_F(Alarms, TheSoundRepeatsUntilTheRefreshAndTheTrayShowsABalloon) {
    M().hide();  // kept in the tray
    M().EvaluateReading("0A1B2C", 31);
    EXPECT_TRUE(M().isVisible()) << "an alarm brings the station back to the screen";
    EXPECT_EQ(M().hTrayIcon1->ShownBalloonTitle(), "报警");
    EXPECT_EQ(M().hTrayIcon1->ShownBalloonHint(), "编号3 hall 温度31℃，上限30℃");
    const int first = SoundPlayer::Shared().StartCount();
    // The alarm sound lasts 1.5 s: within 4 s it has started again at least once.
    ASSERT_TRUE(
        testsupport::WaitFor([&] { return SoundPlayer::Shared().StartCount() > first; }, 4000));
    QTest::mouseClick(M().SpeedButton6, Qt::LeftButton);
    const int afterRefresh = SoundPlayer::Shared().StartCount();
    QTest::qWait(2500);
    EXPECT_EQ(SoundPlayer::Shared().StartCount(), afterRefresh);
}

TEST_F(Alarms, RepetitionOfTheSoundCanBeSwitchedOff) {
    folder.WriteIni(IniWithSound(AlarmSound()) + "[notify]\nsound_repeat=0\n");
    M().EvaluateReading("0A1B2C", 31);
    const int first = SoundPlayer::Shared().StartCount();
    QTest::qWait(3500);
    EXPECT_EQ(SoundPlayer::Shared().StartCount(), first);
}

TEST_F(Alarms, NoSoundDeviceIsSaidOnceOnTheBoard) {
    SoundPlayer::Shared().SetAudioSink("no-such-audio-sink");
    M().EvaluateReading("0A1B2C", 31);
    M().EvaluateReading("0A1B2D", -50);  // no limits: no alarm
    QTest::mouseClick(M().SpeedButton6, Qt::LeftButton);
    M().EvaluateReading("0A1B2C", 32);
    EXPECT_EQ(station->Board().count("没有可用的声音输出设备，报警声音无法播放"), 1);
    SoundPlayer::Shared().SetAudioSink("fakesink");
}
