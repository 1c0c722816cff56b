// Small helpers shared by the tests: temporary folders and waiting on the event loop.
#pragma once

#include <QString>
#include <functional>

namespace testsupport {

// Runs the event loop until pred() holds or timeoutMs passes; returns pred().
bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 5000);

// Folder holding the built programs (build/bin), as CTest passes it.
QString BinDir();

// Root of the source tree, as CTest passes it.
QString SourceDir();

}  // namespace testsupport
