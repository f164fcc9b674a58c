#pragma once

#include <QString>
#include <optional>

#include "serial/serialbackend.h"

namespace orvel::cli {

// The port a command works on, resolved once from what the operator named: COM n as the
// window maps it (the assignments, or ORVEL_COM<n>), or a device path.
struct PortChoice {
    PortTarget target;  // the device, and "COM n" or the path as named
    QString label;      // for tables, the journal and messages: "COM 1 (/dev/ttyUSB0)" or the path
};

// "COM1", "com 2": the number; anything else: nothing.
std::optional<int> comNumber(const QString &text);

// COM1..COM4, a device path, or a name under /dev/serial/by-id (with or without the folder).
std::optional<PortChoice> choosePort(const QString &text, QString *error);

// Why the port could not be opened, in the command's words.
QString openFailureText(const Failure<PortFailure> &failure, const PortChoice &port);

}  // namespace orvel::cli
