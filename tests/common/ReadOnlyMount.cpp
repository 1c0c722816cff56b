#include "ReadOnlyMount.h"

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QFile>

namespace {

bool PrivateMountNamespace() {
    static const bool done = [] {
        if (::geteuid() != 0) return false;
        if (::unshare(CLONE_NEWNS) != 0) return false;
        return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }();
    return done;
}

}  // namespace

ReadOnlyMount::ReadOnlyMount(const QString& folder) : folder_(folder) {
    if (!PrivateMountNamespace()) return;
    const QByteArray path = QFile::encodeName(folder_);
    if (::mount(path.constData(), path.constData(), nullptr, MS_BIND, nullptr) != 0) return;
    if (::mount(nullptr, path.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) !=
        0) {
        ::umount2(path.constData(), MNT_DETACH);
        return;
    }
    mounted_ = true;
}

ReadOnlyMount::~ReadOnlyMount() {
    Release();
}

void ReadOnlyMount::Release() {
    if (!mounted_) return;
    ::umount2(QFile::encodeName(folder_).constData(), MNT_DETACH);
    mounted_ = false;
}
