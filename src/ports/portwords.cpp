#include "ports/portwords.h"

namespace orvel {

QString openFailureWords(const Failure<PortFailure> &failure, const QString &path) {
    switch (failure.why) {
        case PortFailure::Missing:
            return QStringLiteral("there is no device %1").arg(path);
        case PortFailure::NotSerialPort:
            return QStringLiteral("%1 is not a serial port").arg(path);
        case PortFailure::PermissionDenied:
            return QStringLiteral("permission to use %1 is denied").arg(path);
        case PortFailure::InUse:
            return QStringLiteral("%1 is in use by another program").arg(path);
        default:
            return failure.words;
    }
}

QString lostPortWords() {
    return QStringLiteral("the adapter was unplugged or the device hung up");
}

}  // namespace orvel
