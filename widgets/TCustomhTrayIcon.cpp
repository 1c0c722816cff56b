#include "TCustomhTrayIcon.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMenu>
#include <QWidget>
#include <QWindowStateChangeEvent>

#include "TImageList.h"

TCustomhTrayIcon::TCustomhTrayIcon(QWidget* owner)
    : QObject(owner), owner_(owner), tray_(new QSystemTrayIcon(this)) {
    animateTimer_.setInterval(1000);
    connect(&animateTimer_, &QTimer::timeout, this, &TCustomhTrayIcon::AnimateStep);
    balloonTimer_.setSingleShot(true);
    connect(&balloonTimer_, &QTimer::timeout, this,
            [this] { TrayWndProc(TrayMessage::BalloonTimeout); });

    // Until a hint is set the tooltip names the program.
    tip_ = Cut(QGuiApplication::applicationDisplayName(), kMaxTipLength);

    connect(tray_, &QSystemTrayIcon::activated, this, &TCustomhTrayIcon::OnActivated);
    connect(tray_, &QSystemTrayIcon::messageClicked, this,
            [this] { TrayWndProc(TrayMessage::BalloonUserClick); });
    if (QWidget* form = MainForm()) form->installEventFilter(this);
    UpdateIcon();
}

TCustomhTrayIcon::~TCustomhTrayIcon() {
    animateTimer_.stop();
    balloonTimer_.stop();
    if (QWidget* form = MainForm()) form->removeEventFilter(this);
    tray_->hide();
}

bool TCustomhTrayIcon::TrayAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

QString TCustomhTrayIcon::Cut(const QString& text, int maxLength) {
    if (text.size() <= maxLength) return text;
    int cut = maxLength;
    if (text.at(cut - 1).isHighSurrogate()) --cut;  // never keep half a character
    return text.left(cut);
}

TCustomhTrayIcon::TShiftState TCustomhTrayIcon::GetShiftState() {
    const Qt::KeyboardModifiers mods = QGuiApplication::queryKeyboardModifiers();
    TShiftState shift;
    if (mods & Qt::ShiftModifier) shift |= ssShift;
    if (mods & Qt::ControlModifier) shift |= ssCtrl;
    if (mods & Qt::AltModifier) shift |= ssAlt;
    return shift;
}

QWidget* TCustomhTrayIcon::MainForm() const {
    return owner_ ? owner_->window() : nullptr;
}

void TCustomhTrayIcon::UpdateIcon() {
    if (!visible_) return;
    tray_->setIcon(currentIcon_);
    tray_->setToolTip(tip_);
}

void TCustomhTrayIcon::ResetIcon() {
    currentIcon_ = staticIcon_.isNull() ? QApplication::windowIcon() : staticIcon_;
    UpdateIcon();
}

void TCustomhTrayIcon::SetVisible(bool value) {
    if (value == visible_) return;
    visible_ = value;
    if (!animate_ || currentIcon_.isNull()) ResetIcon();
    if (value) {
        // Shown even while no tray is running: Qt puts the icon in as soon as one appears.
        tray_->setIcon(currentIcon_);
        tray_->setToolTip(tip_);
        tray_->show();
    } else {
        tray_->hide();
        balloonTimer_.stop();
        balloonPending_ = false;
    }
    if (animate_) {
        if (value)
            animateTimer_.start();
        else
            animateTimer_.stop();
    }
}

void TCustomhTrayIcon::SetAnimate(bool value) {
    if (value == animate_) return;
    animate_ = value;
    if (value) {
        if (icons_ && icons_->Count() > 0 && visible_) animateTimer_.start();
    } else {
        // Whatever started the timer, switching animation off stops it, and the tray goes back
        // to the static icon rather than keeping the frame that happened to be on show.
        animateTimer_.stop();
        ResetIcon();
    }
}

void TCustomhTrayIcon::SetAnimateInterval(unsigned ms) {
    animateTimer_.setInterval(static_cast<int>(std::min<unsigned>(ms, INT_MAX)));
}

void TCustomhTrayIcon::AnimateStep() {
    if (OnAnimate) OnAnimate(this);
    if (icons_ && iconIndex_ < icons_->Count() - 1)
        SetIconIndex(iconIndex_ + 1);
    else
        SetIconIndex(0);
    UpdateIcon();
}

void TCustomhTrayIcon::SetIconIndex(int index) {
    if (index == iconIndex_) return;
    iconIndex_ = index;
    if (icons_) {
        // An index past the list keeps the picture on show instead of blanking the icon.
        const QIcon frame = icons_->GetIcon(index);
        if (!frame.isNull()) currentIcon_ = frame;
    }
    UpdateIcon();
}

void TCustomhTrayIcon::SetIcon(const QIcon& icon) {
    staticIcon_ = icon;
    currentIcon_ = icon;
    UpdateIcon();
}

void TCustomhTrayIcon::SetIcons(TImageList* frames) {
    icons_ = frames;
    if (!frames) ResetIcon();
}

void TCustomhTrayIcon::SetHint(const QString& text) {
    if (text == hint_) return;
    hint_ = text;
    tip_ = Cut(text, kMaxTipLength);
    UpdateIcon();
}

void TCustomhTrayIcon::SetBalloonHint(const QString& text) {
    if (text == balloonHint_) return;
    balloonHint_ = text;
    shownBalloonHint_ = Cut(text, kMaxBalloonTextLength);
}

void TCustomhTrayIcon::SetBalloonTitle(const QString& text) {
    if (text == balloonTitle_) return;
    balloonTitle_ = text;
    shownBalloonTitle_ = Cut(text, kMaxBalloonTitleLength);
}

bool TCustomhTrayIcon::ShowBalloonHint() {
    if (!InTray()) return false;
    static const QSystemTrayIcon::MessageIcon kIcons[] = {
        QSystemTrayIcon::NoIcon, QSystemTrayIcon::Information, QSystemTrayIcon::Warning,
        QSystemTrayIcon::Critical};
    balloonPending_ = true;
    tray_->showMessage(shownBalloonTitle_, shownBalloonHint_, kIcons[balloonFlags_],
                       balloonTimeout_);
    // Qt tells nothing when the balloon appears or goes; it is shown now and gone after its
    // time-out, which is what the balloon events report.
    QMetaObject::invokeMethod(
        this, [this] { TrayWndProc(TrayMessage::BalloonShow); }, Qt::QueuedConnection);
    balloonTimer_.start(std::max(balloonTimeout_, 0));
    return true;
}

void TCustomhTrayIcon::RaiseMouse(const TMouseEvent& handler, TMouseButton button,
                                  TShiftStateFlag buttonFlag) {
    if (!handler) return;
    const QPoint pos = QCursor::pos();
    handler(this, button, GetShiftState() | buttonFlag, pos.x(), pos.y());
}

void TCustomhTrayIcon::TrayWndProc(TrayMessage message) {
    switch (message) {
        case TrayMessage::MouseMove:
            if (OnMouseMove) {
                const QPoint pos = QCursor::pos();
                OnMouseMove(this, GetShiftState(), pos.x(), pos.y());
            }
            break;
        case TrayMessage::LButtonDown:
            RaiseMouse(OnMouseDown, mbLeft, ssLeft);
            clickPending_ = true;
            break;
        case TrayMessage::LButtonUp:
            if (leftPopup_ && popupMenu_) OpenPopupMenu();
            if (clickPending_ && OnClick) {
                OnClick(this);
                clickPending_ = false;
            }
            RaiseMouse(OnMouseUp, mbLeft, ssLeft);
            break;
        case TrayMessage::LButtonDblClk:
        case TrayMessage::RButtonDblClk:
        case TrayMessage::MButtonDblClk:
            if (restoreDBClick_) RestoreMainForm();
            if (OnDblClick) OnDblClick(this);
            break;
        case TrayMessage::RButtonDown:
            RaiseMouse(OnMouseDown, mbRight, ssRight);
            break;
        case TrayMessage::RButtonUp:
            RaiseMouse(OnMouseUp, mbRight, ssRight);
            if (popupMenu_) OpenPopupMenu();
            break;
        case TrayMessage::MButtonDown:
            RaiseMouse(OnMouseDown, mbMiddle, ssMiddle);
            break;
        case TrayMessage::MButtonUp:
            RaiseMouse(OnMouseUp, mbMiddle, ssMiddle);
            break;
        case TrayMessage::BalloonShow:
            if (OnBalloonHintShow) OnBalloonHintShow(this);
            break;
        case TrayMessage::BalloonHide:
            balloonPending_ = false;
            balloonTimer_.stop();
            if (OnBalloonHintHide) OnBalloonHintHide(this);
            break;
        case TrayMessage::BalloonTimeout:
            balloonPending_ = false;
            balloonTimer_.stop();
            if (OnBalloonHintTimeout) OnBalloonHintTimeout(this);
            break;
        case TrayMessage::BalloonUserClick:
            if (OnBalloonHintClick) OnBalloonHintClick(this);
            break;
    }
}

void TCustomhTrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    // Qt reports a button press on the icon as one activation; the component's events want
    // the press and the release, so both are raised here in their order.
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            TrayWndProc(TrayMessage::LButtonDown);
            TrayWndProc(TrayMessage::LButtonUp);
            break;
        case QSystemTrayIcon::Context:
            TrayWndProc(TrayMessage::RButtonDown);
            TrayWndProc(TrayMessage::RButtonUp);
            break;
        case QSystemTrayIcon::MiddleClick:
            TrayWndProc(TrayMessage::MButtonDown);
            TrayWndProc(TrayMessage::MButtonUp);
            break;
        case QSystemTrayIcon::DoubleClick:
            TrayWndProc(TrayMessage::LButtonDblClk);
            break;
        case QSystemTrayIcon::Unknown:
            break;
    }
}

void TCustomhTrayIcon::OpenPopupMenu() {
    // Runs until the menu closes, so handlers raised after it see the menu's outcome.
    QPointer<QMenu> menu = popupMenu_;
    menu->exec(QCursor::pos());
}

void TCustomhTrayIcon::HideMainForm() {
    if (QWidget* form = MainForm()) form->hide();
}

void TCustomhTrayIcon::RestoreMainForm() {
    QWidget* form = MainForm();
    if (!form) return;
    if (form->windowState() & Qt::WindowMinimized)
        form->setWindowState(form->windowState() & ~Qt::WindowMinimized);
    form->show();
    form->raise();
    form->activateWindow();
}

void TCustomhTrayIcon::DoMinimizeToTray() {
    // Only hide into a tray that is there; otherwise the window stays minimised in the task
    // bar. The icon is requested either way and appears if a tray starts later.
    if (TrayAvailable()) HideMainForm();
    SetVisible(true);
}

void TCustomhTrayIcon::MinimizeHandler() {
    if (!minimizeToTray_) return;
    if (OnMinimizeToTray) OnMinimizeToTray(this);
    DoMinimizeToTray();
}

bool TCustomhTrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowStateChange && watched == MainForm()) {
        auto* change = static_cast<QWindowStateChangeEvent*>(event);
        QWidget* form = MainForm();
        const bool nowMinimized = form->windowState() & Qt::WindowMinimized;
        const bool wasMinimized = change->oldState() & Qt::WindowMinimized;
        if (nowMinimized && !wasMinimized && minimizeToTray_) {
            // Hide after the window system has finished minimising, not in the middle of it.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    QWidget* f = MainForm();
                    if (f && (f->windowState() & Qt::WindowMinimized) && f->isVisible())
                        MinimizeHandler();
                },
                Qt::QueuedConnection);
        }
    }
    return QObject::eventFilter(watched, event);
}

void TCustomhTrayIcon::Loaded() {
    if (!owner_) return;
    bool showMainForm = !startupToTray_;
    if (OnStartup) OnStartup(this, showMainForm);
    // Starting hidden needs a tray to come back from.
    if (!showMainForm && TrayAvailable()) HideMainForm();
}
