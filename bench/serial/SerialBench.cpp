// serial_bench: measures, on a pseudo-terminal,
//  1. the CPU time (getrusage, user + system, whole process) of one open, idle TComm over an
//     idle period (default 10 s; --idle-seconds N);
//  2. the latency from the last byte of a 5-byte burst written by the far end to the start of
//     its OnReceiveData, with InputLen 5 (the read ends on the length) and with InputLen 0 and
//     the 100 ms read interval (the read ends on silence), over --bursts N bursts (default 20).
#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "TComm.h"

namespace {

double CpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

struct Pty {
    int master = -1, slave = -1;
    QString path;
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master);
        unlockpt(master);
        path = QString::fromLocal8Bit(ptsname(master));
        slave = open(ptsname(master), O_RDWR | O_NOCTTY);
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
    }
    ~Pty() {
        close(master);
        close(slave);
    }
};

void Latency(const Pty& pty, uint16_t inputLen, int bursts) {
    TComm comm;
    comm.SetCommName(pty.path);
    comm.SetInputLen(inputLen);
    comm.SetReadIntervalTimeout(100);
    QElapsedTimer clock;
    qint64 sentAt = 0;
    std::vector<double> ms;
    int got = 0;
    comm.OnReceiveData = [&](TComm*, const uint8_t*, uint16_t) {
        ms.push_back(double(clock.nsecsElapsed() - sentAt) / 1e6);
        ++got;
    };
    comm.OpenComm();
    if (!comm.PortOpen()) {
        std::printf("open failed: %s\n", qPrintable(comm.PortOpenError()));
        return;
    }
    clock.start();
    for (int i = 0; i < bursts; ++i) {
        const int before = got;
        const unsigned char burst[5] = {0x0A, 0x1B, 0x2C, 0x01, 0x91};
        sentAt = clock.nsecsElapsed();
        [[maybe_unused]] ssize_t w = write(pty.master, burst, sizeof burst);
        QElapsedTimer wait;
        wait.start();
        while (got == before && wait.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        QThread::msleep(150);
        QCoreApplication::processEvents();
    }
    std::sort(ms.begin(), ms.end());
    if (ms.empty()) return;
    std::printf("latency InputLen=%-4u bursts=%zu  min %.3f ms  median %.3f ms  max %.3f ms\n",
                unsigned(comm.InputLen()), ms.size(), ms.front(), ms[ms.size() / 2], ms.back());
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int idleSeconds = 10, bursts = 20;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--idle-seconds") == 0)
            idleSeconds = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--bursts") == 0)
            bursts = std::atoi(argv[++i]);
    }
    Pty pty;
    {
        TComm comm;
        comm.SetCommName(pty.path);
        comm.OpenComm();
        if (!comm.PortOpen()) {
            std::printf("open failed: %s\n", qPrintable(comm.PortOpenError()));
            return 1;
        }
        QThread::msleep(200);
        QCoreApplication::processEvents();
        const double before = CpuSeconds();
        QThread::sleep(
            unsigned(idleSeconds));  // the UI thread sleeps; only the port's threads could run
        const double used = CpuSeconds() - before;
        std::printf("idle open port: %d s, CPU %.3f ms (%.5f %%)\n", idleSeconds, used * 1000.0,
                    used * 100.0 / idleSeconds);
    }
    Latency(pty, 5, bursts);
    Latency(pty, 0, bursts);
    return 0;
}
