// Makes a folder read-only for the test process, the way a write-protected installation or a
// read-only mount is for the station: a read-only bind mount of the folder over itself, in a
// mount namespace of the process's own (so nothing outside the test sees it). Needs root;
// Available() says whether it could be set up.
#pragma once

#include <QString>

class ReadOnlyMount {
  public:
    explicit ReadOnlyMount(const QString& folder);
    ~ReadOnlyMount();
    ReadOnlyMount(const ReadOnlyMount&) = delete;
    ReadOnlyMount& operator=(const ReadOnlyMount&) = delete;

    bool Available() const { return mounted_; }
    // Makes the folder writable again (the bind mount goes away).
    void Release();

  private:
    QString folder_;
    bool mounted_ = false;
};
