#pragma once

#include <QString>
#include <optional>

#include "outcome/outcome.h"
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

// Why a text names no port; the words are the text.
enum class PortChoiceFailure { NoPort };

// COM1..COM4, a device path, or a name under /dev/serial/by-id (with or without the folder).
Outcome<PortChoice, PortChoiceFailure> choosePort(const QString &text);

// Why the port could not be opened, in the command's words.
QString openFailureText(const Failure<PortFailure> &failure, const PortChoice &port);

}  // namespace orvel::cli
