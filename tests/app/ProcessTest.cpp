// The real program on a virtual display: one copy per computer.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "SingleInstance.h"
#include "StationFixture.h"
#include "TestSupport.h"

namespace {

const char* kMainCaption = "多点温度探测系统-多点温度测量系统-多点温度监控系统";

class VirtualDisplay {
  public:
    VirtualDisplay() {
        // A display number of our own, away from the usual ones; Xvfb refuses a number in
        // use, so try the next until one comes up and answers.
        for (int n = 140 + getpid() % 300, tries = 0; tries < 20; ++n, ++tries) {
            if (QFile::exists(QString("/tmp/.X%1-lock").arg(n))) continue;
            const QString display = ":" + QString::number(n);
            xvfb_.setProgram("Xvfb");
            xvfb_.setArguments({display, "-screen", "0", "1280x800x24", "-ac", "-nolisten", "tcp"});
            xvfb_.setStandardOutputFile(QProcess::nullDevice());
            xvfb_.setStandardErrorFile(QProcess::nullDevice());
            xvfb_.start();
            display_ = display;
            if (testsupport::WaitFor(
                    [&] { return Answers() || xvfb_.state() == QProcess::NotRunning; }, 10000) &&
                xvfb_.state() == QProcess::Running)
                return;
            xvfb_.kill();
            xvfb_.waitForFinished(2000);
            display_.clear();
        }
    }
    bool Answers() const {
        QProcess p;
        p.setProcessEnvironment(Env());
        p.start("xwininfo", {"-root"});
        return p.waitForFinished(2000) && p.exitCode() == 0;
    }
    ~VirtualDisplay() {
        xvfb_.terminate();
        xvfb_.waitForFinished(3000);
    }
    QString Display() const { return display_; }

    // Names of the top-level windows on the display.
    QString Windows() const {
        QProcess p;
        p.setProcessEnvironment(Env());
        p.start("xwininfo", {"-root", "-tree"});
        p.waitForFinished(5000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    QProcessEnvironment Env() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display_);
        env.remove("QT_QPA_PLATFORM");
        env.insert("SENSORBUS_PORTS", "");
        env.insert("STATION_AUDIO_SINK", "fakesink");
        return env;
    }

  private:
    QProcess xvfb_;
    QString display_;
};

bool Have(const char* program) {
    return !QStandardPaths::findExecutable(program).isEmpty();
}

}  // namespace

TEST(ProgramInstance, ASecondCopyIsRefusedAndACrashedCopyDoesNotBlock) {
    if (!Have("Xvfb") || !Have("xwininfo") || !Have("xdotool"))
        GTEST_SKIP() << "needs Xvfb, xwininfo and xdotool";
    {
        // The lock is computer-wide: a station someone else runs here would refuse ours.
        SingleInstance probe;
        if (!probe.Acquire("TFmain")) GTEST_SKIP() << "another station runs on this computer";
    }
    VirtualDisplay x;
    ASSERT_FALSE(x.Display().isEmpty());

    // The program and its files in a folder of their own, readable by every user.
    StationFolder folder;
    const QString exe = folder.Path() + "station";
    ASSERT_TRUE(QFile::copy(testsupport::BinDir() + "/station", exe));
    chmod(folder.Path().toLocal8Bit().constData(), 0755);
    chmod(exe.toLocal8Bit().constData(), 0755);
    chmod(folder.Db().toLocal8Bit().constData(), 0644);
    chmod(folder.Ini().toLocal8Bit().constData(), 0644);

    auto countMain = [&] { return x.Windows().count(QString::fromUtf8(kMainCaption)); };
    QProcess first;
    first.setProcessEnvironment(x.Env());
    first.setProcessChannelMode(QProcess::MergedChannels);
    first.start(exe, {});
    ASSERT_TRUE(testsupport::WaitFor([&] { return countMain() >= 1; }, 10000))
        << "state " << first.state() << " exit " << first.exitCode() << ": "
        << first.readAll().toStdString();

    // The second copy runs as another user where the test can arrange one.
    QProcess second;
    second.setProcessEnvironment(x.Env());
    if (geteuid() == 0 && Have("setpriv"))
        second.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", exe});
    else
        second.start(exe, {});
    ASSERT_TRUE(testsupport::WaitFor([&] { return x.Windows().contains("\"运行\""); }, 10000));
    EXPECT_EQ(countMain(), 1);
    // The operator dismisses the message: the second copy ends without a window of its own.
    QProcess key;
    key.setProcessEnvironment(x.Env());
    key.start("xdotool", {"search", "--name", "^运行$", "windowfocus", "--sync", "key", "Return"});
    key.waitForFinished(5000);
    EXPECT_TRUE(second.waitForFinished(5000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    // A copy that dies without cleaning up leaves nothing behind that blocks the next start.
    first.kill();
    first.waitForFinished(3000);
    QProcess third;
    third.setProcessEnvironment(x.Env());
    third.start(exe, {});
    ASSERT_TRUE(testsupport::WaitFor([&] { return countMain() == 1; }, 10000));
    EXPECT_FALSE(x.Windows().contains("\"运行\""));
    third.kill();
    third.waitForFinished(3000);
}
