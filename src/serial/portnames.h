#pragma once

#include <QString>

namespace orvel {

// The device that COM n stands for: COMn on Windows; on Linux /dev/ttyS(n-1) unless
// the environment variable ORVEL_COM<n> names another device.
QString devicePathForPort(int port);

// Why a port could not be opened, said so that the operator knows what to do.
enum class OpenFailure { Missing, PermissionDenied, InUse, Other };
QString openFailureText(OpenFailure failure, int port, const QString &path,
                        const QString &systemText);

}  // namespace orvel
