#pragma once

#include "serial/serialbackend.h"

#include <functional>

namespace orvel {

// An in-memory port for tests and tools: it can refuse to open or close with a given
// text, records every byte written, and delivers bytes as if a device had sent them.
class MemorySerial final : public SerialBackend {
    Q_OBJECT
public:
    using SerialBackend::SerialBackend;

    Done<PortFailure> open(const PortTarget &target) override;
    Done<PortFailure> close() override;
    bool isOpen() const override { return m_open; }
    Done<PortFailure> write(char byte) override;
    QByteArray readAll() override;

    // An empty text lets the operation succeed; a refusal is an Other failure in this text.
    void setOpenError(const QString &text) { m_openError = text; }
    void setCloseError(const QString &text) { m_closeError = text; }
    void setWriteError(const QString &text) { m_writeError = text; }

    // Bytes from the device. Dropped while the port is closed, as a real port would.
    void deliver(const QByteArray &bytes);

    // Called when the serial control waits for the device's next bytes, with how long it
    // would wait; what it returns arrived during the wait (nothing: the wait ran out).
    using OnAwait = std::function<QByteArray(std::chrono::microseconds)>;
    void setOnAwait(OnAwait onAwait) { m_onAwait = std::move(onAwait); }
    bool awaitMore(QByteArray &into, std::chrono::microseconds wait) override;

    const QByteArray &written() const { return m_written; }
    void clearWritten() { m_written.clear(); }
    const PortTarget &openedTarget() const { return m_target; }
    int openCount() const { return m_openCount; }

private:
    QString m_openError;
    QString m_closeError;
    QString m_writeError;
    QByteArray m_written;
    QByteArray m_received;
    OnAwait m_onAwait;
    PortTarget m_target;
    int m_openCount = 0;
    bool m_open = false;
};

}  // namespace orvel
