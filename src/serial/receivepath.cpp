#include "serial/receivepath.h"

#include "serial/mscomm.h"

namespace orvel {

ReceivePath::ReceivePath(MSComm &comm, ReplyHandler onReply, QObject *parent)
    : QObject(parent), m_comm(comm), m_onReply(std::move(onReply)) {
    connect(&comm, &MSComm::OnComm, this, &ReceivePath::OnComm);
}

void ReceivePath::OnComm() {
    const qint16 event = m_comm.CommEvent();
    if (event == MSComm::kReceive) {
        const int byte = m_comm.takeByte();
        if (byte >= 0) m_onReply(static_cast<quint8>(byte));
        return;
    }
    if (event == MSComm::kSend) return;
    bool isError = false;
    QString text = commEventText(event, &isError);
    (isError ? m_errorText : m_eventText) = std::move(text);
}

QString commEventText(int code, bool *isError) {
    *isError = false;
    switch (code) {
    case 3: return QStringLiteral("Change in CTS Detected");
    case 4: return QStringLiteral("Change in DSR Detected");
    case 5: return QStringLiteral("Change in CD Detected");
    case 6: return QStringLiteral("The Phone is Ringing");
    case 7: return QStringLiteral("End of File Detected");
    default: break;
    }
    *isError = true;
    switch (code) {
    case 1001: return QStringLiteral("Break Received");
    case 1002: return QStringLiteral("CTS Timeout");
    case 1003: return QStringLiteral("DSR Timeout");
    case 1004: return QStringLiteral("Framing Error");
    case 1006: return QStringLiteral("Overrun Error");
    case 1007: return QStringLiteral("Carrier Detect Timeout");
    case 1008: return QStringLiteral("Receive Buffer Overflow");
    case 1009: return QStringLiteral("Parity Error");
    case 1010: return QStringLiteral("Transmit Buffer Full");
    case 1011: return QStringLiteral("Error retrieving DCB");
    default: return QStringLiteral("Unknown error or event");
    }
}

}  // namespace orvel
