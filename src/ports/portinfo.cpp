#include "ports/portinfo.h"

namespace orvel {

QString PortInfo::vidPid() const {
    if (!hasUsbIds) return {};
    return QStringLiteral("%1:%2")
        .arg(vendorId, 4, 16, QLatin1Char('0'))
        .arg(productId, 4, 16, QLatin1Char('0'));
}

}  // namespace orvel
