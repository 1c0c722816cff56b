#include "MessageBoxWatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <QTest>

MessageBoxWatcher::MessageBoxWatcher() {
    connect(&timer_, &QTimer::timeout, this, &MessageBoxWatcher::Poll);
    timer_.start(10);
}

MessageBoxWatcher::~MessageBoxWatcher() {
    timer_.stop();
}

void MessageBoxWatcher::Poll() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box || !box->isVisible() || box->property("watcherSeen").toBool()) continue;
        box->setProperty("watcherSeen", true);
        texts_ << box->text();
        captions_ << box->windowTitle();
        QAbstractButton* button = nullptr;
        if (!answers_.empty()) {
            button = box->button(answers_.front());
            answers_.pop_front();
        }
        if (!button) button = box->defaultButton();
        if (!button) button = box->escapeButton();
        if (!button && !box->buttons().isEmpty()) button = box->buttons().first();
        if (button) QTest::mouseClick(button, Qt::LeftButton);
    }
}
