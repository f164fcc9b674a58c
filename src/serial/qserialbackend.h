#pragma once

#include "serial/deviceclaim.h"
#include "serial/serialbackend.h"

#include <QElapsedTimer>
#include <QSerialPort>

namespace orvel {

// A real serial port: 1200 bit/s, 8 data bits, no parity, 1 stop bit, no flow control.
class QSerialBackend final : public SerialBackend {
    Q_OBJECT
public:
    explicit QSerialBackend(QObject *parent = nullptr);

    Done<PortFailure> open(const PortTarget &target) override;
    Done<PortFailure> close() override;
    bool isOpen() const override { return m_open; }
    Done<PortFailure> write(char byte) override;
    QByteArray readAll() override;
    void takeReceived(QByteArray &into) override;
    bool awaitMore(QByteArray &into, std::chrono::microseconds wait) override;
    bool bytesWaiting() const override;

private:
    void handleError(QSerialPort::SerialPortError error);
    // What failed in the port's own words; a port gone under us is lost.
    Failure<PortFailure> portFailure(PortFailure why) const;

    DeviceClaim m_claim;
    QSerialPort m_port;
    QByteArray m_pending;
    PortTarget m_target;
    bool m_open = false;  // stays true after the device vanished, until the operator closes
    bool m_gone = false;
    QElapsedTimer m_drainedAt;  // the last read that left the system's buffer empty
};

}  // namespace orvel
