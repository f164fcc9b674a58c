#include "dialogue/dialogue.h"

#include "dialogue/protocol.h"
#include "dialogue/terminaltext.h"
#include "numbers/objects.h"
#include "numbers/textrules.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace orvel {
namespace {

using Activity = DialogueView::Activity;

// The cell an object number names, when it names an object.
std::optional<int> objectCell(double object) {
    const std::optional<std::int64_t> rounded = roundHalfEven(object);
    if (!rounded || !objects::isObject(*rounded)) return std::nullopt;
    return int(*rounded);
}

// Appends numberText(value) to `text`. A whole object number, the case on every object of a
// transfer, is written digit by digit into the room `text` already has: numberText prints
// a whole number below 10^15 as its plain digits.
void appendNumberText(QString &text, double value) {
    constexpr double kPlainDigitsBelow = 1e15;
    if (value != std::trunc(value) || std::fabs(value) >= kPlainDigitsBelow) {
        text.append(numberText(value));
        return;
    }
    std::int64_t whole = std::int64_t(value);
    if (whole < 0) text.append(u'-');
    char16_t digits[16];
    int count = 0;
    do {
        digits[count++] = char16_t(u'0' + std::abs(whole % 10));
        whole /= 10;
    } while (whole != 0);
    while (count > 0) text.append(QChar(digits[--count]));
}

// Room for the longest text a reply is shown as, so the texts are made without allocating.
constexpr qsizetype kShownRoom = 64;

}  // namespace

Dialogue::Dialogue(TransferState &state, DialogueView &view) : m_state(state), m_view(view) {
    m_shown.reserve(kShownRoom);
    for (QString &text : m_objectTexts) text.reserve(kShownRoom);
}

void Dialogue::ProcessReply(quint8 reply) {
    TransferState &state = m_state;
    // One text, reused for every reply: the path from a byte to its answer allocates nothing.
    QString &shown = m_shown;
    shown.resize(0);
    shown.append(QStringView(replyText(reply)));
    if (m_tap) m_tap(shown);

    // After connecting, the first byte must be the device's ready byte; anything else
    // means we are not talking to the device yet, so the link is opened again.
    if (state.LinkCheckPending) {
        state.LinkCheckPending = false;
        m_unconfirmed.reset();  // a new connection: its bytes tell nothing of the old one's
        if (reply != protocol::kReady) {
            m_view.clearTerminal();
            m_view.reopenLink();
            return;
        }
    }

    // At the last read step every byte is the value, 172 and 202 included; marked so, they
    // are shown as "172*" and "202*" where no value step takes them.
    Reply kind = Reply::Data;
    if (reply == protocol::kReady || reply == protocol::kAcknowledge) {
        if (state.ReadStep == 4)
            shown += u'*';
        else
            kind = reply == protocol::kReady ? Reply::Ready : Reply::Acknowledge;
    }

    if (m_unconfirmed) judgeLastValue(kind);

    if (state.TransferPhase == TransferState::Reading) m_view.showActivity(Activity::Reading);
    if (state.TransferPhase == TransferState::Writing) m_view.showActivity(Activity::Writing);
    // A command in flight is finished first, even under a transfer started since.
    if (state.WriteStep >= 2)
        writeCommand(kind);
    else if (state.ReadStep >= 2)
        readCommand(kind, reply, shown);
    else if (state.TransferPhase == TransferState::Reading)
        awaitCommand(kind, Command::Read);
    else if (state.TransferPhase == TransferState::Writing)
        awaitCommand(kind, Command::Write);

    if (state.TransferPhase == TransferState::Idle && kind == Reply::Ready)
        m_view.showActivity(Activity::Idle);
    if (gateReply(state.CurrentObject, m_view.onlyData(), shown)) m_view.appendToTerminal(shown);
}

// The device follows a value with its ready bytes, in pairs, and acknowledges our next
// command. A byte before the first ready byte came from the line. So did the byte where
// the acknowledgement was due, if it is another, or if an odd count of ready bytes came
// before it: the pair came a byte late, so the byte taken for the value was not the first
// after our low byte (a true 172 was taken for a ready byte). Either leaves the value in
// doubt; what we send stays the same. A value that ended its transfer has no command after
// it: its pair is all it is judged by.
void Dialogue::judgeLastValue(Reply kind) {
    Value &last = *m_unconfirmed;
    if (last.commandDue && m_state.commandInFlight()) {
        if (kind != Reply::Acknowledge || last.readies % 2 != 0)
            m_view.valueInDoubt(last.cell, last.value);
        m_unconfirmed.reset();
    } else if (kind == Reply::Ready) {
        if (++last.readies == 2 && !last.commandDue) m_unconfirmed.reset();
    } else if (last.readies == 0) {
        m_view.valueInDoubt(last.cell, last.value);
        m_unconfirmed.reset();
    }
}

// Steps 0 and 1: the device announces itself with a ready pair; the second byte of the
// pair gets the command. After Stop no object begins: the device's ready byte ends the
// transfer (a written object is still read back).
void Dialogue::awaitCommand(Reply kind, Command command) {
    TransferState &state = m_state;
    int &step = command == Command::Read ? state.ReadStep : state.WriteStep;
    if (kind != Reply::Ready) return;  // only a command in flight takes anything else
    if (state.Stopped && !(command == Command::Read && state.ReadBack)) {
        endTransfer();
        return;
    }
    if (step == 0) {
        step = 1;
        return;
    }
    if (m_view.deviceMovedOn()) return;  // a later ready pair gets the command
    if (command == Command::Read && state.ReadBack) {
        state.CommandObject = *state.ReadBack;
        state.ReadBack.reset();
    } else {
        if (!settleOnObject()) return;
        state.CommandObject = state.CurrentObject;
    }
    state.CommandAddress = *objectCell(state.CommandObject);
    state.CommandTransfer = state.TransferNumber;
    state.ReadyCrossedCommand = false;
    if (answer(command == Command::Read ? protocol::kReadCommand : protocol::kWriteCommand))
        step = 2;
}

void Dialogue::readCommand(Reply kind, quint8 reply, QString &shown) {
    TransferState &state = m_state;
    if (state.ReadStep == 4) {
        valueArrived(reply, shown);
        return;
    }
    if (kind == Reply::Ready) {
        giveUpCommand();
    } else if (kind == Reply::Acknowledge) {
        state.ReadyCrossedCommand = false;
        const int address = state.CommandAddress;
        if (answer(char(state.ReadStep == 2 ? address / 256 : address % 256))) ++state.ReadStep;
    }
    // A data byte in the middle of a command is noise: the device sends none there.
}

void Dialogue::writeCommand(Reply kind) {
    TransferState &state = m_state;
    if (kind == Reply::Ready) {
        giveUpCommand();
        return;
    }
    if (kind != Reply::Acknowledge) return;  // data bytes mean nothing while writing
    state.ReadyCrossedCommand = false;
    const int address = state.CommandAddress;
    switch (state.WriteStep) {
    case 2:
        if (answer(char(address / 256))) state.WriteStep = 3;
        break;
    case 3:
        if (answer(char(address % 256))) state.WriteStep = 4;
        break;
    case 4:
        if (m_view.deviceMovedOn()) break;  // not answered: see answer()
        state.CommandValue = m_view.repeatTicked() ? 1 : 0;
        // Said before the byte goes out: no write reaches the device unjournaled.
        m_view.valueWritten(address, state.CommandValue);
        sendNow(char(state.CommandValue));
        state.WriteStep = 5;
        break;
    default:  // 5: the device has the value; the same object is read back
        state.WriteStep = 0;
        if (!commandIsStale()) {
            state.ReadBack = state.CommandObject;
            state.TransferPhase = TransferState::Reading;
        }
        break;
    }
}

// A ready byte where an acknowledge was due: the device has given the command up (it timed
// out while we were away) and stored nothing. The object starts again from this ready byte.
// Right after a command the ready byte may instead be the second of the device's pair,
// sent as our command was on the line: an acknowledge next means the device took the
// command; a second ready byte, that it gave it up, and that byte gets the command again.
void Dialogue::giveUpCommand() {
    TransferState &state = m_state;
    if ((state.ReadStep == 2 || state.WriteStep == 2) && !state.ReadyCrossedCommand) {
        state.ReadyCrossedCommand = true;
        return;
    }
    const bool secondReady = std::exchange(state.ReadyCrossedCommand, false);
    state.ReadStep = 0;
    state.WriteStep = 0;
    if (state.TransferPhase == TransferState::Reading) state.ReadStep = 1;
    if (state.TransferPhase == TransferState::Writing) state.WriteStep = 1;
    if (secondReady && state.TransferPhase != TransferState::Idle)
        awaitCommand(Reply::Ready, state.TransferPhase == TransferState::Reading ? Command::Read
                                                                                 : Command::Write);
}

void Dialogue::valueArrived(quint8 value, QString &shown) {
    TransferState &state = m_state;
    state.ReadStep = 0;
    if (objects::isCell(state.CommandAddress)) {
        state.DeviceMemory[size_t(state.CommandAddress)] = value;
        m_view.valueRead(state.CommandAddress, value);
        m_unconfirmed = Value{state.CommandAddress, value};
    }
    shown.resize(0);
    shown.append(QStringView(replyText(value)));
    shown.append(u" - ");
    appendNumberText(shown, state.CommandObject);
    shown.append(u"\n\r");
    if (commandIsStale()) return;  // a transfer started since goes on from its start

    // A transfer ends at its last object. It also ends where no next object exists: a
    // counted range whose next number would pass the end (a fractional range never meets
    // its end exactly), or a list with no entry after the current one.
    if (state.Stopped || state.LastObject == state.CurrentObject || !nextObjectExists()) {
        endTransfer();
    } else {
        moveToNextObject();
        if (m_unconfirmed) m_unconfirmed->commandDue = true;
    }
}

bool Dialogue::nextObjectExists() const {
    if (m_view.listDriven()) return qint64(m_state.ListPosition) + 1 < m_view.listCount();
    return m_state.CurrentObject + 1 <= m_state.LastObject;
}

bool Dialogue::settleOnObject() {
    while (!objectCell(m_state.CurrentObject)) {
        if (m_state.LastObject == m_state.CurrentObject || !nextObjectExists()) {
            endTransfer();
            return false;
        }
        stepToNextObject();
    }
    return true;
}

void Dialogue::endTransfer() {
    TransferState &state = m_state;
    if (m_unconfirmed) m_unconfirmed->commandDue = false;
    state.ReadStep = 0;
    state.WriteStep = 0;
    state.TransferPhase = TransferState::Idle;
    m_view.selectStop();  // the Stop reactions run here, nested
    state.WriteInProgress = false;

    const int delay = state.DeviceMemory[objects::kFirstSetting];
    if (!m_view.showRepeatDelay(delay))
        m_view.reportFailure(
            QStringLiteral("The device's repeat delay setting %1 is not one of the known delays.")
                .arg(delay));
    for (int n = 1; n <= objects::kRepeaters; ++n)
        m_view.showRepeater(n, numberText(state.DeviceMemory[size_t(objects::kFirstSetting + n)]));
}

void Dialogue::moveToNextObject() {
    m_state.ReadStep = 0;
    stepToNextObject();
    if (m_state.WriteInProgress) m_state.TransferPhase = TransferState::Writing;
}

void Dialogue::stepToNextObject() {
    TransferState &state = m_state;
    if (m_view.listDriven()) {
        ++state.ListPosition;
        state.CurrentObject = valueOf(m_view.listEntry(state.ListPosition));  // past the end: 0
    } else {
        state.CurrentObject += 1;
    }
    // Two texts in turn: the label holds the one shown before, so this one is free to
    // be written again without an allocation.
    QString &text = m_objectTexts[m_objectTextIndex ^= 1];
    text.resize(0);
    appendNumberText(text, state.CurrentObject);
    m_view.showObject(text);
}

bool Dialogue::answer(char byte) {
    if (m_view.deviceMovedOn()) return false;
    sendNow(byte);
    return true;
}

void Dialogue::sendNow(char byte) {
    if (const Done<PortFailure> sent = m_view.send(byte); !sent)
        m_view.reportSendFailure(sent.failure());
}

}  // namespace orvel
