#pragma once

#include "ports/portnames.h"
#include "serial/deviceclaim.h"
#include "serial/serialbackend.h"

#include <QElapsedTimer>
#include <QSerialPort>

namespace orvel {

class PortEnumerator;

// A real serial port: 1200 bit/s, 8 data bits, no parity, 1 stop bit, no flow control.
class QSerialBackend final : public SerialBackend {
    Q_OBJECT
public:
    // `ports` lists the ports present when one cannot be opened; the system's list when null.
    explicit QSerialBackend(QObject *parent = nullptr, const PortEnumerator *ports = nullptr);

    PortResult open(const PortTarget &target) override;
    bool close(QString *error) override;
    bool isOpen() const override { return m_open; }
    bool lost() const override { return m_gone; }
    bool write(char byte, QString *error) override;
    QByteArray readAll() override;
    void takeReceived(QByteArray &into) override;
    bool awaitMore(QByteArray &into, std::chrono::microseconds wait) override;
    bool bytesWaiting() const override;

private:
    void handleError(QSerialPort::SerialPortError error);
    PortResult failed(PortFailure failure, const QString &systemText) const;

    const PortEnumerator *m_ports;
    DeviceClaim m_claim;
    QSerialPort m_port;
    QByteArray m_pending;
    PortTarget m_target;
    bool m_open = false;  // stays true after the device vanished, until the operator closes
    bool m_gone = false;
    QElapsedTimer m_drainedAt;  // the last read that left the system's buffer empty
};

}  // namespace orvel
