// The tray icon inside a real notification area: a virtual X display with a small tray host.
//
// The test binary runs under the offscreen platform, which has no tray, so the hosted cases
// run in a second copy of this binary on the X display. TrayHosted.* starts the display, the
// tray host and that copy; TrayHostedChild.* are the cases the copy runs (skipped otherwise).
#include <gtest/gtest.h>

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QWidget>
#include <memory>

#include "TImageList.h"
#include "TestSupport.h"
#include "ThTrayIcon.h"
#include "TrayPictures.h"

namespace {

const char* const kChildMarker = "STATION_TRAY_HOST_CHILD";

bool InChild() {
    return qEnvironmentVariableIsSet(kChildMarker);
}

// The widget through which Qt shows the icon in an X tray, once it is embedded.
QWidget* EmbeddedTrayWidget() {
    for (QWidget* w : QApplication::allWidgets())
        if (w->inherits("QSystemTrayIconSys") && w->isVisible()) return w;
    return nullptr;
}

class TrayHostedChild : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!InChild()) GTEST_SKIP() << "runs inside TrayHosted.RealTrayUnderVirtualDisplay";
        if (!testsupport::WaitFor([] { return TCustomhTrayIcon::TrayAvailable(); }, 5000))
            GTEST_SKIP() << "the tray host did not come up";
        window = std::make_unique<QWidget>();
        window->setWindowTitle(QStringLiteral("station"));
        window->resize(240, 120);
        tray = new ThTrayIcon(window.get());
        SetUpStationTrayIcon(*tray, frames);
    }

    TImageList frames;
    std::unique_ptr<QWidget> window;
    ThTrayIcon* tray = nullptr;
};

}  // namespace

TEST_F(TrayHostedChild, MinimisingHidesIntoTheTrayAndADoubleClickBringsItBack) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    tray->SetMinimizeToTray(true);
    window->showMinimized();
    ASSERT_TRUE(testsupport::WaitFor([&] { return !window->isVisible(); }, 3000));
    EXPECT_TRUE(tray->Visible());
    EXPECT_TRUE(tray->InTray());

    QWidget* icon = nullptr;
    ASSERT_TRUE(
        testsupport::WaitFor([&] { return (icon = EmbeddedTrayWidget()) != nullptr; }, 5000))
        << "the icon never appeared in the tray";
    QTest::mouseDClick(icon, Qt::LeftButton);
    ASSERT_TRUE(testsupport::WaitFor([&] { return window->isVisible(); }, 3000));
    EXPECT_FALSE(window->windowState() & Qt::WindowMinimized);
}

TEST_F(TrayHostedChild, ClickOnTheIconRaisesDownClickUp) {
    QStringList log;
    tray->OnMouseDown = [&](QObject*, TCustomhTrayIcon::TMouseButton b, auto, int, int) {
        log << QStringLiteral("down%1").arg(b);
    };
    tray->OnClick = [&](QObject*) { log << "click"; };
    tray->OnMouseUp = [&](QObject*, TCustomhTrayIcon::TMouseButton b, auto, int, int) {
        log << QStringLiteral("up%1").arg(b);
    };
    tray->SetVisible(true);
    QWidget* icon = nullptr;
    ASSERT_TRUE(
        testsupport::WaitFor([&] { return (icon = EmbeddedTrayWidget()) != nullptr; }, 5000));
    QTest::mouseClick(icon, Qt::LeftButton);
    EXPECT_EQ(log, (QStringList{"down0", "click", "up0"}));
}

TEST_F(TrayHostedChild, TheTrayShowsTheFramesInTurnAndThenTheStaticIcon) {
    tray->SetAnimateInterval(50);
    tray->SetVisible(true);
    ASSERT_TRUE(testsupport::WaitFor([] { return EmbeddedTrayWidget() != nullptr; }, 5000));
    const qint64 staticKey = tray->Icon().cacheKey();
    EXPECT_EQ(tray->SystemTrayIcon()->icon().cacheKey(), staticKey);
    tray->SetAnimate(true);
    auto shows = [&](int frame) {
        return testsupport::WaitFor(
            [&] {
                return tray->SystemTrayIcon()->icon().cacheKey() ==
                       frames.GetIcon(frame).cacheKey();
            },
            3000);
    };
    EXPECT_TRUE(shows(1));
    EXPECT_TRUE(shows(0));
    EXPECT_TRUE(shows(1));
    tray->SetAnimate(false);
    EXPECT_EQ(tray->SystemTrayIcon()->icon().cacheKey(), staticKey);
}

TEST_F(TrayHostedChild, BalloonStaysRequestedUntilItTimesOutNotWhenClicked) {
    tray->SetVisible(true);
    tray->SetBalloonTimeout(300);
    int shown = 0;
    int timedOut = 0;
    tray->OnBalloonHintShow = [&](QObject*) { ++shown; };
    tray->OnBalloonHintTimeout = [&](QObject*) { ++timedOut; };
    EXPECT_TRUE(tray->ShowBalloonHint());
    EXPECT_TRUE(tray->BalloonPending());
    EXPECT_TRUE(testsupport::WaitFor([&] { return shown == 1; }, 2000));
    tray->TrayWndProc(TCustomhTrayIcon::TrayMessage::BalloonUserClick);
    EXPECT_TRUE(tray->BalloonPending());
    EXPECT_TRUE(testsupport::WaitFor([&] { return timedOut == 1; }, 3000));
    EXPECT_FALSE(tray->BalloonPending());

    EXPECT_TRUE(tray->ShowBalloonHint());
    tray->TrayWndProc(TCustomhTrayIcon::TrayMessage::BalloonHide);
    EXPECT_FALSE(tray->BalloonPending());
}

TEST(TrayHosted, RealTrayUnderVirtualDisplay) {
    if (InChild()) GTEST_SKIP() << "already inside the virtual display";
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    const QString trayer = QStandardPaths::findExecutable(QStringLiteral("trayer"));
    if (xvfb.isEmpty() || trayer.isEmpty())
        GTEST_SKIP() << "needs Xvfb and trayer (scripts/install-deps.sh installs both)";

    // Xvfb picks a free display itself and writes its number to standard output.
    QProcess display;
    display.start(xvfb, {"-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp"});
    ASSERT_TRUE(display.waitForStarted(5000));
    QByteArray number;
    ASSERT_TRUE(testsupport::WaitFor(
        [&] {
            number += display.readAllStandardOutput();
            return number.contains('\n');
        },
        10000))
        << "Xvfb gave no display number";
    const QString displayName = ":" + QString::fromLatin1(number.trimmed());

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), displayName);
    QProcess host;
    host.setProcessEnvironment(env);
    host.start(trayer, {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width",
                        "120", "--height", "24"});
    ASSERT_TRUE(host.waitForStarted(5000));

    QProcess child;
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QString::fromLatin1(kChildMarker), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=TrayHostedChild.*")});
    const bool finished = child.waitForFinished(90000);
    const QString output = QString::fromLocal8Bit(child.readAll());

    host.kill();
    host.waitForFinished(3000);
    display.kill();
    display.waitForFinished(3000);

    ASSERT_TRUE(finished) << output.toStdString();
    if (output.contains(QStringLiteral("tray host did not come up")))
        GTEST_SKIP() << "trayer started but no tray appeared on the display";
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 4 tests"))) << output.toStdString();
}
