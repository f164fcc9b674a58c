#include "ports/systemportenumerator.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>
#include <utility>

namespace orvel {

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
    std::sort(ports.begin(), ports.end(), [](const PortInfo &a, const PortInfo &b) {
        return a.devicePath < b.devicePath;
    });
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
