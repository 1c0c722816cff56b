// Finds a running copy of the station on this computer. The running copy holds a lock named
// after its main window class for its whole life; the kernel drops the lock with the process,
// so a copy that crashed never blocks the next start, and any user's copy is found.
#pragma once

#include <QString>

class SingleInstance {
  public:
    // Takes the lock called name; false when another process holds it.
    bool Acquire(const QString& name);
    ~SingleInstance();

  private:
    int fd_ = -1;
};
