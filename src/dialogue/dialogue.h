#pragma once

#include "dialogue/dialogueview.h"
#include "dialogue/transferstate.h"

#include <QString>

#include <functional>
#include <optional>

namespace orvel {

// The dialogue with the device. The device leads, one byte at a time; we only answer
// (the exchanges are in dialogue/protocol.h). Everything it reads from or does to the
// window goes through the view, at the step that needs it.
class Dialogue {
public:
    Dialogue(TransferState &state, DialogueView &view);

    // Handles one reply of the device.
    void ProcessReply(quint8 reply);

    // Sees every reply as it comes in, before it is handled (tests and benchmarks).
    void setReplyTap(std::function<void(const QString &)> tap) { m_tap = std::move(tap); }

private:
    enum class Reply { Ready, Acknowledge, Data };

    void readPhase(Reply kind, quint8 reply, QString &shown);
    void writePhase(Reply kind);
    void valueArrived(quint8 value, QString &shown);
    void endTransfer();
    void moveToNextObject();

    // Sends one byte; a failure is reported and the dialogue goes on all the same.
    void send(char byte);
    enum class AddressPart { High, Low };
    void sendAddress(AddressPart part);
    // The current object's device address, if it has one.
    std::optional<int> currentAddress() const;
    bool writableObject() const;
    // Whether the current object still has the high byte already sent for it.
    bool addressStillHolds() const;
    bool nextObjectExists() const;

    TransferState &m_state;
    DialogueView &m_view;
    std::function<void(const QString &)> m_tap;
};

}  // namespace orvel
