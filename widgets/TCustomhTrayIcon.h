// The program's icon in the desktop's notification area (system tray): tooltip, balloon
// message, an animation that cycles the frames of an image list, and minimising into the tray.
//
// The icon itself is a QSystemTrayIcon. What the operator does on it arrives as a
// TrayMessage and is turned into the component's events in a fixed order (TrayWndProc).
// Minimising the owner's window is seen through an event filter on that window.
//
// Where the desktop has no tray, the window is never hidden into it: minimising leaves it
// minimised in the task bar, so it always stays within reach.
#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>

class QMenu;
class QWidget;
class TImageList;

class TCustomhTrayIcon : public QObject {
    Q_OBJECT

  public:
    enum TBalloonFlags { bfNone, bfInfo, bfWarning, bfError };
    enum TMouseButton { mbLeft, mbRight, mbMiddle };
    enum TShiftStateFlag {
        ssShift = 0x01,
        ssAlt = 0x02,
        ssCtrl = 0x04,
        ssLeft = 0x08,
        ssRight = 0x10,
        ssMiddle = 0x20,
    };
    Q_DECLARE_FLAGS(TShiftState, TShiftStateFlag)

    // Event handlers: the sender comes first; an event is raised only when a handler is set.
    using TNotifyEvent = std::function<void(QObject* sender)>;
    using TMouseEvent =
        std::function<void(QObject* sender, TMouseButton button, TShiftState shift, int x, int y)>;
    using TMouseMoveEvent = std::function<void(QObject* sender, TShiftState shift, int x, int y)>;
    using TStartupEvent = std::function<void(QObject* sender, bool& showMainForm)>;

    // What happened on the icon or its balloon.
    enum class TrayMessage {
        MouseMove,
        LButtonDown,
        LButtonUp,
        LButtonDblClk,
        RButtonDown,
        RButtonUp,
        RButtonDblClk,
        MButtonDown,
        MButtonUp,
        MButtonDblClk,
        BalloonShow,
        BalloonHide,
        BalloonTimeout,
        BalloonUserClick,
    };

    // Longest texts the tray shows; longer ones are cut.
    static constexpr int kMaxTipLength = 127;
    static constexpr int kMaxBalloonTextLength = 255;
    static constexpr int kMaxBalloonTitleLength = 63;

    // owner is the window minimised into and restored from the tray (the main window).
    explicit TCustomhTrayIcon(QWidget* owner);
    ~TCustomhTrayIcon() override;

    bool Animate() const { return animate_; }
    void SetAnimate(bool value);
    unsigned AnimateInterval() const { return static_cast<unsigned>(animateTimer_.interval()); }
    void SetAnimateInterval(unsigned ms);
    QString Hint() const { return hint_; }
    void SetHint(const QString& text);
    bool RestoreDBClick() const { return restoreDBClick_; }
    void SetRestoreDBClick(bool value) { restoreDBClick_ = value; }
    QString BalloonHint() const { return balloonHint_; }
    void SetBalloonHint(const QString& text);
    QString BalloonTitle() const { return balloonTitle_; }
    void SetBalloonTitle(const QString& text);
    int BalloonTimeout() const { return balloonTimeout_; }
    void SetBalloonTimeout(int ms) { balloonTimeout_ = ms; }
    TBalloonFlags BalloonFlags() const { return balloonFlags_; }
    void SetBalloonFlags(TBalloonFlags flags) { balloonFlags_ = flags; }
    QIcon Icon() const { return staticIcon_; }
    void SetIcon(const QIcon& icon);
    // Animation frames; not owned, must outlive this component.
    TImageList* Icons() const { return icons_; }
    void SetIcons(TImageList* frames);
    int IconIndex() const { return iconIndex_; }
    virtual void SetIconIndex(int index);
    // Menu opened on the icon; not owned, must outlive this component.
    QMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(QMenu* menu) { popupMenu_ = menu; }
    bool LeftPopup() const { return leftPopup_; }
    void SetLeftPopup(bool value) { leftPopup_ = value; }
    bool MinimizeToTray() const { return minimizeToTray_; }
    void SetMinimizeToTray(bool value) { minimizeToTray_ = value; }
    bool StartupToTray() const { return startupToTray_; }
    void SetStartupToTray(bool value) { startupToTray_ = value; }
    bool Visible() const { return visible_; }
    virtual void SetVisible(bool value);

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;
    TMouseEvent OnMouseDown;
    TNotifyEvent OnAnimate;
    TNotifyEvent OnMinimizeToTray;
    TStartupEvent OnStartup;
    TNotifyEvent OnBalloonHintShow;
    TNotifyEvent OnBalloonHintHide;
    TNotifyEvent OnBalloonHintTimeout;
    TNotifyEvent OnBalloonHintClick;

    // Shows the balloon with the stored texts for BalloonTimeout ms. True when the icon is in a
    // tray that took the request.
    virtual bool ShowBalloonHint();
    // Call once the properties are set: applies StartupToTray through OnStartup.
    void Loaded();
    // Handles one notification from the tray; the tray's own signals arrive here.
    virtual void TrayWndProc(TrayMessage message);

    // Whether the desktop offers a notification area at all.
    static bool TrayAvailable();
    // The icon is requested and a tray is there to show it.
    bool InTray() const { return visible_ && TrayAvailable(); }
    bool AnimationRunning() const { return animateTimer_.isActive(); }
    // The picture handed to the tray now (static icon or current frame).
    QIcon CurrentIcon() const { return currentIcon_; }
    // The texts as the tray gets them, after cutting.
    QString ShownTip() const { return tip_; }
    QString ShownBalloonHint() const { return shownBalloonHint_; }
    QString ShownBalloonTitle() const { return shownBalloonTitle_; }
    // A balloon was asked for and has neither timed out nor been hidden yet.
    bool BalloonPending() const { return balloonPending_; }
    QSystemTrayIcon* SystemTrayIcon() const { return tray_; }

  protected:
    virtual void AnimateStep();
    virtual void DoMinimizeToTray();
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    static QString Cut(const QString& text, int maxLength);
    static TShiftState GetShiftState();
    QWidget* MainForm() const;
    void UpdateIcon();
    void ResetIcon();
    void HideMainForm();
    void RestoreMainForm();
    void OpenPopupMenu();
    void MinimizeHandler();
    void OnActivated(QSystemTrayIcon::ActivationReason reason);
    void RaiseMouse(const TMouseEvent& handler, TMouseButton button, TShiftStateFlag buttonFlag);

    QPointer<QWidget> owner_;
    QSystemTrayIcon* tray_;
    QTimer animateTimer_;
    QTimer balloonTimer_;
    bool animate_ = false;
    bool clickPending_ = false;
    QIcon currentIcon_;
    QIcon staticIcon_;
    TImageList* icons_ = nullptr;
    QMenu* popupMenu_ = nullptr;
    QString hint_;
    QString tip_;
    int iconIndex_ = 0;
    bool visible_ = false;
    QString balloonHint_;
    QString balloonTitle_;
    QString shownBalloonHint_;
    QString shownBalloonTitle_;
    int balloonTimeout_ = 3000;
    TBalloonFlags balloonFlags_ = bfNone;
    bool balloonPending_ = false;
    bool minimizeToTray_ = false;
    bool restoreDBClick_ = true;
    bool leftPopup_ = false;
    bool startupToTray_ = false;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TCustomhTrayIcon::TShiftState)
