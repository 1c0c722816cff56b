// A pseudo-terminal pair for the serial tests: the slave path is the "port" a TComm opens,
// the master is the far end of the line. A slave descriptor is kept open so that the pty does
// not report a hangup between opens.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QByteArray>
#include <QString>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

class PtyPair {
  public:
    PtyPair() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return;
        path = QString::fromLocal8Bit(::ptsname(master));
        slaveKeep = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios t{};
        ::tcgetattr(slaveKeep, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slaveKeep, TCSANOW, &t);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPair() { CloseAll(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master >= 0 && slaveKeep >= 0; }

    // The peer writes bytes onto the line.
    void Write(const QByteArray& bytes) const {
        size_t off = 0;
        while (off < size_t(bytes.size())) {
            const ssize_t w = ::write(master, bytes.constData() + off, bytes.size() - off);
            if (w > 0)
                off += size_t(w);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    // Reads what the station wrote, until `count` bytes arrived or `timeoutMs` passed.
    QByteArray Read(int count, int timeoutMs = 2000) const {
        QByteArray out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (out.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 10) > 0) {
                char buf[65536];
                const ssize_t r = ::read(master, buf, sizeof buf);
                if (r > 0) out.append(buf, int(r));
            }
        }
        return out;
    }
    // Drains without waiting.
    QByteArray ReadAvailable() const { return Read(1 << 30, 50); }

    // The device vanishes: master and our slave descriptor are closed.
    void CloseAll() {
        if (master >= 0) ::close(master);
        if (slaveKeep >= 0) ::close(slaveKeep);
        master = slaveKeep = -1;
    }

    int master = -1;
    int slaveKeep = -1;
    QString path;
};
