#pragma once

#include <QString>

namespace orvel {

// One serial port present on this machine, as the operator can recognise it.
struct PortInfo {
    QString devicePath;  // e.g. /dev/ttyUSB0
    QString byIdPath;    // the name under /dev/serial/by-id that survives replugging; may be empty
    QString description;
    QString manufacturer;
    QString serialNumber;
    bool hasUsbIds = false;
    quint16 vendorId = 0;
    quint16 productId = 0;

    // "0403:6001", or empty when the port is not on USB.
    QString vidPid() const;
    // The name to remember the port by: the stable one where there is one.
    QString preferredName() const { return byIdPath.isEmpty() ? devicePath : byIdPath; }
    bool isNamed(const QString &name) const {
        return !name.isEmpty() && (name == devicePath || name == byIdPath);
    }
    bool operator==(const PortInfo &) const = default;
};

}  // namespace orvel
