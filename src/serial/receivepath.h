#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace orvel {

class MSComm;

// The serial control's notification: each received byte is handed on, one at a time and
// in order; other events only leave their text in the event or the error slot.
class ReceivePath final : public QObject {
    Q_OBJECT
public:
    using ReplyHandler = std::function<void(quint8 reply)>;

    ReceivePath(MSComm &comm, ReplyHandler onReply, QObject *parent = nullptr);

    void OnComm();

    const QString &eventText() const { return m_eventText; }
    const QString &errorText() const { return m_errorText; }

private:
    MSComm &m_comm;
    ReplyHandler m_onReply;
    QString m_eventText;
    QString m_errorText;
};

// The text kept for an event code other than send and receive. `isError` tells which
// slot it belongs in.
QString commEventText(int code, bool *isError);

}  // namespace orvel
