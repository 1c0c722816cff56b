#include "SerialPortList.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <cstdlib>

void SortPortNames(QStringList& names) {
    QCollator collator;  // the user's locale
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(false);
    std::stable_sort(names.begin(), names.end(), [&](const QString& a, const QString& b) {
        return collator.compare(a, b) < 0;
    });
}

namespace {

QSet<QString> ConsoleNames() {
    QSet<QString> out;
    QFile active(QStringLiteral("/sys/class/tty/console/active"));
    if (active.open(QIODevice::ReadOnly)) {
        for (const QString& n :
             QString::fromLocal8Bit(active.readAll())
                 .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
            out.insert(n);
    }
    QFile consoles(QStringLiteral("/proc/consoles"));
    if (consoles.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : consoles.readAll().split('\n')) {
            const QByteArray name = line.trimmed().split(' ').value(0);
            if (!name.isEmpty()) out.insert(QString::fromLocal8Bit(name));
        }
    }
    return out;
}

// False when the port is a serial-core port without a UART (PORT_UNKNOWN).
bool HasUart(const QString& name) {
    QFile typeFile(QStringLiteral("/sys/class/tty/%1/type").arg(name));
    if (typeFile.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const int type = typeFile.readAll().trimmed().toInt(&ok);
        if (ok) return type != PORT_UNKNOWN;
    }
    const QString driver =
        QFileInfo(QStringLiteral("/sys/class/tty/%1/device/driver").arg(name)).symLinkTarget();
    if (!driver.endsWith(QLatin1String("serial8250"))) return true;
    // Non-blocking open: does not wait for carrier; closed at once.
    const int fd = ::open(QFile::encodeName(QStringLiteral("/dev/") + name).constData(),
                          O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return true;  // cannot tell (e.g. in use): keep it
    serial_struct ss{};
    const bool unknown = ::ioctl(fd, TIOCGSERIAL, &ss) == 0 && ss.type == PORT_UNKNOWN;
    ::close(fd);
    return !unknown;
}

}  // namespace

QStringList ListPlatformSerialPorts() {
    QStringList names;
    const char* env = std::getenv("SENSORBUS_PORTS");
    if (env != nullptr) {
        for (const QString& p :
             QString::fromLocal8Bit(env).split(QLatin1Char(':'), Qt::SkipEmptyParts))
            if (!names.contains(p)) names.append(p);
        SortPortNames(names);
        return names;
    }
    const QSet<QString> consoles = ConsoleNames();
    QDir ttyDir(QStringLiteral("/sys/class/tty"));
    for (const QString& name : ttyDir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        if (!QFileInfo::exists(ttyDir.filePath(name + QStringLiteral("/device")))) continue;
        if (consoles.contains(name)) continue;
        if (!HasUart(name)) continue;
        names.append(QStringLiteral("/dev/") + name);
    }
    SortPortNames(names);
    return names;
}

QString PortOpenProblem(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat sb {};
    if (::stat(name.constData(), &sb) != 0 && errno == ENOENT)
        return QStringLiteral("通信口 %1 不存在").arg(path);
    if (::access(name.constData(), R_OK | W_OK) != 0 && errno == EACCES)
        return QStringLiteral("无权打开通信口 %1：请将当前用户加入 dialout 组后重新登录").arg(path);
    return QString();
}
