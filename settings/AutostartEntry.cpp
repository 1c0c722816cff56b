#include "AutostartEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// A program path as one argument of an Exec line: quoted, with the characters the desktop
// entry format reserves inside quotes escaped.
QString QuotedArgument(QString path) {
    path.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    for (const char c : {'"', '`', '$'}) path.replace(QLatin1Char(c), QStringLiteral("\\") + c);
    return QLatin1Char('"') + path + QLatin1Char('"');
}

}  // namespace

QString AutostartEntry::Path() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/sensorbus-station.desktop");
}

bool AutostartEntry::Exists() {
    return QFileInfo(Path()).isFile();
}

bool AutostartEntry::Write(const QString& program) {
    const QString path = Path();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    const QString text = QStringLiteral(
                             "[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=多点温度探测系统\n"
                             "Comment=登录后启动多点温度探测系统\n"
                             "Exec=%1\n"
                             "Icon=sensorbus-station\n"
                             "Terminal=false\n"
                             "X-GNOME-Autostart-enabled=true\n")
                             .arg(QuotedArgument(program));
    QSaveFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(text.toUtf8()) >= 0 && out.commit();
}

bool AutostartEntry::Remove() {
    return !QFileInfo::exists(Path()) || QFile::remove(Path());
}
