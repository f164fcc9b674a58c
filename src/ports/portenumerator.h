#pragma once

#include "ports/portinfo.h"

#include <QList>

namespace orvel {

// The serial ports present now. The system's list and the tests' fake both sit behind it.
class PortEnumerator {
public:
    virtual ~PortEnumerator() = default;
    virtual QList<PortInfo> ports() const = 0;
};

}  // namespace orvel
