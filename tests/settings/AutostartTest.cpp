// Start at login: the settings window's option writes or removes the current user's XDG
// autostart entry when the operator saves, like every other setting of the window.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "SettingsTestSupport.h"

namespace {

class AutostartTest : public SettingsTest {
  protected:
    void SetUp() override {
        SettingsTest::SetUp();
        ASSERT_TRUE(config_.isValid());
        oldConfig_ = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
    }
    void TearDown() override {
        if (oldConfig_.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", oldConfig_);
        SettingsTest::TearDown();
    }
    QString Entry() const { return config_.path() + "/autostart/sensorbus-station.desktop"; }
    QString ReadEntry() const {
        QFile f(Entry());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    QTemporaryDir config_;
    QByteArray oldConfig_;
};

}  // namespace

TEST_F(AutostartTest, SavingWithTheOptionWritesTheEntryAndSavingWithoutRemovesIt) {
    StationFolder folder;
    folder.WriteIni(Ini("1", "A", "25", "60", ""));
    Station s(folder);
    TFset2* w = s.Fset2;
    Open(w);
    ASSERT_NE(w->CheckBoxAutostart, nullptr);
    EXPECT_FALSE(w->CheckBoxAutostart->isChecked());
    EXPECT_EQ(w->CheckBoxAutostart->text(), QStringLiteral("登录时启动"));
    EXPECT_FALSE(w->SpeedButton1->isEnabled());

    // Ticking is an unsaved change; nothing is written before the save.
    QTest::mouseClick(w->CheckBoxAutostart, Qt::LeftButton);
    EXPECT_TRUE(w->CheckBoxAutostart->isChecked());
    EXPECT_TRUE(w->SpeedButton1->isEnabled());
    EXPECT_FALSE(QFile::exists(Entry()));
    w->SpeedButton1->click();
    EXPECT_FALSE(w->SpeedButton1->isEnabled());
    const QString entry = ReadEntry();
    ASSERT_FALSE(entry.isEmpty()) << Entry().toStdString();
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(entry.contains("\nType=Application\n"));
    EXPECT_TRUE(entry.contains("\nExec=\"" + QCoreApplication::applicationFilePath() + "\"\n"))
        << entry.toStdString();
    EXPECT_TRUE(entry.contains("\nName=多点温度探测系统\n"));
    EXPECT_TRUE(entry.contains("\nIcon=sensorbus-station\n"));
    w->SpeedButton7->click();
    ASSERT_FALSE(w->isVisible());

    // Opened again, the window shows the entry as it is; clearing and saving removes it.
    Open(w);
    EXPECT_TRUE(w->CheckBoxAutostart->isChecked());
    EXPECT_FALSE(w->SpeedButton1->isEnabled());
    QTest::mouseClick(w->CheckBoxAutostart, Qt::LeftButton);
    EXPECT_TRUE(QFile::exists(Entry()));
    w->SpeedButton1->click();
    EXPECT_FALSE(QFile::exists(Entry()));
    w->SpeedButton7->click();
    Open(w);
    EXPECT_FALSE(w->CheckBoxAutostart->isChecked());
    w->SpeedButton7->click();
}

TEST_F(AutostartTest, LeavingWithAnUnsavedChoiceAsksAndAnUnwritableFolderIsReported) {
    StationFolder folder;
    folder.WriteIni(Ini("0", "A", "25", "60", ""));
    Station s(folder);
    TFset2* w = s.Fset2;
    Open(w);
    QTest::mouseClick(w->CheckBoxAutostart, Qt::LeftButton);
    {
        MessageBoxWatcher watcher;
        watcher.Answer(QMessageBox::No);
        w->SpeedButton7->click();
        ASSERT_TRUE(testsupport::WaitFor([&] { return !watcher.Texts().isEmpty(); }, 3000));
        EXPECT_EQ(watcher.Texts(), QStringList({"数据未保存，确定退出吗?"}));
        EXPECT_TRUE(w->isVisible());
    }
    // A file where the autostart folder belongs: the save says so and stays unsaved.
    QFile blocker(config_.path() + "/autostart");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    MessageBoxWatcher watcher;
    w->SpeedButton1->click();
    ASSERT_TRUE(testsupport::WaitFor([&] { return !watcher.Texts().isEmpty(); }, 3000));
    ASSERT_EQ(watcher.Texts().size(), 1);
    EXPECT_TRUE(watcher.Texts()[0].startsWith("无法写入登录启动项"))
        << watcher.Texts()[0].toStdString();
    EXPECT_TRUE(watcher.Texts()[0].contains(Entry())) << watcher.Texts()[0].toStdString();
    EXPECT_TRUE(w->SpeedButton1->isEnabled());
    // The other settings were saved all the same.
    EXPECT_TRUE(folder.ReadIni().contains("icon=0"));
    watcher.Answer(QMessageBox::Yes);
    w->SpeedButton7->click();
    EXPECT_FALSE(w->isVisible());
}
