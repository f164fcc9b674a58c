#include "ports/portdescription.h"

#include "ports/portassignments.h"

#include <QFileInfo>
#include <QStringList>

namespace orvel {

const PortInfo *findPort(const QList<PortInfo> &present, const QString &name) {
    if (name.isEmpty()) return nullptr;
    const QString device = QFileInfo(name).canonicalFilePath();
    for (const PortInfo &port : present) {
        if (port.isNamed(name) || (!device.isEmpty() && device == port.devicePath)) return &port;
    }
    return nullptr;
}

QString portLabel(const PortInfo &port) {
    QStringList details;
    for (const QString &detail : {port.description, port.manufacturer}) {
        if (!detail.isEmpty() && !details.contains(detail)) details.append(detail);
    }
    if (!port.serialNumber.isEmpty())
        details.append(QStringLiteral("serial number %1").arg(port.serialNumber));
    if (port.hasUsbIds) details.append(port.vidPid());
    if (!port.byIdPath.isEmpty()) details.append(port.byIdPath);
    if (details.isEmpty()) return port.devicePath;
    return QStringLiteral("%1 (%2)").arg(port.devicePath, details.join(QStringLiteral(", ")));
}

QString presentPortsText(const QList<PortInfo> &present) {
    if (present.isEmpty()) return QStringLiteral("No serial port is present.");
    QStringList labels;
    for (const PortInfo &port : present) labels.append(portLabel(port));
    return QStringLiteral("Serial ports present: %1.").arg(labels.join(QStringLiteral(", ")));
}

QString comPortToolTip(int port, const PortAssignments &assignments,
                       const QList<PortInfo> &present) {
    const PortAssignments::Resolution resolved = assignments.resolve(port);
    QString why;
    switch (resolved.source) {
    case PortAssignments::Source::Environment:
        why = QStringLiteral("set by %1").arg(PortAssignments::environmentVariable(port));
        break;
    case PortAssignments::Source::Assignment:
        why = QStringLiteral("chosen under Serial ports");
        break;
    case PortAssignments::Source::Default:
        why = QStringLiteral("the default");
        break;
    }
    const PortInfo *found = findPort(present, resolved.path);
    return QStringLiteral("COM %1 is %2 (%3): %4")
        .arg(port)
        .arg(resolved.path, why,
             found ? portLabel(*found) : QStringLiteral("not present now"));
}


QList<int> comsOf(const PortInfo &port, const PortAssignments &assignments) {
    QList<int> coms;
    for (int n = PortAssignments::kFirstPort; n <= PortAssignments::kLastPort; ++n)
        if (findPort({port}, assignments.devicePath(n))) coms.append(n);
    return coms;
}

QString portsListing(const QList<PortInfo> &present, const PortAssignments &assignments) {
    QString out = present.isEmpty() ? QStringLiteral("No serial port is present.\n")
                                    : QStringLiteral("Serial ports present:\n");
    for (const PortInfo &port : present) {
        QStringList coms;
        for (const int n : comsOf(port, assignments)) coms.append(QStringLiteral("COM %1").arg(n));
        out += QStringLiteral("  %1%2\n").arg(portLabel(port), coms.isEmpty()
                                                  ? QString()
                                                  : QStringLiteral(" = ") + coms.join(", "));
    }
    out += QStringLiteral("The window's ports:\n");
    for (int n = PortAssignments::kFirstPort; n <= PortAssignments::kLastPort; ++n)
        out += QStringLiteral("  %1\n").arg(comPortToolTip(n, assignments, present));
    return out;
}

}  // namespace orvel
