#include "cli/bytelog.h"

#include <QDateTime>

namespace orvel::cli {

QString ByteLog::open(const QString &path) {
    m_file.setFileName(path);
    if (m_file.open(QIODevice::WriteOnly | QIODevice::Append)) return {};
    return QStringLiteral("%1 cannot be opened for the log: %2").arg(path, m_file.errorString());
}

void ByteLog::add(const char *direction, QByteArrayView bytes) {
    if (!m_file.isOpen() || bytes.isEmpty()) return;
    const QByteArray time = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toLatin1();
    QByteArray lines;
    for (const char byte : bytes)
        lines += time + ' ' + direction + ' ' + QByteArray::number(quint8(byte)) + '\n';
    m_file.write(lines);
}

}  // namespace orvel::cli
