#pragma once

#include "ports/portinfo.h"

#include <QList>

namespace orvel {

class PortAssignments;

// The present port that `name` stands for (its path, its stable name, or a link to it).
const PortInfo *findPort(const QList<PortInfo> &present, const QString &name);

// "/dev/ttyUSB0 (FT232R USB UART, FTDI, serial number A10K, 0403:6001, /dev/serial/by-id/...)"
QString portLabel(const PortInfo &port);

// "Serial ports present: ..." or "No serial port is present.", for the open failure texts.
QString presentPortsText(const QList<PortInfo> &present);

// The COM numbers that stand for `port`, in order.
QList<int> comsOf(const PortInfo &port, const PortAssignments &assignments);

// What `orvel ports` prints: each port present with the COM numbers that stand for it
// ("/dev/ttyS0 = COM 1, COM 2"), then what each of COM 1 to COM 4 is.
QString portsListing(const QList<PortInfo> &present, const PortAssignments &assignments);

// The tooltip of the COM option `port`: the device it stands for, why, and whether it is there.
QString comPortToolTip(int port, const PortAssignments &assignments,
                       const QList<PortInfo> &present);

}  // namespace orvel
