#include "TestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace testsupport {

bool WaitFor(const std::function<bool()>& pred, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired()) return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

QString BinDir() {
    QByteArray dir = qgetenv("STATION_BIN_DIR");
    return dir.isEmpty() ? QStringLiteral(STATION_DEFAULT_BIN_DIR) : QString::fromLocal8Bit(dir);
}

QString SourceDir() {
    QByteArray dir = qgetenv("STATION_SOURCE_DIR");
    return dir.isEmpty() ? QStringLiteral(STATION_DEFAULT_SOURCE_DIR) : QString::fromLocal8Bit(dir);
}

}  // namespace testsupport
