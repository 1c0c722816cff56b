// The settings window driven as the operator drives it: opened, edited, repaired on leaving a
// field, saved, reset to defaults, closed with and without unsaved changes, and reconnecting.
#include <QFile>
#include <QSignalSpy>

#include "IniFile.h"
#include "SettingsTestSupport.h"
#include "TFnotify.h"

using testsupport::WaitFor;

// --- Opening ---------------------------------------------------------------------------------

TEST_F(SettingsTest, OpeningShowsTheFileQuietlyWithSaveDisabled) {
    StationFolder folder;
    folder.WriteIni(Ini("1", "A", "30", "0", ""));
    Station s(folder);
    MessageBoxWatcher watcher;
    TFset2* w = s.Fset2;
    Open(w);
    EXPECT_TRUE(w->RzRadioButton1->isChecked());
    EXPECT_FALSE(w->RzRadioButton2->isChecked());
    EXPECT_EQ(w->RzEdit1->text(), "A");
    EXPECT_EQ(w->RzSpinEdit1->Text(), "30");
    EXPECT_EQ(w->RzSpinEdit3->Text(), "0");
    EXPECT_EQ(w->sFilenameEdit1->text(), "");
    EXPECT_FALSE(w->SpeedButton1->isEnabled());
    WaitFor([] { return false; }, 100);
    EXPECT_TRUE(watcher.Texts().isEmpty()) << watcher.Texts().join('|').toStdString();
    // The dialog's frame and texts.
    EXPECT_EQ(w->windowTitle(), "参数设定");
    EXPECT_EQ(w->size(), QSize(373, 292));
    EXPECT_EQ(w->heading->text(), "参 数 配 置");
    EXPECT_EQ(w->RzLabel2->text(), "列表行高:              ");
    EXPECT_EQ(w->RzLabel5->text(), "定时时间(秒):       ");
    EXPECT_LE((w->frameGeometry().center() - s.Fmain->frameGeometry().center()).manhattanLength(),
              2);
    w->SpeedButton7->click();
    EXPECT_FALSE(w->isVisible());
}

TEST_F(SettingsTest, OtherIconValuesSelectNormalMode) {
    StationFolder folder;
    folder.WriteIni(Ini("2", "A", "30", "0", ""));
    Station s(folder);
    Open(s.Fset2);
    EXPECT_TRUE(s.Fset2->RzRadioButton2->isChecked());
    EXPECT_FALSE(s.Fset2->SpeedButton1->isEnabled());
}

TEST_F(SettingsTest, MissingSoundFileIsReportedOnTheFirstOpeningOnly) {
    StationFolder folder;
    const QByteArray gone = (folder.Path() + "gone.wav").toUtf8();
    folder.WriteIni(Ini("0", "A", "25", "60", gone));
    Station s(folder);
    MessageBoxWatcher watcher;
    TFset2* w = s.Fset2;
    Open(w);
    ASSERT_TRUE(WaitFor([&] { return !watcher.Texts().isEmpty(); }, 3000));
    EXPECT_EQ(watcher.Texts(), QStringList({"无效的音频文件"}));
    EXPECT_EQ(w->sFilenameEdit1->text(), QString::fromUtf8(gone));
    EXPECT_FALSE(w->SpeedButton1->isEnabled());
    w->SpeedButton7->click();
    ASSERT_FALSE(w->isVisible());

    watcher.Clear();
    Open(w);
    WaitFor([] { return false; }, 200);
    EXPECT_TRUE(watcher.Texts().isEmpty());
    EXPECT_FALSE(w->SpeedButton1->isEnabled());
}

TEST_F(SettingsTest, PlayableSoundFileIsLeftOpenUnderTheAlias) {
    StationFolder folder;
    folder.WriteIni(Ini("0", "A", "25", "60", AlarmWav().toUtf8()));
    Station s(folder);
    MessageBoxWatcher watcher;
    Open(s.Fset2);
    EXPECT_TRUE(SoundPlayer::Shared().IsOpen(QStringLiteral("mywave")));
    WaitFor([] { return false; }, 100);
    EXPECT_TRUE(watcher.Texts().isEmpty());
    EXPECT_FALSE(s.Fset2->SpeedButton1->isEnabled());
}

// --- Sound file field ------------------------------------------------------------------------

TEST_F(SettingsTest, TypingIntoTheSoundFieldOnlyBeeps) {
    StationFolder folder;
    folder.WriteIni(Ini("0", "A", "25", "60", ""));
    Station s(folder);
    TFset2* w = s.Fset2;
    Open(w);
    QSignalSpy refused(w->sFilenameEdit1, &TFileNameField::KeyRefused);
    w->sFilenameEdit1->setFocus();
    QTest::keyClicks(w->sFilenameEdit1, "a");
    EXPECT_EQ(refused.count(), 1);
    EXPECT_EQ(w->sFilenameEdit1->text(), "");
    // Nor can the path be shortened or replaced from the keyboard.
    w->sFilenameEdit1->setText(AlarmWav());
    w->SpeedButton1->setEnabled(false);
    QTest::keyClick(w->sFilenameEdit1, Qt::Key_Backspace);
    QTest::keyClick(w->sFilenameEdit1, Qt::Key_Delete);
    QTest::keyClick(w->sFilenameEdit1, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(w->sFilenameEdit1->text(), AlarmWav());
    EXPECT_EQ(refused.count(), 3);
    EXPECT_FALSE(w->SpeedButton1->isEnabled());
}

TEST_F(SettingsTest, BrowsingValidatesTheChosenFile) {
    StationFolder folder;
    folder.WriteIni(Ini("0", "A", "25", "60", ""));
    Station s(folder);
    MessageBoxWatcher watcher;
    TFset2* w = s.Fset2;
    Open(w);

    // A playable file: taken, Save enabled, no message.
    ChooseFileWhenAsked(AlarmWav());
    w->sFilenameEdit1->BrowseAction()->trigger();
    EXPECT_EQ(w->sFilenameEdit1->text(), AlarmWav());
    EXPECT_TRUE(w->SpeedButton1->isEnabled());
    EXPECT_TRUE(SoundPlayer::Shared().IsOpen(QStringLiteral("mywave")));
    EXPECT_TRUE(watcher.Texts().isEmpty());

    // A file that is no sound: refused with the message, the path stays, Save not enabled by it.
    w->SpeedButton1->setEnabled(false);
    ChooseFileWhenAsked(folder.Ini());
    w->sFilenameEdit1->BrowseAction()->trigger();
    ASSERT_TRUE(WaitFor([&] { return !watcher.Texts().isEmpty(); }, 3000));
    EXPECT_EQ(watcher.Texts(), QStringList({"无效的音频文件"}));
    EXPECT_EQ(w->sFilenameEdit1->text(), folder.Ini());
    EXPECT_FALSE(w->SpeedButton1->isEnabled());
    EXPECT_FALSE(SoundPlayer::Shared().IsOpen(QStringLiteral("mywave")));
}

// --- Number fields ---------------------------------------------------------------------------

TEST_F(SettingsTest, LeavingTheRowHeightRepairsItsText) {
    StationFolder folder;
    Station s(folder);
    MessageBoxWatcher watcher;
    TFset2* w = s.Fset2;
    Open(w);
    TSpinField* f = w->RzSpinEdit1;
    const struct {
        const char* typed;
        const char* after;
    } cases[] = {{"0", "25"}, {"12345", "25"}, {"100", "100"},
                 {"1", "1"},  {"-3", "25"},    {"1000", "1000"}};
    for (const auto& c : cases) {
        TypeInto(f, c.typed);
        EXPECT_EQ(f->Text(), c.typed);  // typing out of range is allowed until the field is left
        Leave(f);
        EXPECT_FALSE(f->hasFocus());
        EXPECT_EQ(f->Text(), c.after) << c.typed;
    }
    EXPECT_TRUE(watcher.Texts().isEmpty());

    // A blank text is no number: the conversion error is shown and the text stays blank.
    TypeInto(f, "");
    EXPECT_EQ(f->Text(), "");
    Leave(f);
    ASSERT_TRUE(WaitFor([&] { return !watcher.Texts().isEmpty(); }, 3000));
    EXPECT_EQ(watcher.Texts(), QStringList({"'' is not a valid integer value"}));
    EXPECT_EQ(f->Text(), "");
}

TEST_F(SettingsTest, LeavingTheIntervalRepairsOnlyOverlongTexts) {
    StationFolder folder;
    Station s(folder);
    MessageBoxWatcher watcher;
    TFset2* w = s.Fset2;
    Open(w);
    TSpinField* f = w->RzSpinEdit3;
    TypeInto(f, "12345678");
    Leave(f);
    EXPECT_EQ(f->Text(), "60");
    TypeInto(f, "1234567");
    Leave(f);
    EXPECT_EQ(f->Text(), "1234567");
    TypeInto(f, "");
    Leave(f);
    EXPECT_EQ(f->Text(), "");
    WaitFor([] { return false; }, 100);
    EXPECT_TRUE(watcher.Texts().isEmpty());
}

TEST_F(SettingsTest, NumberFieldsTakeDigitsOnlyAndStepWithinTheirRange) {
    StationFolder folder;
    folder.WriteIni(Ini("0", "A", "99", "1", ""));
    Station s(folder);
    TFset2* w = s.Fset2;
    Open(w);
    TSpinField* f = w->RzSpinEdit1;
    f->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(f, Qt::Key_End);
    QTest::keyClicks(f, "x.");
    EXPECT_EQ(f->Text(), "99");
    EXPECT_FALSE(w->SpeedButton1->isEnabled());
    QTest::keyClick(f, Qt::Key_Up);
    EXPECT_EQ(f->Text(), "100");
    EXPECT_TRUE(w->SpeedButton1->isEnabled());
    QTest::keyClick(f, Qt::Key_Up);
    EXPECT_EQ(f->Text(), "100");
    TSpinField* g = w->RzSpinEdit3;
    g->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(g, Qt::Key_Down);
    QTest::keyClick(g, Qt::Key_Down);
    EXPECT_EQ(g->Text(), "0");
    TypeInto(g, "");
    QTest::keyClick(g, Qt::Key_Up);
    EXPECT_EQ(g->Text(), "1");
}

// --- Change tracking and defaults ------------------------------------------------------------

TEST_F(SettingsTest, EachKindOfChangeEnablesSave) {
    StationFolder folder;
    folder.WriteIni(Ini("0", "A", "25", "60", ""));
    Station s(folder);
    TFset2* w = s.Fset2;
    Open(w);
    auto reset = [&] {
        w->SpeedButton1->setEnabled(false);
        return !w->SpeedButton1->isEnabled();
    };
    ASSERT_TRUE(reset());
    w->RzEdit1->setFocus();
    QTest::keyClicks(w->RzEdit1, "B");
    EXPECT_TRUE(w->SpeedButton1->isEnabled());
    ASSERT_TRUE(reset());
    TypeInto(w->RzSpinEdit1, "30");
    EXPECT_TRUE(w->SpeedButton1->isEnabled());
    ASSERT_TRUE(reset());
    TypeInto(w->RzSpinEdit3, "5");
    EXPECT_TRUE(w->SpeedButton1->isEnabled());
    ASSERT_TRUE(reset());
    QTest::mouseClick(w->RzRadioButton1, Qt::LeftButton);
    EXPECT_TRUE(w->RzRadioButton1->isChecked());
    EXPECT_TRUE(w->SpeedButton1->isEnabled());
    ASSERT_TRUE(reset());
    QTest::mouseClick(w->RzRadioButton1, Qt::LeftButton);  // a click on the selected one, too
    EXPECT_TRUE(w->SpeedButton1->isEnabled());
    ASSERT_TRUE(reset());
    // The sound field alone is judged by its check: an empty path is accepted.
    w->sFilenameEdit1->setText(AlarmWav());
    EXPECT_TRUE(w->SpeedButton1->isEnabled());
    ASSERT_TRUE(reset());
    w->sFilenameEdit1->setText(QString());
    EXPECT_TRUE(w->SpeedButton1->isEnabled());
}

TEST_F(SettingsTest, DefaultsOnDefaultValuesChangeNothing) {
    StationFolder folder;
    folder.WriteIni(Ini("0", "A", "25", "60", ""));
    Station s(folder);
    TFset2* w = s.Fset2;
    Open(w);
    QTest::mouseClick(w->SpeedButton6, Qt::LeftButton);
    EXPECT_FALSE(w->SpeedButton1->isEnabled());
    EXPECT_TRUE(w->RzRadioButton2->isChecked());
}

TEST_F(SettingsTest, DefaultsFillTheFieldsButWriteNothing) {
    StationFolder folder;
    folder.WriteIni(Ini("1", "A", "30", "10", ""));
    const QByteArray before = folder.ReadIni();
    Station s(folder);
    TFset2* w = s.Fset2;
    Open(w);
    QTest::mouseClick(w->SpeedButton6, Qt::LeftButton);
    EXPECT_FALSE(w->RzRadioButton1->isChecked());
    EXPECT_TRUE(w->RzRadioButton2->isChecked());
    EXPECT_EQ(w->RzSpinEdit1->Text(), "25");
    EXPECT_EQ(w->RzSpinEdit3->Text(), "60");
    EXPECT_EQ(w->RzEdit1->text(), "A");
    EXPECT_TRUE(w->SpeedButton1->isEnabled());
    EXPECT_EQ(folder.ReadIni(), before);
    EXPECT_EQ(s.Fmain->State().pollInterval, 10);
}

// --- Save ------------------------------------------------------------------------------------

TEST_F(SettingsTest, SavingIntervalZeroTurnsTimedAcquisitionOff) {
    StationFolder folder;
    Station s(folder);
    TFset2* w = s.Fset2;
    Open(w);
    ASSERT_EQ(s.Fmain->State().pollInterval, 60);
    TypeInto(w->RzSpinEdit3, "0");
    QTest::mouseClick(w->SpeedButton1, Qt::LeftButton);
    EXPECT_EQ(s.Fmain->RzLabel1->text(), "不启用定时采集");
    EXPECT_EQ(s.Fmain->State().countdown, 0);
    EXPECT_EQ(s.Fmain->State().pollInterval, 0);
    EXPECT_FALSE(w->SpeedButton1->isEnabled());
    EXPECT_TRUE(w->isVisible());  // the window stays open after saving
    EXPECT_EQ(ini::Read(folder.Ini(), "seting", "interval"), "0");
}

TEST_F(SettingsTest, SavingAppliesModeSoundHeaderAndRowHeight) {
    StationFolder folder;
    folder.WriteIni(Ini("0", "A", "25", "60", ""));
    Station s(folder);
    TFset2* w = s.Fset2;
    Open(w);
    QTest::mouseClick(w->RzRadioButton1, Qt::LeftButton);
    w->RzEdit1->setFocus();
    QTest::keyClick(w->RzEdit1, Qt::Key_A, Qt::ControlModifier);
    TypeText(w->RzEdit1, "北区 机房");
    TypeInto(w->RzSpinEdit1, "40");
    TypeInto(w->RzSpinEdit3, "7");
    ChooseFileWhenAsked(AlarmWav());
    w->sFilenameEdit1->BrowseAction()->trigger();
    QTest::mouseClick(w->SpeedButton1, Qt::LeftButton);

    EXPECT_FALSE(w->SpeedButton1->isEnabled());
    EXPECT_TRUE(s.Fmain->hTrayIcon1->Visible());
    EXPECT_TRUE(s.Fmain->hTrayIcon1->MinimizeToTray());
    EXPECT_EQ(s.Fmain->sLabelFX23->text(), "北区 机房");
    EXPECT_EQ(s.Fmain->RzStringGrid1->DefaultRowHeight(), 40);
    EXPECT_EQ(s.Fmain->State().alarmSoundFile, AlarmWav());
    EXPECT_EQ(s.Fmain->State().pollInterval, 7);
    EXPECT_EQ(s.Fmain->State().countdown, 7);
    EXPECT_EQ(folder.ReadIni(),
              "[seting]\nstart=1\nicon=1\ntitle=北区 机房\naddhigh=40\ninterval=7"
              "\nmedia=" +
                  AlarmWav().toUtf8() + "\n");

    // And back to normal mode.
    QTest::mouseClick(w->RzRadioButton2, Qt::LeftButton);
    QTest::mouseClick(w->SpeedButton1, Qt::LeftButton);
    EXPECT_FALSE(s.Fmain->hTrayIcon1->Visible());
    EXPECT_FALSE(s.Fmain->hTrayIcon1->MinimizeToTray());
    EXPECT_EQ(ini::Read(folder.Ini(), "seting", "icon"), "0");
}

TEST_F(SettingsTest, SavingWritesMissingKeysInItsOwnOrder) {
    StationFolder folder;
    folder.WriteIni("[other]\nx=1\n[seting]\nstart=1\n");
    Station s(folder, false);  // not shown: its start-up would stop at the missing numbers
    TFset2* w = s.Fset2;
    Open(w);
    TypeInto(w->RzSpinEdit1, "25");
    TypeInto(w->RzSpinEdit3, "60");
    QTest::mouseClick(w->SpeedButton1, Qt::LeftButton);
    EXPECT_EQ(folder.ReadIni(),
              "[other]\nx=1\n[seting]\nstart=1\nicon=0\ntitle=\naddhigh=25\ninterval=60\nmedia=\n");
}

TEST_F(SettingsTest, IntervalThatIsNoNumberStopsTheSaveAfterTheTextsAreWritten) {
    StationFolder folder;
    folder.WriteIni(Ini("0", "A", "25", "60", "old.wav"));
    Station s(folder);
    MessageBoxWatcher watcher;
    TFset2* w = s.Fset2;
    Open(w);
    watcher.Clear();  // old.wav is no sound file
    w->RzEdit1->setText("B");
    TypeInto(w->RzSpinEdit3, "");
    w->sFilenameEdit1->setText(QString());
    watcher.Clear();
    QTest::mouseClick(w->SpeedButton1, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !watcher.Texts().isEmpty(); }, 3000));
    EXPECT_EQ(watcher.Texts(), QStringList({"'' is not a valid integer value"}));
    // icon, title, addhigh and interval were written; media and the rest were not done.
    EXPECT_EQ(folder.ReadIni(),
              "[seting]\nstart=1\nicon=0\ntitle=B\naddhigh=25\ninterval=\nmedia=old.wav\n");
    EXPECT_TRUE(w->SpeedButton1->isEnabled());
    EXPECT_EQ(s.Fmain->State().pollInterval, 60);
    EXPECT_NE(s.Fmain->sLabelFX23->text(), "B");
}

TEST_F(SettingsTest, RowHeightThatIsNoNumberStopsTheSaveAtTheLastStep) {
    StationFolder folder;
    folder.WriteIni(Ini("0", "A", "25", "60", ""));
    Station s(folder);
    MessageBoxWatcher watcher;
    TFset2* w = s.Fset2;
    Open(w);
    w->RzEdit1->setText("B");
    w->RzSpinEdit1->SetText("");  // blank, without leaving the field
    TypeInto(w->RzSpinEdit3, "9");
    QTest::mouseClick(w->SpeedButton1, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !watcher.Texts().isEmpty(); }, 3000));
    EXPECT_EQ(watcher.Texts(), QStringList({"'' is not a valid integer value"}));
    EXPECT_EQ(folder.ReadIni(), Ini("0", "B", "", "9", ""));
    EXPECT_FALSE(w->SpeedButton1->isEnabled());
    EXPECT_EQ(s.Fmain->State().pollInterval, 9);
    EXPECT_EQ(s.Fmain->sLabelFX23->text(), "B");
    EXPECT_EQ(s.Fmain->RzStringGrid1->DefaultRowHeight(), 25);
}

TEST_F(SettingsTest, AnInvalidSoundPathIsSavedWithAnotherChange) {
    StationFolder folder;
    const QString gone = folder.Path() + "gone.wav";
    folder.WriteIni(Ini("0", "A", "25", "60", gone.toUtf8()));
    Station s(folder);
    MessageBoxWatcher watcher;
    TFset2* w = s.Fset2;
    Open(w);
    ASSERT_TRUE(WaitFor([&] { return watcher.Texts().size() == 1; }, 3000));
    s.Fmain->State().alarmSoundFile = AlarmWav();
    w->RzEdit1->setText("B");
    QTest::mouseClick(w->SpeedButton1, Qt::LeftButton);
    EXPECT_EQ(s.Fmain->State().alarmSoundFile, gone);
    EXPECT_EQ(ini::Read(folder.Ini(), "seting", "media"), gone);
}

// --- Closing ---------------------------------------------------------------------------------

TEST_F(SettingsTest, ClosingWithUnsavedChangesAsksFirst) {
    StationFolder folder;
    Station s(folder);
    MessageBoxWatcher watcher;
    TFset2* w = s.Fset2;
    s.Fmain->State().pollInterval = 60;
    s.Fmain->State().countdown = 5;
    bool checked = false;
    QTimer::singleShot(0, w, [&] {
        ASSERT_TRUE(WaitFor([&] { return w->isVisible(); }, 3000));
        EXPECT_TRUE(s.Fmain->TimerB()->isActive());  // monitoring goes on
        w->RzEdit1->setText("changed");
        watcher.Answer(QMessageBox::No);
        QTest::mouseClick(w->SpeedButton7, Qt::LeftButton);
        EXPECT_EQ(watcher.Texts(), QStringList({"数据未保存，确定退出吗?"}));
        EXPECT_TRUE(w->isVisible());
        // Escape asks the same question.
        watcher.Answer(QMessageBox::No);
        QTest::keyClick(w, Qt::Key_Escape);
        EXPECT_EQ(watcher.Texts().size(), 2);
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(s.Fmain->State().countdown, 5);
        checked = true;
        watcher.Answer(QMessageBox::Yes);
        w->close();  // the close box
    });
    QTest::mouseClick(s.Fmain->SpeedButton7, Qt::LeftButton);
    ASSERT_TRUE(checked);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(watcher.Texts().size(), 3);
    EXPECT_EQ(s.Fmain->State().countdown, 60);
    EXPECT_TRUE(s.Fmain->TimerB()->isActive());
    // Dropped changes stay in the field until the next showing reloads it.
    EXPECT_EQ(w->RzEdit1->text(), "changed");
    EXPECT_NE(ini::Read(folder.Ini(), "seting", "title"), "changed");
}

TEST_F(SettingsTest, ClosingWithoutChangesDoesNotAskAndRestartsTheCountdown) {
    StationFolder folder;
    Station s(folder);
    MessageBoxWatcher watcher;
    TFset2* w = s.Fset2;
    s.Fmain->State().countdown = 3;
    QTimer::singleShot(0, w, [&] {
        WaitFor([&] { return w->isVisible(); }, 3000);
        QTest::mouseClick(w->SpeedButton7, Qt::LeftButton);
    });
    QTest::mouseClick(s.Fmain->SpeedButton7, Qt::LeftButton);
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(watcher.Texts().isEmpty());
    EXPECT_EQ(s.Fmain->State().countdown, 60);
    EXPECT_TRUE(s.Fmain->TimerB()->isActive());
}

// --- Reconnect -------------------------------------------------------------------------------

TEST_F(SettingsTest, ReconnectWithoutPortsSaysSoAndStartsTheDiscoveryAnyway) {
    StationFolder folder;
    Station s(folder);
    ASSERT_TRUE(WaitFor([&] { return !s.Fmain->Timer2()->isActive(); }, 3000));
    MessageBoxWatcher watcher;
    TFset2* w = s.Fset2;
    Open(w);
    s.Fmain->State().portIndex = 3;
    s.Fmain->State().handshakeOk = true;
    s.Fmain->State().silentPortSeen = true;
    const int boardLines = s.Board().size();
    QTest::mouseClick(w->SpeedButton3, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !watcher.Texts().isEmpty(); }, 3000));
    EXPECT_EQ(watcher.Texts(), QStringList({"未找到通信口"}));
    EXPECT_EQ(s.Board().mid(boardLines), QStringList({"对接测试..."}));
    EXPECT_EQ(s.Fmain->State().portIndex, 0);
    EXPECT_FALSE(s.Fmain->State().handshakeOk);
    EXPECT_FALSE(s.Fmain->State().silentPortSeen);
    EXPECT_TRUE(s.Fmain->Timer2()->isActive());
    ASSERT_TRUE(WaitFor([&] { return !s.Fmain->Timer2()->isActive(); }, 3000));
    EXPECT_EQ(w->sLabelFX3->text(), "未连接       ");
    EXPECT_FALSE(w->SpeedButton1->isEnabled());
}

// The port list is the station's own: what the operator types into the box is no port, and
// the next reconnect probes only the ports the station found.
TEST_F(SettingsTest, TypingIntoThePortBoxAddsNoPort) {
    StationFolder folder;
    Station s(folder);
    ASSERT_TRUE(WaitFor([&] { return !s.Fmain->Timer2()->isActive(); }, 3000));
    MessageBoxWatcher watcher;
    TFset2* w = s.Fset2;
    Open(w);
    const int ports = w->ComboBox1->count();
    ASSERT_EQ(ports, 0);
    w->ComboBox1->setFocus(Qt::MouseFocusReason);
    QTest::keyClicks(w->ComboBox1, "/dev/ttyS0");
    QTest::keyClick(w->ComboBox1, Qt::Key_Return);
    EXPECT_EQ(w->ComboBox1->count(), ports);
    EXPECT_EQ(w->ComboBox1->findText("/dev/ttyS0"), -1);

    QTest::mouseClick(w->SpeedButton3, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !watcher.Texts().isEmpty(); }, 3000));
    EXPECT_EQ(watcher.Texts(), QStringList({"未找到通信口"}));
}

// A WAV file without sound in it is refused like any other file that is no sound.
TEST_F(SettingsTest, ChoosingAWavWithoutSoundIsRefused) {
    StationFolder folder;
    folder.WriteIni(Ini("0", "A", "25", "60", ""));
    const QString cut = folder.Path() + "cut.wav";
    {
        QFile src(AlarmWav());
        ASSERT_TRUE(src.open(QIODevice::ReadOnly));
        QFile dst(cut);
        ASSERT_TRUE(dst.open(QIODevice::WriteOnly));
        ASSERT_EQ(dst.write(src.read(1000)), 1000);
    }
    Station s(folder);
    MessageBoxWatcher watcher;
    TFset2* w = s.Fset2;
    Open(w);
    ChooseFileWhenAsked(cut);
    w->sFilenameEdit1->BrowseAction()->trigger();
    ASSERT_TRUE(WaitFor([&] { return !watcher.Texts().isEmpty(); }, 3000));
    EXPECT_EQ(watcher.Texts(), QStringList({"无效的音频文件"}));
    EXPECT_FALSE(w->SpeedButton1->isEnabled());
    EXPECT_FALSE(SoundPlayer::Shared().IsOpen(QStringLiteral("mywave")));
}

// --- Remote notifications -------------------------------------------------------------------

TEST_F(SettingsTest, RemoteNotificationButtonOpensItsWindowOnTheStationsFile) {
    StationFolder folder;
    folder.WriteIni(Ini("0", "A", "25", "60", "") + "[mqtt]\nenabled=1\nhost=/run/b.sock\n");
    Station s(folder);
    TFset2* w = s.Fset2;
    Open(w);
    ASSERT_EQ(w->ButtonNotify->text(), "远程通知");
    // The window keeps its design size and its widgets where they were.
    EXPECT_EQ(w->size(), QSize(373, 292));
    EXPECT_EQ(w->SpeedButton1->geometry(), QRect(139, 254, 96, 30));
    EXPECT_FALSE(w->ButtonNotify->geometry().intersects(w->CheckBoxAutostart->geometry()));
    const int headingLeft =
        (w->width() - w->heading->fontMetrics().horizontalAdvance(w->heading->text())) / 2;
    EXPECT_LT(w->ButtonNotify->geometry().right(), headingLeft);
    QString title, host;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* n = qobject_cast<TFnotify*>(modal)) {
            title = n->windowTitle();
            host = n->EditHost->text();
            n->ButtonExit->click();
        } else if (modal) {
            modal->close();
        }
    });
    w->ButtonNotify->click();
    EXPECT_EQ(title, "远程通知");
    EXPECT_EQ(host, "/run/b.sock");
    w->SpeedButton7->click();
}
