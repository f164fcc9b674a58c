#pragma once

#include <QString>
#include <optional>

namespace orvel::cli {

// The port a command works on. The serial backend opens ports by their COM number, so a
// device given by its path is opened as the COM number that already stands for it, or
// else as COM 1 with ORVEL_COM1 set to it for this process.
struct PortChoice {
    int number = 1;
    QString path;   // the device as given or as COM n resolves
    QString label;  // for tables, the journal and messages: "COM 1 (/dev/ttyUSB0)" or the path
    bool byPath = false;
};

// "COM1", "com 2": the number; anything else: nothing.
std::optional<int> comNumber(const QString &text);

// COM1..COM4, a device path, or a name under /dev/serial/by-id (with or without the folder).
std::optional<PortChoice> choosePort(const QString &text, QString *error);

}  // namespace orvel::cli
