// The tray icon on a desktop without a tray (the offscreen platform): properties, animation,
// event order and minimising that keeps the window within reach.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "TImageList.h"
#include "TestSupport.h"
#include "ThTrayIcon.h"
#include "TrayPictures.h"

namespace {

using Msg = TCustomhTrayIcon::TrayMessage;

class TrayIconTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window = std::make_unique<QWidget>();
        window->resize(240, 120);
        tray = new ThTrayIcon(window.get());
        FillTrayFrames(frames);
    }

    // Records the order in which the tray's events arrive.
    void RecordEvents() {
        tray->OnMouseDown = [this](QObject* sender, TCustomhTrayIcon::TMouseButton b,
                                   TCustomhTrayIcon::TShiftState shift, int, int) {
            EXPECT_EQ(sender, tray);
            log << QStringLiteral("down%1").arg(b);
            const auto expected = b == TCustomhTrayIcon::mbLeft    ? TCustomhTrayIcon::ssLeft
                                  : b == TCustomhTrayIcon::mbRight ? TCustomhTrayIcon::ssRight
                                                                   : TCustomhTrayIcon::ssMiddle;
            EXPECT_TRUE(shift.testFlag(expected));
        };
        tray->OnMouseUp = [this](QObject*, TCustomhTrayIcon::TMouseButton b,
                                 TCustomhTrayIcon::TShiftState, int,
                                 int) { log << QStringLiteral("up%1").arg(b); };
        tray->OnClick = [this](QObject*) { log << "click"; };
        tray->OnDblClick = [this](QObject*) { log << "dblclick"; };
    }

    // A menu that records being shown and closes itself once its loop runs.
    void GiveMenu() {
        menu = std::make_unique<QMenu>();
        menu->addAction(QStringLiteral("退出"));
        QObject::connect(menu.get(), &QMenu::aboutToShow, menu.get(), [this] {
            log << "menu";
            QTimer::singleShot(0, menu.get(), &QMenu::close);
        });
        tray->SetPopupMenu(menu.get());
    }

    TImageList frames;  // outlives the tray, as the component requires
    std::unique_ptr<QMenu> menu;
    std::unique_ptr<QWidget> window;
    ThTrayIcon* tray = nullptr;  // owned by window
    QStringList log;
};

}  // namespace

TEST_F(TrayIconTest, StartsWithItsDocumentedDefaults) {
    EXPECT_FALSE(tray->Animate());
    EXPECT_EQ(tray->AnimateInterval(), 1000u);
    EXPECT_EQ(tray->Hint(), QString());
    EXPECT_TRUE(tray->RestoreDBClick());
    EXPECT_EQ(tray->BalloonTimeout(), 3000);
    EXPECT_EQ(tray->BalloonFlags(), TCustomhTrayIcon::bfNone);
    EXPECT_TRUE(tray->Icon().isNull());
    EXPECT_EQ(tray->Icons(), nullptr);
    EXPECT_EQ(tray->IconIndex(), 0);
    EXPECT_EQ(tray->PopupMenu(), nullptr);
    EXPECT_FALSE(tray->LeftPopup());
    EXPECT_FALSE(tray->MinimizeToTray());
    EXPECT_FALSE(tray->StartupToTray());
    EXPECT_FALSE(tray->Visible());
    EXPECT_FALSE(tray->AnimationRunning());
    // Until a hint is set the tooltip names the program.
    EXPECT_EQ(tray->ShownTip(), QGuiApplication::applicationDisplayName());
}

TEST_F(TrayIconTest, StationSetUpGivesNameTimeoutIconAndTwoFrames) {
    SetUpStationTrayIcon(*tray, frames);
    EXPECT_EQ(tray->Hint(), "Orvalis");
    EXPECT_EQ(tray->ShownTip(), "Orvalis");
    EXPECT_EQ(tray->BalloonHint(), "Orvalis");
    EXPECT_EQ(tray->BalloonTitle(), "Orvalis");
    EXPECT_EQ(tray->BalloonTimeout(), 1000);
    EXPECT_EQ(tray->Icons(), &frames);
    ASSERT_EQ(frames.Count(), 2);
    for (int i = 0; i < 2; ++i) {
        const QImage frame = frames.GetIcon(i).pixmap(16, 16).toImage();
        EXPECT_EQ(frame.size(), QSize(16, 16));
    }
    EXPECT_NE(frames.GetIcon(0).pixmap(16, 16).toImage(),
              frames.GetIcon(1).pixmap(16, 16).toImage());
    for (int size : {16, 32, 48})
        EXPECT_EQ(tray->Icon().pixmap(size, size).size(), QSize(size, size)) << size;
    EXPECT_TRUE(frames.GetIcon(2).isNull());
}

TEST_F(TrayIconTest, AnimationRunsOnlyWhileTheIconIsVisible) {
    tray->SetIcons(&frames);
    tray->SetAnimate(true);
    EXPECT_FALSE(tray->AnimationRunning());
    tray->SetVisible(true);
    EXPECT_TRUE(tray->AnimationRunning());
    tray->SetVisible(false);
    EXPECT_FALSE(tray->AnimationRunning());
    tray->SetVisible(true);
    EXPECT_TRUE(tray->AnimationRunning());
    tray->SetAnimate(false);
    EXPECT_FALSE(tray->AnimationRunning());
    // Without frames there is nothing to cycle.
    tray->SetIcons(nullptr);
    tray->SetAnimate(true);
    EXPECT_FALSE(tray->AnimationRunning());
}

TEST_F(TrayIconTest, AnimationAlternatesFramesAndStoppingShowsTheStaticIconAgain) {
    const QIcon staticIcon = MakeTrayStaticIcon();
    tray->SetIcon(staticIcon);
    tray->SetIcons(&frames);
    tray->SetAnimateInterval(20);
    EXPECT_EQ(tray->AnimateInterval(), 20u);
    tray->SetVisible(true);
    EXPECT_EQ(tray->SystemTrayIcon()->icon().cacheKey(), staticIcon.cacheKey());

    QList<int> indexBeforeStep;
    QList<bool> frameHandedToTray;
    tray->OnAnimate = [&](QObject*) { indexBeforeStep << tray->IconIndex(); };
    tray->SetAnimate(true);
    ASSERT_TRUE(tray->AnimationRunning());
    for (int tick = 0; tick < 5; ++tick) {
        const int seen = indexBeforeStep.size();
        ASSERT_TRUE(testsupport::WaitFor([&] { return indexBeforeStep.size() > seen; }, 3000));
        frameHandedToTray << (tray->SystemTrayIcon()->icon().cacheKey() ==
                              frames.GetIcon(tray->IconIndex()).cacheKey());
    }
    EXPECT_EQ(indexBeforeStep.mid(0, 5), (QList<int>{0, 1, 0, 1, 0}));
    EXPECT_EQ(frameHandedToTray, QList<bool>(5, true));

    tray->SetAnimate(false);
    EXPECT_FALSE(tray->AnimationRunning());
    EXPECT_EQ(tray->CurrentIcon().cacheKey(), staticIcon.cacheKey());
    EXPECT_EQ(tray->SystemTrayIcon()->icon().cacheKey(), staticIcon.cacheKey());
    EXPECT_EQ(tray->Icon().cacheKey(), staticIcon.cacheKey());
    // Shown again later, the icon is still the static one.
    tray->SetVisible(false);
    tray->SetVisible(true);
    EXPECT_EQ(tray->SystemTrayIcon()->icon().cacheKey(), staticIcon.cacheKey());
}

TEST_F(TrayIconTest, OneFrameKeepsIndexZeroAndBadIndexesKeepThePicture) {
    TImageList one;
    one.Add(MakeTrayFlashFrame(0));
    tray->SetIcons(&one);
    tray->SetAnimateInterval(10);
    tray->SetVisible(true);
    int steps = 0;
    tray->OnAnimate = [&](QObject*) { ++steps; };
    tray->SetAnimate(true);
    ASSERT_TRUE(testsupport::WaitFor([&] { return steps >= 3; }, 3000));
    EXPECT_EQ(tray->IconIndex(), 0);
    tray->SetAnimate(false);

    tray->SetIcons(&frames);
    tray->SetIconIndex(1);
    EXPECT_EQ(tray->CurrentIcon().cacheKey(), frames.GetIcon(1).cacheKey());
    tray->SetIconIndex(7);  // past the list: the icon does not go blank
    EXPECT_EQ(tray->IconIndex(), 7);
    EXPECT_EQ(tray->CurrentIcon().cacheKey(), frames.GetIcon(1).cacheKey());
}

TEST_F(TrayIconTest, SwitchingAnimationOffStopsItEvenAfterTheFramesWereRemoved) {
    tray->SetIcons(&frames);
    tray->SetVisible(true);
    tray->SetAnimate(true);
    ASSERT_TRUE(tray->AnimationRunning());
    tray->SetIcons(nullptr);
    tray->SetAnimate(false);
    EXPECT_FALSE(tray->AnimationRunning());
}

TEST_F(TrayIconTest, TextsAreCutToWhatTheTrayHolds) {
    tray->SetHint(QString(200, QChar('h')));
    EXPECT_EQ(tray->Hint().size(), 200);
    EXPECT_EQ(tray->ShownTip(), QString(127, QChar('h')));
    tray->SetBalloonHint(QString(300, QChar('b')));
    EXPECT_EQ(tray->ShownBalloonHint(), QString(255, QChar('b')));
    tray->SetBalloonTitle(QString(100, QChar('t')));
    EXPECT_EQ(tray->ShownBalloonTitle(), QString(63, QChar('t')));
    // Chinese text is counted in characters, and a character is never split in two.
    tray->SetHint(QString(126, QChar(0x6E29)) + QString::fromUcs4(U"\U00020BB7") + "x");
    EXPECT_EQ(tray->ShownTip(), QString(126, QChar(0x6E29)));
    tray->SetHint(QStringLiteral("温度报警"));
    EXPECT_EQ(tray->ShownTip(), QStringLiteral("温度报警"));
    // An empty hint leaves no tooltip.
    tray->SetHint(QString());
    EXPECT_EQ(tray->ShownTip(), QString());
    tray->SetVisible(true);
    EXPECT_EQ(tray->SystemTrayIcon()->toolTip(), QString());
}

TEST_F(TrayIconTest, LeftClickRaisesDownClickUpAndAMenuComesBeforeTheClick) {
    RecordEvents();
    emit tray->SystemTrayIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(log, (QStringList{"down0", "click", "up0"}));

    log.clear();
    GiveMenu();
    emit tray->SystemTrayIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(log, (QStringList{"down0", "click", "up0"})) << "no menu without LeftPopup";
    log.clear();
    tray->SetLeftPopup(true);
    emit tray->SystemTrayIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(log, (QStringList{"down0", "menu", "click", "up0"}));

    // A release without a press on the icon is no click.
    log.clear();
    tray->SetLeftPopup(false);
    tray->TrayWndProc(Msg::LButtonUp);
    EXPECT_EQ(log, (QStringList{"up0"}));
}

TEST_F(TrayIconTest, RightClickRaisesUpBeforeTheMenuAndMiddleClickHasNoMenu) {
    RecordEvents();
    emit tray->SystemTrayIcon()->activated(QSystemTrayIcon::Context);
    EXPECT_EQ(log, (QStringList{"down1", "up1"}));
    log.clear();
    GiveMenu();
    emit tray->SystemTrayIcon()->activated(QSystemTrayIcon::Context);
    EXPECT_EQ(log, (QStringList{"down1", "up1", "menu"}));
    log.clear();
    emit tray->SystemTrayIcon()->activated(QSystemTrayIcon::MiddleClick);
    EXPECT_EQ(log, (QStringList{"down2", "up2"}));
}

TEST_F(TrayIconTest, DoubleClickRestoresTheWindowBeforeItsEvent) {
    RecordEvents();
    window->show();
    window->showMinimized();
    bool restoredBeforeEvent = false;
    tray->OnDblClick = [&](QObject*) {
        restoredBeforeEvent = window->isVisible() && !(window->windowState() & Qt::WindowMinimized);
        log << "dblclick";
    };
    emit tray->SystemTrayIcon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(restoredBeforeEvent);
    EXPECT_EQ(log, (QStringList{"dblclick"}));

    // Any button's double-click restores a hidden window too.
    window->hide();
    tray->TrayWndProc(Msg::RButtonDblClk);
    EXPECT_TRUE(window->isVisible());

    // With RestoreDBClick off only the event happens.
    tray->SetRestoreDBClick(false);
    window->hide();
    log.clear();
    tray->TrayWndProc(Msg::MButtonDblClk);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(log, (QStringList{"dblclick"}));
}

TEST_F(TrayIconTest, BalloonNotificationsRaiseTheirEvents) {
    QStringList seen;
    tray->OnBalloonHintShow = [&](QObject*) { seen << "show"; };
    tray->OnBalloonHintHide = [&](QObject*) { seen << "hide"; };
    tray->OnBalloonHintTimeout = [&](QObject*) { seen << "timeout"; };
    tray->OnBalloonHintClick = [&](QObject*) { seen << "click"; };
    tray->TrayWndProc(Msg::BalloonShow);
    tray->TrayWndProc(Msg::BalloonUserClick);
    tray->TrayWndProc(Msg::BalloonHide);
    tray->TrayWndProc(Msg::BalloonTimeout);
    EXPECT_EQ(seen, (QStringList{"show", "click", "hide", "timeout"}));
    // Qt's own balloon click signal arrives as the click notification.
    emit tray->SystemTrayIcon()->messageClicked();
    EXPECT_EQ(seen.last(), "click");
}

TEST_F(TrayIconTest, WithoutATrayMinimisingLeavesTheWindowReachable) {
    if (TCustomhTrayIcon::TrayAvailable()) GTEST_SKIP() << "this desktop has a tray";
    SetUpStationTrayIcon(*tray, frames);
    window->show();
    // Tray mode as the main window switches it on: no error, though nothing can show the icon.
    tray->SetVisible(true);
    tray->SetMinimizeToTray(true);
    EXPECT_TRUE(tray->Visible());
    EXPECT_FALSE(tray->InTray());
    EXPECT_FALSE(tray->ShowBalloonHint());
    EXPECT_FALSE(tray->BalloonPending());

    int minimizeEvents = 0;
    tray->OnMinimizeToTray = [&](QObject*) { ++minimizeEvents; };
    window->showMinimized();
    ASSERT_TRUE(testsupport::WaitFor([&] { return minimizeEvents == 1; }, 2000));
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->isVisible()) << "the window must stay in the task bar";
    EXPECT_TRUE(window->windowState() & Qt::WindowMinimized);

    emit tray->SystemTrayIcon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->windowState() & Qt::WindowMinimized);

    // Starting "in the tray" likewise keeps the window on screen.
    bool offered = true;
    tray->SetStartupToTray(true);
    tray->OnStartup = [&](QObject*, bool& show) { offered = show; };
    tray->Loaded();
    EXPECT_FALSE(offered);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(TrayIconTest, MinimisingIsLeftAloneWhenNotInTrayMode) {
    int minimizeEvents = 0;
    tray->OnMinimizeToTray = [&](QObject*) { ++minimizeEvents; };
    window->show();
    window->showMinimized();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(minimizeEvents, 0);
    EXPECT_FALSE(tray->Visible());
    EXPECT_TRUE(window->isVisible());
}
