#include "MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <stdexcept>

#include "StationError.h"

QString StationTitle() {
    return QStringLiteral("多点温度探测系统");
}

void ShowMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, StationTitle(), text, QMessageBox::Ok, parent);
    box.exec();
}

bool ConfirmYesNo(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, StationTitle(), text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

bool ConfirmUnlessNo(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, StationTitle(), text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setDefaultButton(QMessageBox::Yes);
    // Without an escape button of its own the box would take No for Escape and for its close
    // button; a plain button that is never shown takes that role instead.
    QPushButton* dismissed = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    dismissed->hide();
    box.setEscapeButton(dismissed);
    box.exec();
    return box.clickedButton() != box.button(QMessageBox::No);
}

namespace {

bool errorBoxOpen = false;
std::function<void(const QString&)> errorOverflow;
std::function<void()> errorBoxClosed;

}  // namespace

void SetErrorOverflow(std::function<void(const QString&)> overflow,
                      std::function<void()> boxClosed) {
    errorOverflow = std::move(overflow);
    errorBoxClosed = std::move(boxClosed);
}

bool ErrorBoxOpen() {
    return errorBoxOpen;
}

void ShowErrorBox(const QString& text) {
    if (errorBoxOpen) {
        if (errorOverflow) errorOverflow(text);
        return;
    }
    errorBoxOpen = true;
    {
        QMessageBox box(QMessageBox::Critical, StationTitle(), text, QMessageBox::Ok,
                        QApplication::activeWindow());
        box.exec();
    }
    errorBoxOpen = false;
    if (errorBoxClosed) errorBoxClosed();
}

void PostErrorBox(const QString& text) {
    if (errorBoxOpen) {
        if (errorOverflow) errorOverflow(text);
        return;
    }
    QTimer::singleShot(0, qApp, [text] { ShowErrorBox(text); });
}

void ShowCurrentException() {
    try {
        throw;
    } catch (const StationError& e) {
        ShowErrorBox(e.Message());
    } catch (const std::exception& e) {
        ShowErrorBox(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowErrorBox(QStringLiteral("未知错误"));
    }
}
