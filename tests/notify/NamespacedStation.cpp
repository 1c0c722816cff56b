#include "NamespacedStation.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QStandardPaths>

#include "TestSupport.h"

NamespacedStation::NamespacedStation() {
    const QString exe = folder_.Path() + QStringLiteral("station");
    QFile::copy(testsupport::BinDir() + QStringLiteral("/station"), exe);
    chmod(QFile::encodeName(exe).constData(), 0755);
    process_.setProcessChannelMode(QProcess::MergedChannels);
}

NamespacedStation::~NamespacedStation() {
    Kill();
}

bool NamespacedStation::CanRun() {
    if (geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("unshare")).isEmpty())
        return false;
    QProcess probe;
    probe.start(QStringLiteral("unshare"), {QStringLiteral("-n"), QStringLiteral("true")});
    return probe.waitForFinished(5000) && probe.exitCode() == 0;
}

bool NamespacedStation::Start(const QString& port) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("SENSORBUS_PORTS"), port);
    env.insert(QStringLiteral("STATION_AUDIO_SINK"), QStringLiteral("fakesink"));
    process_.setProcessEnvironment(env);
    // unshare runs the program in its own place (no fork): the process is the station itself.
    process_.start(QStringLiteral("unshare"),
                   {QStringLiteral("-n"), folder_.Path() + QStringLiteral("station")});
    return process_.waitForStarted(5000);
}

void NamespacedStation::Kill() {
    if (process_.state() == QProcess::NotRunning) return;
    ::kill(static_cast<pid_t>(process_.processId()), SIGKILL);
    process_.waitForFinished(5000);
}

QString NamespacedStation::Output() {
    output_ += QString::fromUtf8(process_.readAll());
    return output_;
}
