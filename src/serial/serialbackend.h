#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include "ports/portfailure.h"

#include <chrono>

namespace orvel {

// What the serial control needs from a port: open, close, one byte out, bytes in.
// The real port and the in-memory double used by the tests both sit behind it.
class SerialBackend : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialBackend() override = default;

    // Opens the device `target` names; says what failed when it cannot.
    virtual Done<PortFailure> open(const PortTarget &target) = 0;
    virtual Done<PortFailure> close() = 0;
    virtual bool isOpen() const = 0;
    // Sends one byte at once: the device is waiting for it; says why it cannot.
    virtual Done<PortFailure> write(char byte) = 0;
    // Takes everything received so far.
    virtual QByteArray readAll() = 0;
    // Appends everything received so far to `into`, which keeps its room between calls.
    virtual void takeReceived(QByteArray &into) { into.append(readAll()); }
    // Called only from a readyRead notification, once everything received has been taken:
    // waits up to `wait` for the device to send more and appends it to `into`. False when
    // nothing came; a failing line is left to the next pass of the event loop.
    virtual bool awaitMore(QByteArray &into, std::chrono::microseconds wait) {
        Q_UNUSED(into);
        Q_UNUSED(wait);
        return false;
    }
    // Whether received bytes wait that readAll has not taken yet.
    virtual bool bytesWaiting() const { return false; }

signals:
    void readyRead();
    // A line event or line error, as a serial-control event code (3..7, 1001..1011, other).
    void lineEvent(int code);
    // The port went away under us (adapter unplugged, device hung up), in the system's words.
    void portLost(const QString &systemText);
};

}  // namespace orvel
