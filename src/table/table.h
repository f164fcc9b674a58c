#pragma once

#include "numbers/objects.h"

#include <QDateTime>
#include <QString>
#include <QtGlobal>
#include <map>

namespace orvel {

using objects::kFirst;
using objects::kFirstSetting;
using objects::kLast;
using objects::kLastSetting;

// What was read from a device: when, through which port, and the cells actually read.
struct Table {
    QDateTime readAt;                // kept to the second
    QString port;                    // as the window names it, e.g. "COM 1 (/dev/ttyUSB0)"
    std::map<int, quint8> objects;   // object 1..8175 -> value
    std::map<int, quint8> settings;  // settings cell 8176..8191 -> value
    QString profileName;             // the profile it was saved under; empty for none
    QString profileVersion;          // that profile's version; empty exactly when the name is

    bool operator==(const Table &) const = default;
};

}  // namespace orvel
