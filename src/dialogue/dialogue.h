#pragma once

#include "dialogue/dialogueview.h"
#include "dialogue/transferstate.h"

#include <QString>

#include <array>
#include <functional>
#include <optional>

namespace orvel {

// The dialogue with the device. The device leads, one byte at a time; we only answer
// (the exchanges are in dialogue/protocol.h). Everything it reads from or does to the
// window goes through the view, at the step that needs it.
//
// What keeps it safe when the program stalls (a busy machine, a box held open) or the
// device gives a command up:
// - a reply the device has already followed with more bytes is not answered: a run of
//   ready pairs gets one command, for the last pair;
// - a ready byte where an acknowledge was due means the device gave the command up: the
//   object starts again from that ready byte; right after a command it may instead have
//   crossed the command on the line, and the byte after it decides;
// - a command's address bytes and its value belong to the object it was sent for;
// - after Stop no object begins: the object under way is finished, nothing more;
// - only objects (1 to 8175) are ever addressed: a list entry that is no object is passed.
class Dialogue {
public:
    Dialogue(TransferState &state, DialogueView &view);

    // Handles one reply of the device.
    void ProcessReply(quint8 reply);

    // Sees every reply as it comes in, before it is handled (tests and benchmarks).
    void setReplyTap(std::function<void(const QString &)> tap) { m_tap = std::move(tap); }

private:
    enum class Reply { Ready, Acknowledge, Data };
    enum class Command { Read, Write };

    void judgeLastValue(Reply kind);
    void awaitCommand(Reply kind, Command command);
    void readCommand(Reply kind, quint8 reply, QString &shown);
    void writeCommand(Reply kind);
    void giveUpCommand();
    void valueArrived(quint8 value, QString &shown);
    void endTransfer();
    void moveToNextObject();
    void stepToNextObject();
    bool nextObjectExists() const;
    // Passes the objects that have no cell to program or read; false when the transfer
    // ended on the way.
    bool settleOnObject();
    bool commandIsStale() const { return m_state.CommandTransfer != m_state.TransferNumber; }

    // Sends one byte unless the device has moved on; a failure is reported and the
    // dialogue goes on all the same. False when the byte was held back.
    bool answer(char byte);
    void sendNow(char byte);

    TransferState &m_state;
    DialogueView &m_view;
    std::function<void(const QString &)> m_tap;
    struct Value {
        int cell;
        quint8 value;
        int readies = 0;  // the device's ready bytes since
        bool commandDue = false;  // a command of ours follows it
    };
    // The last value, until the device takes our next command (or sends its pair, when
    // no command follows).
    std::optional<Value> m_unconfirmed;
    QString m_shown;                      // the text of the reply in hand
    std::array<QString, 2> m_objectTexts;  // the object shown, and the one before
    int m_objectTextIndex = 0;
};

}  // namespace orvel
