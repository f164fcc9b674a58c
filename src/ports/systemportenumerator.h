#pragma once

#include "ports/portenumerator.h"

#include <QHash>

namespace orvel {

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
