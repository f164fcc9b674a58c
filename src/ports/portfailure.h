#pragma once

#include "outcome/outcome.h"

#include <QString>

namespace orvel {

// The device to open, named where the operator chose it, and what to call it: "COM 1" in
// the window, the path or COM n in the command.
struct PortTarget {
    QString path;
    QString name;
};

// What failed with a port. The system's own words go with it; the window and the command
// each say it their way.
enum class PortFailure {
    Missing,           // no device by that name
    NotSerialPort,     // a file, a folder, or a device that is no serial line
    PermissionDenied,  // not ours to use
    InUse,             // another opener holds it
    Lost,              // it went away under us: the adapter unplugged, the device hung up
    NotOpen,           // a byte for a port that is not open
    AlreadyOpen,       // the port number changes only while the port is closed
    NoSuchPort,        // a port number with no port behind it
    Other,             // the words say what
};

}  // namespace orvel
