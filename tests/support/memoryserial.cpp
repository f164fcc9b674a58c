#include "support/memoryserial.h"

#include <utility>

namespace orvel {

PortResult MemorySerial::open(const PortTarget &target) {
    if (!m_openError.isEmpty()) return {PortFailure::Other, m_openError, {}};
    m_target = target;
    m_open = true;
    ++m_openCount;
    return {};
}

bool MemorySerial::close(QString *error) {
    if (!m_closeError.isEmpty()) {
        *error = m_closeError;
        return false;
    }
    m_open = false;
    m_received.clear();
    ++m_closeCount;
    return true;
}

bool MemorySerial::write(char byte, QString *error) {
    if (!m_open) {
        *error = QStringLiteral("The port is not open.");
        return false;
    }
    if (!m_writeError.isEmpty()) {
        *error = m_writeError;
        return false;
    }
    m_written.append(byte);
    if (m_onWrite) m_onWrite(byte);
    return true;
}

QByteArray MemorySerial::readAll() { return std::exchange(m_received, {}); }

bool MemorySerial::awaitMore(QByteArray &into, std::chrono::microseconds wait) {
    if (!m_open || !m_onAwait) return false;
    const QByteArray arrived = m_onAwait(wait);
    into.append(arrived);
    return !arrived.isEmpty();
}

void MemorySerial::deliver(const QByteArray &bytes) {
    if (!m_open || bytes.isEmpty()) return;
    m_received.append(bytes);
    emit readyRead();
}

}  // namespace orvel
