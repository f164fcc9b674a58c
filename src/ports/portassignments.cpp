#include "ports/portassignments.h"

#include <QCoreApplication>
#include <QSettings>

namespace orvel {
namespace {

// main() names only the application; it then serves as the organisation too, so that
// the settings land in a folder of the program's own.
QSettings programSettings() {
    const QString application = QCoreApplication::applicationName();
    const QString organisation = QCoreApplication::organizationName();
    return QSettings(organisation.isEmpty() ? application : organisation, application);
}

QString key(int port) { return QStringLiteral("ports/com%1").arg(port); }

}  // namespace

PortAssignments::PortAssignments() {
    const QSettings settings = programSettings();
    for (int port = kFirstPort; port <= kLastPort; ++port)
        m_assigned[port] = settings.value(key(port)).toString();
}

QString PortAssignments::assigned(int port) const {
    return isPort(port) ? m_assigned[port] : QString();
}

void PortAssignments::assign(int port, const QString &device) {
    if (isPort(port)) m_assigned[port] = device;
}

void PortAssignments::save() const {
    QSettings settings = programSettings();
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        if (m_assigned[port].isEmpty()) settings.remove(key(port));
        else settings.setValue(key(port), m_assigned[port]);
    }
}

QString PortAssignments::settingsFile() { return programSettings().fileName(); }

PortAssignments::Resolution PortAssignments::resolve(int port) const {
    if (const QString configured = environmentOverride(port); !configured.isEmpty())
        return {configured, Source::Environment};
    if (const QString device = assigned(port); !device.isEmpty())
        return {device, Source::Assignment};
    return {defaultPath(port), Source::Default};
}

QString PortAssignments::defaultPath(int port) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

QString PortAssignments::environmentVariable(int port) {
    return QStringLiteral("ORVEL_COM%1").arg(port);
}

QString PortAssignments::environmentOverride(int port) {
    return qEnvironmentVariable(environmentVariable(port).toLatin1().constData());
}

}  // namespace orvel
