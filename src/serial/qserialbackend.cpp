#include "serial/qserialbackend.h"

#include <algorithm>

#include <utility>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>
#endif

namespace orvel {
namespace {

// Codes of the serial control for line errors the port reports.
constexpr int kUnknownLineError = 1100;
// How long after a read that emptied the system's buffer its emptiness is taken as known.
constexpr std::chrono::nanoseconds kDrainedFor{20'000};

#ifdef Q_OS_UNIX
// EMFILE or ENFILE when no descriptor is left to open a file with, else 0.
int outOfDescriptors() {
    const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (probe >= 0) ::close(probe);
    return probe < 0 && (errno == EMFILE || errno == ENFILE) ? errno : 0;
}
#endif

}  // namespace

QSerialBackend::QSerialBackend(QObject *parent) : SerialBackend(parent) {
    connect(&m_port, &QSerialPort::readyRead, this, &SerialBackend::readyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QSerialBackend::handleError);
}

Done<PortFailure> QSerialBackend::open(const PortTarget &target) {
    if (m_open) return {};
    m_target = target;
    m_gone = false;
    m_port.setBaudRate(QSerialPort::Baud1200);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);

    if (Done<PortFailure> claimed = m_claim.claim(m_target.path); !claimed) return claimed;
    // The device's own name, so that the port's lock file is the same under every link.
    m_port.setPortName(m_claim.device());
    if (m_port.open(QIODevice::ReadWrite)) {
        // What the line delivered before we opened answers no one of ours: a ready pair left
        // unread by a program killed in mid-command, taken as the device's now, would shift
        // our whole dialogue by a byte. We start from what the device sends from here on.
        m_port.clear(QSerialPort::Input);
        m_open = true;
        return {};
    }
    PortFailure failure = PortFailure::Other;
    QString words = m_port.errorString();
    switch (m_port.error()) {
    case QSerialPort::DeviceNotFoundError:
        failure = PortFailure::Missing;
        break;
    case QSerialPort::PermissionError:
        // The claim has opened the device to read and write, so this is Qt's lock file: held
        // by another program that does not lock the device itself, or not made for want of a
        // descriptor (looked at while the claim still holds its own).
#ifdef Q_OS_UNIX
        if (const int error = outOfDescriptors(); error != 0) {
            words = qt_error_string(error);
            break;
        }
#endif
        failure = PortFailure::InUse;
        break;
    default:
        break;
    }
    m_claim.release();
    m_port.clearError();
    return Failure<PortFailure>{m_gone ? PortFailure::Lost : failure, words};
}

Failure<PortFailure> QSerialBackend::portFailure(PortFailure why) const {
    return {m_gone ? PortFailure::Lost : why, m_port.errorString()};
}

Done<PortFailure> QSerialBackend::close() {
    if (m_port.isOpen()) m_port.close();
    m_claim.release();
    m_pending.clear();
    m_open = false;
    m_gone = false;
    return {};
}

Done<PortFailure> QSerialBackend::write(char byte) {
    if (!m_open) return Failure<PortFailure>{PortFailure::NotOpen, {}};
    if (m_gone || !m_port.isOpen()) return portFailure(PortFailure::Other);
#ifdef Q_OS_UNIX
    // Straight to the descriptor when nothing waits in the port's own buffer: QSerialPort's
    // write switches its write notifier on and off for every byte, and each switch wakes the
    // event loop once more. A full line (EAGAIN) or an error falls through to QSerialPort.
    if (m_port.bytesToWrite() == 0) {
        ssize_t written;
        do {
            written = ::write(int(m_port.handle()), &byte, 1);
        } while (written < 0 && errno == EINTR);
        if (written == 1) return {};
    }
#endif
    if (m_port.write(&byte, 1) != 1) return portFailure(PortFailure::Other);
    // The device waits for this byte: send it now, not on a later pass of the event loop.
    m_port.flush();
    return {};
}

QByteArray QSerialBackend::readAll() {
    QByteArray data;
    takeReceived(data);
    return data;
}

void QSerialBackend::takeReceived(QByteArray &into) {
    if (!m_pending.isEmpty()) {
        into.append(m_pending);
        m_pending.clear();
    }
    if (!m_port.isOpen()) return;
    const qint64 available = m_port.bytesAvailable();
    if (available <= 0) return;
    // Straight from the port's buffer into ours: no array of its own per pass.
    const qsizetype at = into.size();
    into.resize(at + available);
    const qint64 got = m_port.read(into.data() + at, available);
    into.resize(at + std::max<qint64>(got, 0));
}

bool QSerialBackend::awaitMore(QByteArray &into, std::chrono::microseconds wait) {
    if (!m_pending.isEmpty() || (m_port.isOpen() && m_port.bytesAvailable() > 0)) {
        const qsizetype before = into.size();
        takeReceived(into);
        return into.size() > before;
    }
#ifdef Q_OS_UNIX
    if (m_gone || !m_port.isOpen()) return false;
    // The port's own buffer is empty, so the descriptor holds the next bytes in order. Read
    // here, inside the port's read notification, the descriptor can never be seen ready by a
    // notification that then finds nothing.
    const int fd = int(m_port.handle());
    pollfd ready{fd, POLLIN, 0};
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
    const timespec timeout{time_t(seconds.count()),
                           long(std::chrono::nanoseconds(wait - seconds).count())};
    int polled;
    do {
        polled = ::ppoll(&ready, 1, &timeout, nullptr);
    } while (polled < 0 && errno == EINTR);
    // A hung-up or failing line is the port's to report, on the next pass.
    if (polled <= 0 || (ready.revents & (POLLERR | POLLHUP | POLLNVAL)) ||
        !(ready.revents & POLLIN))
        return false;
    constexpr qsizetype kChunk = 256;
    const qsizetype at = into.size();
    into.resize(at + kChunk);
    ssize_t got;
    do {
        got = ::read(fd, into.data() + at, kChunk);
    } while (got < 0 && errno == EINTR);
    into.resize(at + std::max<qsizetype>(got, 0));
    // Less than the room given: the system held no more at this moment.
    if (got > 0 && got < kChunk) m_drainedAt.start();
    return got > 0;
#else
    Q_UNUSED(into);
    Q_UNUSED(wait);
    return false;
#endif
}

bool QSerialBackend::bytesWaiting() const {
    if (!m_pending.isEmpty()) return true;
    if (!m_port.isOpen()) return false;
    if (m_port.bytesAvailable() > 0) return true;
#ifdef Q_OS_UNIX
    // Just after a read that emptied the system's buffer the answer is known without a
    // system call: a byte arriving since is as late as one arriving after the question.
    if (m_drainedAt.isValid() && m_drainedAt.nsecsElapsed() < kDrainedFor.count()) return false;
    // Bytes the system holds that Qt has not read yet: the device may have moved on.
    int queued = 0;
    if (::ioctl(int(m_port.handle()), FIONREAD, &queued) == 0) return queued > 0;
#endif
    return false;
}

void QSerialBackend::handleError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::PermissionError:
    case QSerialPort::OpenError:
        return;  // open failures are answered by open()
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError: {
        // An unplugged adapter or a hung-up line: stop listening, or the port would wake
        // us for ever. The control stays "open" until the operator disconnects.
        const QString systemText = m_port.errorString();
        if (m_port.isOpen()) {
            m_pending += m_port.readAll();  // none of the device's bytes is lost
            m_port.close();
        }
        m_claim.release();  // a replugged adapter gets its old name back only once all let go
        m_gone = true;
        if (!m_pending.isEmpty()) emit readyRead();
        emit portLost(systemText);
        emit lineEvent(kUnknownLineError);
        return;
    }
    default:
        emit lineEvent(kUnknownLineError);
        return;
    }
}

}  // namespace orvel
