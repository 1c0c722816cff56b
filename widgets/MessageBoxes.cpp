#include "MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
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

void ShowErrorBox(const QString& text) {
    QMessageBox box(QMessageBox::Critical, StationTitle(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
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
