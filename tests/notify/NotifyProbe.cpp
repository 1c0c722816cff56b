// A station's publisher alone in a process of its own, for the test of the last will: connects
// with the settings file named on the command line, prints "online" once connected and then
// waits to be killed.
#include <QCoreApplication>
#include <QThread>
#include <cstdio>

#include "MqttPublisher.h"
#include "NotifySettings.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) return 2;
    MqttPublisher publisher(NotifySettings::Load(QString::fromLocal8Bit(argv[1])), QString());
    while (!publisher.Connected()) QThread::msleep(20);
    std::printf("online\n");
    std::fflush(stdout);
    for (;;) QThread::sleep(1);
}
