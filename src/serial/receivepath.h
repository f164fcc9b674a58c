#pragma once

#include <QObject>
#include <QString>

namespace orvel {

class FrmTerminal;

// The serial control's notification: each received byte goes to the dialogue as its
// decimal text; other events only leave their text in the event or the error slot.
class ReceivePath final : public QObject {
    Q_OBJECT
public:
    explicit ReceivePath(FrmTerminal &form);

    void OnComm();

    const QString &eventText() const { return m_eventText; }
    const QString &errorText() const { return m_errorText; }

private:
    FrmTerminal &m_form;
    QString m_eventText;
    QString m_errorText;
};

// The text kept for an event code other than send and receive. `isError` tells which
// slot it belongs in.
QString commEventText(int code, bool *isError);

// The reply text of a received byte: "0" to "255".
QString replyText(quint8 byte);

}  // namespace orvel
