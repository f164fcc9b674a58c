#pragma once

#include <QString>

#include "ports/portfailure.h"

// The words for a failed port that the window and the command share; each front end puts
// them in its own sentence and adds its own advice.
namespace orvel {

// Why the device `path` could not be opened: "there is no device /dev/ttyUSB0",
// "/dev/ttyUSB0 is not a serial port", "permission to use /dev/ttyUSB0 is denied",
// "/dev/ttyUSB0 is in use by another program"; else the system's own words.
QString openFailureWords(const Failure<PortFailure> &failure, const QString &path);

// What became of a port lost under us: "the adapter was unplugged or the device hung up".
QString lostPortWords();

}  // namespace orvel
