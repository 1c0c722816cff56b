// The real station program started from a program folder of its own inside a network namespace
// of its own (`unshare -n`), so that several copies run on one computer at once: the program
// allows one copy per network namespace. It reaches nothing on the network but what every
// namespace sees, such as a broker's Unix socket. The process is killed when the object goes, so
// a failing test leaves nothing running.
#pragma once

#include <QProcess>
#include <QString>

#include "NotifyFolder.h"

class NamespacedStation {
  public:
    // Copies the built program into the folder.
    NamespacedStation();
    ~NamespacedStation();

    const NotifyFolder& Folder() const { return folder_; }
    // Starts the program on the given serial port, off-screen, with sound into nothing.
    bool Start(const QString& port);
    bool Running() const { return process_.state() == QProcess::Running; }
    // SIGKILL: the program ends without a word to anyone.
    void Kill();
    // What the program printed so far.
    QString Output();

    // unshare needs the right to make namespaces (root here).
    static bool CanRun();

  private:
    NotifyFolder folder_;
    QProcess process_;
    QString output_;
};
