#pragma once

#include "ports/portfailure.h"

#include <QString>

namespace orvel {

// Keeps a serial device to one opener, whatever name it is opened under. The serial port's
// own lock file goes by the name, and root passes through a line's exclusive mode, so a
// second program reaching the same device through a link would take the line unnoticed.
// The claim resolves the name and holds an exclusive lock on the device itself, which
// binds root too. It also refuses what is no serial port: a file, a folder, /dev/null,
// the pseudo-terminal multiplexer.
class DeviceClaim {
public:
    DeviceClaim() = default;
    ~DeviceClaim() { release(); }
    DeviceClaim(const DeviceClaim &) = delete;
    DeviceClaim &operator=(const DeviceClaim &) = delete;

    Done<PortFailure> claim(const QString &path);
    void release();

    // The device behind the name last claimed, links resolved.
    const QString &device() const { return m_device; }

private:
    int m_fd = -1;
    QString m_device;
};

}  // namespace orvel
