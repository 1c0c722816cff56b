#include "SingleInstance.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

bool SingleInstance::Acquire(const QString& name) {
    if (fd_ >= 0) return true;
    // An abstract-namespace socket: visible to every user of the machine, no file to leave
    // behind, released by the kernel when the process ends in any way.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return true;  // cannot check: do not refuse to run
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray id = "sensorbus-station." + name.toUtf8();
    const size_t len = qMin<size_t>(id.size(), sizeof(addr.sun_path) - 1);
    std::memcpy(addr.sun_path + 1, id.constData(), len);
    const socklen_t addrLen = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + len);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), addrLen) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

SingleInstance::~SingleInstance() {
    if (fd_ >= 0) ::close(fd_);
}
