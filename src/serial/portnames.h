#pragma once

#include <QString>

namespace orvel {

// The device that COM n stands for: the environment variable ORVEL_COM<n> when set, else
// the device the operator assigned to it (PortAssignments), else /dev/ttyS(n-1) (COMn on
// Windows).
QString devicePathForPort(int port);

// Why a port could not be opened, said so that the operator knows what to do.
enum class OpenFailure { Missing, NotSerialPort, PermissionDenied, InUse, Other };
QString openFailureText(OpenFailure failure, int port, const QString &path,
                        const QString &systemText);

}  // namespace orvel
