#include "serial/portnames.h"

#include <QtGlobal>

namespace orvel {

QString devicePathForPort(int port) {
    const QByteArray name = "ORVEL_COM" + QByteArray::number(port);
    const QString configured = qEnvironmentVariable(name.constData());
    if (!configured.isEmpty()) return configured;
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

QString openFailureText(OpenFailure failure, int port, const QString &path,
                        const QString &systemText) {
    switch (failure) {
    case OpenFailure::Missing:
        return QStringLiteral(
                   "COM %1 cannot be opened: there is no device %2.\n\n"
                   "COM %1 is %3 unless the environment variable ORVEL_COM%1 names another "
                   "device. A USB serial adapter is usually /dev/ttyUSB0 or /dev/ttyACM0; the "
                   "names under /dev/serial/by-id/ stay the same when it is plugged in again. "
                   "Start the program with, for example, ORVEL_COM%1=/dev/ttyUSB0.")
            .arg(port)
            .arg(path, QStringLiteral("/dev/ttyS%1").arg(port - 1));
    case OpenFailure::PermissionDenied:
        return QStringLiteral(
                   "COM %1 cannot be opened: permission to use %2 is denied.\n\n"
                   "Your user must be in the group that owns %2 (usually dialout): for "
                   "example 'sudo usermod -aG dialout $USER', then log out and in again.")
            .arg(port)
            .arg(path);
    case OpenFailure::InUse:
        return QStringLiteral(
                   "COM %1 cannot be opened: %2 is in use by another program.\n\n"
                   "Close the other program (or the other window of this one) and connect "
                   "again.")
            .arg(port)
            .arg(path);
    case OpenFailure::Other:
        break;
    }
    return QStringLiteral("COM %1 (%2): %3").arg(port).arg(path, systemText);
}

}  // namespace orvel
