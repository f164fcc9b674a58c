#include "serial/mscomm.h"

#include <QElapsedTimer>
#include <QMetaObject>

namespace orvel {
namespace {

// A burst is handed over for at most this long before the window gets a turn.
constexpr qint64 kSliceNanoseconds = 8'000'000;
// How long a notification waits for the device's next byte before it gives the event loop
// its turn. On a fast line the device answers within tens of microseconds: answering it
// here costs one wait on the port instead of a whole pass of the event loop (timers,
// posted events, repaints) between every byte and its answer. On a slow line the wait
// runs out, and the byte comes through the event loop as before.
constexpr std::chrono::microseconds kAwaitNextByte{1000};

}  // namespace

MSComm::MSComm(std::unique_ptr<SerialBackend> backend, qint16 commPort, QObject *parent)
    : QObject(parent), m_backend(std::move(backend)), m_commPort(commPort) {
    m_backend->setParent(nullptr);
    connect(m_backend.get(), &SerialBackend::readyRead, this, &MSComm::receive);
    connect(m_backend.get(), &SerialBackend::lineEvent, this, [this](int code) {
        m_lineEvents.append(static_cast<qint16>(code));
        deliver(false);
    });
}

MSComm::~MSComm() = default;

bool MSComm::PortOpen() const { return m_backend->isOpen(); }

void MSComm::setPortOpen(bool open) {
    if (open == m_backend->isOpen()) return;
    QString error;
    if (open) {
        if (!m_backend->open(m_commPort, &error)) throw SerialError(error);
    } else {
        if (!m_backend->close(&error)) throw SerialError(error);
        // Closing a port discards what it had received.
        m_rx.clear();
        m_rxPos = 0;
    }
}

void MSComm::setCommPort(qint16 port) {
    if (m_backend->isOpen()) throw SerialError(QStringLiteral("The port is already open."));
    if (port < 1 || port > 16) throw SerialError(QStringLiteral("Invalid port number."));
    m_commPort = port;
}

void MSComm::Output(char byte) {
    QString error;
    if (!m_backend->write(byte, &error)) throw SerialError(error);
}

QByteArray MSComm::Input() {
    const int byte = takeByte();
    return byte < 0 ? QByteArray() : QByteArray(1, char(byte));
}

int MSComm::takeByte() {
    if (m_rxPos >= m_rx.size()) return -1;
    ++m_consumed;
    return quint8(m_rx.at(m_rxPos++));
}

void MSComm::receive() {
    m_backend->takeReceived(m_rx);
    deliver(true);
}

void MSComm::deliver(bool awaitNextByte) {
    m_deliveryScheduled = false;
    if (m_delivering || m_holds > 0) return;  // the running reaction finishes first
    m_delivering = true;
    QElapsedTimer slice;
    slice.start();
    int sinceCheck = 0;
    for (;;) {
        if (!m_lineEvents.isEmpty()) {
            m_commEvent = m_lineEvents.takeFirst();
            emit OnComm();
            continue;
        }
        if (m_rxPos >= m_rx.size()) {
            // All handed over. Keep the buffer's room: no allocation per byte.
            m_rx.resize(0);
            m_rxPos = 0;
            if (!awaitNextByte || m_holds > 0 || slice.nsecsElapsed() > kSliceNanoseconds ||
                !m_backend->awaitMore(m_rx, kAwaitNextByte))
                break;
            continue;
        }
        const quint64 consumedBefore = m_consumed;
        m_commEvent = kReceive;
        emit OnComm();
        // A notification nobody answered still uses up its byte, or we would loop here.
        if (m_consumed == consumedBefore && m_rxPos < m_rx.size()) ++m_rxPos;
        if (m_holds > 0) break;
        if (++sinceCheck == 64) {
            sinceCheck = 0;
            if (slice.nsecsElapsed() > kSliceNanoseconds) break;
        }
    }
    if (m_rxPos >= m_rx.size()) {
        m_rx.resize(0);
        m_rxPos = 0;
    } else if (m_rxPos > 65536) {
        m_rx.remove(0, m_rxPos);
        m_rxPos = 0;
    }
    m_delivering = false;
    if ((m_rxPos < m_rx.size() || !m_lineEvents.isEmpty()) && m_holds == 0) scheduleDelivery();
}

void MSComm::scheduleDelivery() {
    if (m_deliveryScheduled) return;
    m_deliveryScheduled = true;
    QMetaObject::invokeMethod(this, [this] { deliver(false); }, Qt::QueuedConnection);
}

MSComm::Hold::Hold(MSComm *comm) : m_comm(comm) {
    if (m_comm) ++m_comm->m_holds;
}

MSComm::Hold::~Hold() {
    if (m_comm && --m_comm->m_holds == 0 &&
        (m_comm->pendingBytes() > 0 || !m_comm->m_lineEvents.isEmpty()))
        m_comm->scheduleDelivery();
}

}  // namespace orvel
