// The machine's serial ports as device paths: the one list used by TComm's port list
// (CommPortCount, CommPortIndex, CommPortName) and by the main window's ListSerialPorts.
#pragma once

#include <QStringList>

// Rule:
//  * When the environment variable SENSORBUS_PORTS is set, its device paths (separated by ':',
//    empty items skipped) are the list and the kernel's list is not read. This is how the bus
//    simulator and the tests offer pseudo-terminals; tests never touch real devices.
//  * Otherwise the entries of /sys/class/tty that have a `device` link (real hardware), as
//    /dev/<name>, leaving out the kernel's active console (/sys/class/tty/console/active and
//    /proc/consoles) and ports with no UART behind them (serial core ports whose type is
//    PORT_UNKNOWN: read from /sys/class/tty/<name>/type, else by a non-blocking open and
//    TIOCGSERIAL that is closed again at once).
// Sorted as text in the user's locale ignoring case (QCollator, case-insensitive, numeric off),
// so COM10 sorts between COM1 and COM2. Duplicates are removed.
QStringList ListPlatformSerialPorts();

// Why a port that would not open cannot be opened, when the reason is not that another program
// holds it: a Chinese sentence for the operator ("通信口 … 不存在", or no permission, naming the
// group of serial-port users), or empty.
QString PortOpenProblem(const QString& path);

// The sort used above, exposed for tests.
void SortPortNames(QStringList& names);
