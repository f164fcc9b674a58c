#include "serial/mscomm.h"

#include "ports/portnames.h"

#include <QElapsedTimer>
#include <QMetaObject>

namespace orvel {
namespace {

// A burst is handed over for at most this long before the window gets a turn.
constexpr qint64 kSliceNanoseconds = 8'000'000;
// Once we have answered a device that answers quickly, the notification waits on the port
// for its reply instead of giving the event loop a whole pass (timers, posted events,
// repaints) between every byte and its answer; a notification thus lasts at most a slice
// and one wait. A wait that runs out marks the device slow (at 1200 bit/s a reply comes
// 17 ms after our answer at the soonest: only the first answer after connecting waits),
// and its replies come through the event loop until one is there within kQuickReply of our
// answer. A reply found late through the event loop proves nothing: the loop may have
// been busy.
constexpr qint64 kQuickReplyNanoseconds = kSliceNanoseconds;
// Not shorter on purpose: a pty round trip took 40.4 us with a 1 ms time-out on the wait
// and 35.5 us with one of 4 ms or more (a timer due before the next scheduler tick, 4 ms
// at 250 Hz, costs a reprogramming of the clock each time).
constexpr std::chrono::microseconds kAwaitReply{8000};

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

Done<PortFailure> MSComm::setPortOpen(bool open) {
    if (open == m_backend->isOpen()) return {};
    if (open) {
        // The device COM n stands for now, named by the assignments or ORVEL_COM<n>.
        m_target = windowPort(m_commPort);
        return m_backend->open(m_target);
    }
    if (Done<PortFailure> closed = m_backend->close(); !closed) return closed;
    // Closing a port discards what it had received.
    m_rx.clear();
    m_rxPos = 0;
    m_answeredAt.invalidate();
    m_answersQuickly = true;
    return {};
}

Done<PortFailure> MSComm::setCommPort(qint16 port) {
    if (m_backend->isOpen()) return Failure<PortFailure>{PortFailure::AlreadyOpen, {}};
    if (port < 1 || port > 16) return Failure<PortFailure>{PortFailure::NoSuchPort, {}};
    m_commPort = port;
    return {};
}

Done<PortFailure> MSComm::Output(char byte) {
    Done<PortFailure> sent = m_backend->write(byte);
    if (sent) m_answeredAt.start();
    return sent;
}

void MSComm::noteReply() {
    if (m_answeredAt.isValid() && m_answeredAt.nsecsElapsed() <= kQuickReplyNanoseconds)
        m_answersQuickly = true;
    m_answeredAt.invalidate();
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
    noteReply();
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
            if (!awaitNextByte || m_holds > 0 || !m_answeredAt.isValid() || !m_answersQuickly ||
                slice.nsecsElapsed() > kSliceNanoseconds)
                break;
            // The device has its answer: what waited for that is done while it replies.
            emit handedOver();
            if (!m_backend->awaitMore(m_rx, kAwaitReply)) {
                m_answersQuickly = false;
                break;
            }
            m_answeredAt.invalidate();
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
    emit handedOver();
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
