#include "TApplication.h"

#include "ChineseInterface.h"
#include "MessageBoxes.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("station"));
    setDesktopFileName(QStringLiteral("sensorbus-station"));
    SetUpChineseInterface(*this);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowCurrentException();
        return false;
    }
}
