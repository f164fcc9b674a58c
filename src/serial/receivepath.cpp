#include "serial/receivepath.h"

#include "app/frmterminal.h"
#include "dialogue/dialogue.h"
#include "serial/mscomm.h"

#include <array>

namespace orvel {

ReceivePath::ReceivePath(FrmTerminal &form) : m_form(form) {
    connect(&form.MSComm1(), &MSComm::OnComm, this, &ReceivePath::OnComm);
}

void ReceivePath::OnComm() {
    MSComm &comm = m_form.MSComm1();
    const qint16 event = comm.CommEvent();
    if (event == MSComm::kReceive) {
        const QByteArray input = comm.Input();
        if (input.isEmpty()) return;  // nothing waited after all
        m_form.dialogue().ProcessReply(*m_form.ui().txtTerm,
                                       replyText(static_cast<quint8>(input.at(0))));
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

QString replyText(quint8 byte) {
    // Made once: this runs for every byte the device sends.
    static const std::array<QString, 256> texts = [] {
        std::array<QString, 256> all;
        for (int i = 0; i < 256; ++i) all[i] = QString::number(i);
        return all;
    }();
    return texts[byte];
}

}  // namespace orvel
