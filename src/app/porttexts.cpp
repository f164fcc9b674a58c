#include "app/porttexts.h"

#include "ports/portassignments.h"
#include "ports/portdescription.h"
#include "ports/portwords.h"

namespace orvel {
namespace {

QString howToChooseAnother(int port) {
    return QStringLiteral(
               "Choose the device for COM %1 under Serial ports, or start the program with, "
               "for example, ORVEL_COM%1=/dev/ttyUSB0 (the variable wins over the choice); "
               "without either, COM %1 is %2. A USB serial adapter is usually /dev/ttyUSB0 or "
               "/dev/ttyACM0; the names under /dev/serial/by-id/ stay the same when it is "
               "plugged in again.")
        .arg(port)
        .arg(PortAssignments::defaultPath(port));
}

QString reasonText(const Failure<PortFailure> &failure, int port, const QString &path) {
    const QString cannot = QStringLiteral("COM %1 cannot be opened: %2.\n\n")
                               .arg(QString::number(port), openFailureWords(failure, path));
    switch (failure.why) {
    case PortFailure::Missing:
    case PortFailure::NotSerialPort:
        return cannot + howToChooseAnother(port);
    case PortFailure::PermissionDenied:
        return cannot + QStringLiteral("Your user must be in the group that owns %1 (usually "
                                       "dialout): for example 'sudo usermod -aG dialout $USER', "
                                       "then log out and in again.")
                            .arg(path);
    case PortFailure::InUse:
        return cannot + QStringLiteral("Close the other program (or the other window of this "
                                       "one) and connect again.");
    default:
        break;
    }
    return QStringLiteral("COM %1 (%2): %3").arg(port).arg(path, failure.words);
}

}  // namespace

QString openFailureText(const Failure<PortFailure> &failure, int port, const QString &path,
                        const QList<PortInfo> &present) {
    return reasonText(failure, port, path) + QStringLiteral("\n\n") + presentPortsText(present);
}

QString portFailureText(const Failure<PortFailure> &failure, const PortTarget &target) {
    switch (failure.why) {
    case PortFailure::Lost:
        return QStringLiteral("%1 (%2) is gone: the device was unplugged or hung up. "
                              "Disconnect, check the cable, and connect again.")
            .arg(target.name, target.path);
    case PortFailure::NotOpen:
        return QStringLiteral("The port is not open.");
    case PortFailure::AlreadyOpen:
        return QStringLiteral("The port is already open.");
    case PortFailure::NoSuchPort:
        return QStringLiteral("Invalid port number.");
    default:
        return failure.words;
    }
}

QString lostPortText(const PortTarget &target) {
    return QStringLiteral("%1 (%2) is lost: %3, and it is disconnected. Check the cable, then "
                          "connect again.")
        .arg(target.name, target.path, lostPortWords());
}

}  // namespace orvel
