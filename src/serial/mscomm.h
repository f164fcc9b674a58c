#pragma once

#include "serial/serialbackend.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

namespace orvel {

// The window's serial control `MSComm1`. It raises one `OnComm` notification per
// received byte, with `CommEvent` 2 (receive), and one for every line event.
//
// Notifications are never nested: while one runs (the dialogue answering a byte, maybe
// with a message box open) or while a modal box is held open (Hold), bytes that arrive
// wait in order and are handed over afterwards. A long burst is handed over in slices,
// so the window stays responsive.
class MSComm : public QObject {
    Q_OBJECT
public:
    static constexpr qint16 kReceive = 2;
    static constexpr qint16 kSend = 1;

    explicit MSComm(std::unique_ptr<SerialBackend> backend, qint16 commPort = 1,
                    QObject *parent = nullptr);
    ~MSComm() override;

    bool PortOpen() const;
    // Opens or closes the port; says what failed when it cannot.
    Done<PortFailure> setPortOpen(bool open);

    qint16 CommPort() const { return m_commPort; }
    // The device the port was last opened, or tried, on, and its name.
    const PortTarget &target() const { return m_target; }
    // Refused while the port is open, and for a number that is not a port.
    Done<PortFailure> setCommPort(qint16 port);

    // Sends one byte now; says what failed when it cannot.
    Done<PortFailure> Output(char byte);
    // Takes the next received byte (one at a time); empty when none waits.
    QByteArray Input();
    // The same without an array: the byte, or -1 when none waits.
    int takeByte();
    qint16 CommEvent() const { return m_commEvent; }

    // Received bytes not yet handed over.
    qsizetype pendingBytes() const { return m_rx.size() - m_rxPos; }
    // Whether the device has sent more than has been handed over: here or in the port.
    bool moreWaiting() const { return pendingBytes() > 0 || m_backend->bytesWaiting(); }

    // While a Hold lives, no notification runs; the bytes wait and follow afterwards.
    class Hold {
    public:
        explicit Hold(MSComm *comm);
        ~Hold();
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;

    private:
        MSComm *m_comm;
    };

    SerialBackend *backend() const { return m_backend.get(); }

    // Whether a notification is running (or held open by a box inside it).
    bool delivering() const { return m_delivering; }

signals:
    void OnComm();
    // The notifications have stopped for now: the control is about to wait for the
    // device's reply or to give the event loop its turn. Work a reaction put off so as to
    // answer the device first is done here.
    void handedOver();

private:
    void receive();
    // Hands the waiting bytes over. `awaitNextByte` only from the port's readyRead: once
    // all are handed over and we answered a device that answers quickly, its reply is
    // waited for right there.
    void deliver(bool awaitNextByte);
    // Bytes came through the event loop: a reply within a slice of our answer shows the
    // device answers quickly.
    void noteReply();
    void scheduleDelivery();

    std::unique_ptr<SerialBackend> m_backend;
    QByteArray m_rx;
    QList<qint16> m_lineEvents;
    quint64 m_consumed = 0;
    qsizetype m_rxPos = 0;
    qint16 m_commPort;
    PortTarget m_target;
    qint16 m_commEvent = 0;
    int m_holds = 0;
    bool m_delivering = false;
    bool m_deliveryScheduled = false;
    QElapsedTimer m_answeredAt;   // our last byte, while the device has not replied yet
    bool m_answersQuickly = true;  // no wait for its reply has run out since it last was
};

}  // namespace orvel
