#include "MessageBoxWatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <algorithm>

std::vector<MessageBoxWatcher*>& MessageBoxWatcher::Live() {
    static std::vector<MessageBoxWatcher*> live;
    return live;
}

MessageBoxWatcher::MessageBoxWatcher() {
    Live().push_back(this);
    connect(&timer_, &QTimer::timeout, this, &MessageBoxWatcher::Poll);
    timer_.start(10);
}

MessageBoxWatcher::~MessageBoxWatcher() {
    timer_.stop();
    auto& live = Live();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
}

void MessageBoxWatcher::Poll() {
    if (Live().empty() || Live().back() != this) return;  // the newest watcher answers
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box || !box->isVisible() || box->property("watcherSeen").toBool()) continue;
        box->setProperty("watcherSeen", true);
        for (MessageBoxWatcher* watcher : Live()) {
            watcher->texts_ << box->text();
            watcher->captions_ << box->windowTitle();
        }
        QAbstractButton* button = nullptr;
        for (auto it = Live().rbegin(); it != Live().rend() && !button; ++it) {
            if ((*it)->answers_.empty()) continue;
            button = box->button((*it)->answers_.front());
            (*it)->answers_.pop_front();
        }
        if (!button) button = box->defaultButton();
        if (!button) button = box->escapeButton();
        if (!button && !box->buttons().isEmpty()) button = box->buttons().first();
        if (button) QTest::mouseClick(button, Qt::LeftButton);
    }
}
