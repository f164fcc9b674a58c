#include "ports/portnames.h"

#include "ports/portassignments.h"

namespace orvel {

QString devicePathForPort(int port) { return PortAssignments().devicePath(port); }

PortTarget windowPort(int port) {
    return {devicePathForPort(port), QStringLiteral("COM %1").arg(port)};
}

}  // namespace orvel
