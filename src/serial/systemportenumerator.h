#pragma once

#include "ports/portenumerator.h"

#include <QHash>

namespace orvel {

class PortAssignments;

// `listed`, and each device that COM 1 to COM 4 stand for which `listed` lacks but which
// opens as a serial device (a pseudo-terminal, a link to one): a port is present whatever
// its name. A device in use by another program counts as present.
QList<PortInfo> withAssignedPorts(QList<PortInfo> listed, const PortAssignments &assignments);

// The ports the system reports, each with its stable name from /dev/serial/by-id.
class SystemPortEnumerator final : public PortEnumerator {
public:
    explicit SystemPortEnumerator(QString byIdDir = QStringLiteral("/dev/serial/by-id"));
    QList<PortInfo> ports() const override;

    // Device (symbolic links resolved) -> the link in `dir` that leads to it.
    static QHash<QString, QString> stableNames(const QString &dir);

private:
    QString m_byIdDir;
};

}  // namespace orvel
