#include "SerialPortList.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace {

QStringList KernelPorts() {
    QStringList out;
    QString console;
    QFile active(QStringLiteral("/sys/class/tty/console/active"));
    if (active.open(QIODevice::ReadOnly)) console = QString::fromLatin1(active.readAll()).trimmed();
    const QStringList consoles = console.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QDir dir(QStringLiteral("/sys/class/tty"));
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        const QFileInfo device(dir.filePath(name) + QStringLiteral("/device"));
        if (!device.exists()) continue;  // virtual terminals and pseudo-terminals
        if (consoles.contains(name)) continue;
        // Legacy 8250 entries exist for every possible port; only those with a UART behind
        // them report a non-zero type.
        QFile type(dir.filePath(name) + QStringLiteral("/type"));
        if (type.open(QIODevice::ReadOnly) && type.readAll().trimmed() == "0") continue;
        out << QStringLiteral("/dev/") + name;
    }
    return out;
}

}  // namespace

QStringList ListPlatformSerialPorts() {
    QStringList ports;
    const QByteArray env = qgetenv("SENSORBUS_PORTS");
    if (!env.isNull())
        ports = QString::fromLocal8Bit(env).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    else
        ports = KernelPorts();
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(ports.begin(), ports.end(), [&](const QString& a, const QString& b) {
        return collator.compare(a, b) < 0;
    });
    return ports;
}
