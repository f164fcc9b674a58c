#include "app/porttexts.h"

#include "ports/portassignments.h"
#include "ports/portdescription.h"

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
    switch (failure.why) {
    case PortFailure::Missing:
        return QStringLiteral("COM %1 cannot be opened: there is no device %2.\n\n")
                   .arg(port)
                   .arg(path) +
               howToChooseAnother(port);
    case PortFailure::NotSerialPort:
        return QStringLiteral("COM %1 cannot be opened: %2 is not a serial port.\n\n")
                   .arg(port)
                   .arg(path) +
               howToChooseAnother(port);
    case PortFailure::PermissionDenied:
        return QStringLiteral(
                   "COM %1 cannot be opened: permission to use %2 is denied.\n\n"
                   "Your user must be in the group that owns %2 (usually dialout): for "
                   "example 'sudo usermod -aG dialout $USER', then log out and in again.")
            .arg(port)
            .arg(path);
    case PortFailure::InUse:
        return QStringLiteral(
                   "COM %1 cannot be opened: %2 is in use by another program.\n\n"
                   "Close the other program (or the other window of this one) and connect "
                   "again.")
            .arg(port)
            .arg(path);
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
    return QStringLiteral("%1 (%2) is lost: the adapter was unplugged or the device hung up, "
                          "and it is disconnected. Check the cable, then connect again.")
        .arg(target.name, target.path);
}

}  // namespace orvel
