#include "support/memoryserial.h"

#include <utility>

namespace orvel {

Done<PortFailure> MemorySerial::open(const PortTarget &target) {
    if (!m_openError.isEmpty()) return Failure<PortFailure>{PortFailure::Other, m_openError};
    m_target = target;
    m_open = true;
    ++m_openCount;
    return {};
}

Done<PortFailure> MemorySerial::close() {
    if (!m_closeError.isEmpty()) return Failure<PortFailure>{PortFailure::Other, m_closeError};
    m_open = false;
    m_received.clear();
    return {};
}

Done<PortFailure> MemorySerial::write(char byte) {
    if (!m_open) return Failure<PortFailure>{PortFailure::NotOpen, {}};
    if (!m_writeError.isEmpty()) return Failure<PortFailure>{PortFailure::Other, m_writeError};
    m_written.append(byte);
    return {};
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
