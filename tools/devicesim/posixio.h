#pragma once

#include "devicesim/devicemodel.h"

#include <cstddef>
#include <string>
#include <time.h>

// The few system calls every part of the simulator's I/O shares.
namespace orvel::devicesim {

void complain(const std::string &what);
// `what` and the system's words for errno.
std::string withErrno(const std::string &what);
bool writeAll(int fd, const void *data, std::size_t size);
Micros monotonicNow();
timespec toTimespec(Micros d);

}  // namespace orvel::devicesim
