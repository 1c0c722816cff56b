// Writes the station's icon as PNG files, one per size, for the desktop's icon theme:
// make-station-icons <folder>  gives <folder>/<size>x<size>/apps/sensorbus-station.png.
#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "StationIcon.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-station-icons <folder>\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (int size : StationIconSizes()) {
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        const QString file = dir + QStringLiteral("/sensorbus-station.png");
        if (!QDir().mkpath(dir) || !StationIconPicture(size).save(file, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
