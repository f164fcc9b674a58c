#pragma once

#include <QString>

#include "serial/serialbackend.h"

namespace orvel {

// The device that COM n stands for: the environment variable ORVEL_COM<n> when set, else
// the device the operator assigned to it (PortAssignments), else /dev/ttyS(n-1) (COMn on
// Windows).
QString devicePathForPort(int port);

// The window's COM n as the device it stands for now.
PortTarget windowPort(int port);

// Why the window's COM `port` could not be opened, said so that the operator knows what to
// do, with the ports present.
QString openFailureText(const PortResult &result, int port, const QString &path);
// The window's words for the port lost under it, and for a byte that cannot go out on it.
QString lostPortText(const PortTarget &target);
QString gonePortText(const PortTarget &target);

}  // namespace orvel
