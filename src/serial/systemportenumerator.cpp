#include "serial/systemportenumerator.h"

#include "ports/portassignments.h"
#include "ports/portdescription.h"
#include "serial/deviceclaim.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>
#include <utility>

namespace orvel {
namespace {

void sortByDevice(QList<PortInfo> &ports) {
    std::sort(ports.begin(), ports.end(), [](const PortInfo &a, const PortInfo &b) {
        return a.devicePath < b.devicePath;
    });
}

}  // namespace

QList<PortInfo> withAssignedPorts(QList<PortInfo> listed, const PortAssignments &assignments) {
    for (int n = PortAssignments::kFirstPort; n <= PortAssignments::kLastPort; ++n) {
        const QString path = assignments.devicePath(n);
        if (findPort(listed, path)) continue;
        DeviceClaim claim;
        if (const Done<PortFailure> claimed = claim.claim(path);
            !claimed && claimed.why() != PortFailure::InUse)
            continue;
        PortInfo port;
        port.devicePath = claim.device();
        listed.append(port);
    }
    sortByDevice(listed);
    return listed;
}

SystemPortEnumerator::SystemPortEnumerator(QString byIdDir) : m_byIdDir(std::move(byIdDir)) {}

QList<PortInfo> SystemPortEnumerator::ports() const {
    const QHash<QString, QString> stable = stableNames(m_byIdDir);
    QList<PortInfo> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        PortInfo port;
        port.devicePath = info.systemLocation();
        const QString device = QFileInfo(port.devicePath).canonicalFilePath();
        port.byIdPath = stable.value(device.isEmpty() ? port.devicePath : device);
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        port.serialNumber = info.serialNumber();
        port.hasUsbIds = info.hasVendorIdentifier() && info.hasProductIdentifier();
        port.vendorId = info.vendorIdentifier();
        port.productId = info.productIdentifier();
        ports.append(port);
    }
    sortByDevice(ports);
    return ports;
}

QHash<QString, QString> SystemPortEnumerator::stableNames(const QString &dir) {
    QHash<QString, QString> names;
    const QDir links(dir);
    for (const QFileInfo &link : links.entryInfoList(QDir::System | QDir::Files, QDir::Name)) {
        if (!link.isSymLink()) continue;
        const QString device = link.canonicalFilePath();
        if (!device.isEmpty() && !names.contains(device)) names.insert(device, link.filePath());
    }
    return names;
}

}  // namespace orvel
