// The computer's serial ports, as device paths sorted as text without regard to case.
#pragma once

#include <QStringList>

// When SENSORBUS_PORTS is set (paths separated by ':'), its ports are the list and the kernel's
// list is not read; the bus simulator and the tests offer their pseudo-terminals this way.
// Otherwise the kernel's serial devices with real hardware behind them.
QStringList ListPlatformSerialPorts();
