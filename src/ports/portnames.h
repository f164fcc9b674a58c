#pragma once

#include <QString>

#include "ports/portfailure.h"

namespace orvel {

// The device that COM n stands for: the environment variable ORVEL_COM<n> when set, else
// the device the operator assigned to it (PortAssignments), else /dev/ttyS(n-1) (COMn on
// Windows).
QString devicePathForPort(int port);

// The window's COM n as the device it stands for now.
PortTarget windowPort(int port);

}  // namespace orvel
