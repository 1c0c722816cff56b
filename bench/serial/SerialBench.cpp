// serial_bench: measures, on a pseudo-terminal,
//  1. the CPU time (getrusage, user + system, whole process) of one open, idle TComm over an
//     idle period (default 10 s; --idle-seconds N);
//  2. the latency from the last byte of a 5-byte burst written by the far end to the start of
//     its OnReceiveData, with InputLen 5 (the read ends on the length) and with InputLen 0 and
//     the 100 ms read interval (the read ends on silence), over --bursts N bursts (default 20);
//  3. the CPU time (all threads, scheduler figures) the port costs per reply with the station's
//     settings, when another process answers a 10-byte reply every 150 ms as the bus does while
//     it is read, over --replies N replies (default 100). Nothing is done with the replies, so
//     this is what the machine asks for the reading thread's two wake-ups per reply (its bytes,
//     then the silence that ends the read) and the user-interface thread's one: the floor under
//     the station's own CPU time per reading.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
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

// CPU time of all the process's threads so far, in milliseconds, from the scheduler's own
// accounting (nanoseconds, not the clock ticks of getrusage).
double ThreadsCpuMs() {
    double ms = 0;
    DIR* dir = opendir("/proc/self/task");
    if (!dir) return 0;
    while (dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        char path[300];
        std::snprintf(path, sizeof path, "/proc/self/task/%s/schedstat", e->d_name);
        if (FILE* f = std::fopen(path, "r")) {
            unsigned long long ns = 0;
            if (std::fscanf(f, "%llu", &ns) == 1) ms += double(ns) / 1e6;
            std::fclose(f);
        }
    }
    closedir(dir);
    return ms;
}

void HandOff(const Pty& pty, int replies) {
    const pid_t bus = fork();
    if (bus == 0) {
        // The far end: a reply every 150 ms, as the bus answers a read request sensor by sensor.
        const unsigned char reply[10] = {0x28, 0xC0, 0x01, 0x00, 0x00,
                                         0x00, 0x00, 0x14, 0x00, 0x5A};
        for (;;) {
            usleep(150000);
            if (write(pty.master, reply, sizeof reply) < 0) _exit(0);
        }
    }
    TComm comm;
    comm.SetCommName(pty.path);
    comm.SetBaudRate(2400);
    comm.SetInputLen(0);
    comm.SetReadIntervalTimeout(100);
    int got = 0;
    double startMs = 0;
    const int warmUp = 5;
    comm.OnReceiveData = [&](TComm*, const uint8_t*, uint16_t) {
        if (++got == warmUp) startMs = ThreadsCpuMs();
        if (got == warmUp + replies) QCoreApplication::quit();
    };
    comm.OpenComm();
    if (!comm.PortOpen()) {
        std::printf("open failed: %s\n", qPrintable(comm.PortOpenError()));
        kill(bus, SIGKILL);
        waitpid(bus, nullptr, 0);
        return;
    }
    QCoreApplication::exec();
    const double used = ThreadsCpuMs() - startMs;
    kill(bus, SIGKILL);
    waitpid(bus, nullptr, 0);
    std::printf("hand-off: %d replies every 150 ms, CPU %.3f ms per reply\n", replies,
                used / replies);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int idleSeconds = 10, bursts = 20, replies = 100;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--idle-seconds") == 0)
            idleSeconds = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--bursts") == 0)
            bursts = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--replies") == 0)
            replies = std::atoi(argv[++i]);
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
    HandOff(pty, std::max(1, replies));
    return 0;
}
