#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include "ports/portinfo.h"

#include <chrono>

namespace orvel {

// The device to open, named where the operator chose it, and what to call it: "COM 1" in
// the window, the path or COM n in the command.
struct PortTarget {
    QString path;
    QString name;
};

// What failed with a port, and the system's own words; the window and the command each
// say it their way.
enum class PortFailure { None, Missing, NotSerialPort, PermissionDenied, InUse, Lost, Other };
struct PortResult {
    PortFailure failure = PortFailure::None;
    QString systemText;
    QList<PortInfo> present;  // the serial ports present when it failed
    bool ok() const { return failure == PortFailure::None; }
};

// What the serial control needs from a port: open, close, one byte out, bytes in.
// The real port and the in-memory double used by the tests both sit behind it.
class SerialBackend : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialBackend() override = default;

    // Opens the device `target` names; says what failed when it cannot.
    virtual PortResult open(const PortTarget &target) = 0;
    virtual bool close(QString *error) = 0;
    virtual bool isOpen() const = 0;
    // Whether the port went away under us since it was opened (see portLost).
    virtual bool lost() const { return false; }
    // Sends one byte at once: the device is waiting for it; says in the system's words why
    // it cannot.
    virtual bool write(char byte, QString *error) = 0;
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
