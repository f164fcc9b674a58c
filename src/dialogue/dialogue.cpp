#include "dialogue/dialogue.h"

#include "dialogue/protocol.h"
#include "dialogue/terminaltext.h"
#include "numbers/objects.h"
#include "numbers/textrules.h"

namespace orvel {

using Activity = DialogueView::Activity;

Dialogue::Dialogue(TransferState &state, DialogueView &view) : m_state(state), m_view(view) {}

void Dialogue::ProcessReply(quint8 reply) {
    TransferState &state = m_state;
    QString shown = replyText(reply);
    if (m_tap) m_tap(shown);

    // After connecting, the first byte must be the device's ready byte; anything else
    // means we are not talking to the device yet, so the link is opened again.
    if (state.LinkCheckPending) {
        state.LinkCheckPending = false;
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

    switch (state.TransferPhase) {
    case TransferState::Reading:
        m_view.showActivity(Activity::Reading);
        readPhase(kind, reply, shown);
        break;
    case TransferState::Writing:
        m_view.showActivity(Activity::Writing);
        writePhase(kind);
        break;
    case TransferState::Idle:
        break;
    }

    if (state.TransferPhase == TransferState::Idle && kind == Reply::Ready)
        m_view.showActivity(Activity::Idle);
    if (gateReply(state.CurrentObject, m_view.onlyData(), shown)) m_view.appendToTerminal(shown);
}

void Dialogue::readPhase(Reply kind, quint8 reply, QString &shown) {
    TransferState &state = m_state;
    switch (kind) {
    case Reply::Ready:
        if (state.ReadStep == 0) {
            state.ReadStep = 1;
        } else if (state.ReadStep == 1) {
            send(protocol::kReadCommand);
            state.ReadStep = 2;
        }
        break;
    case Reply::Acknowledge:
        if (state.ReadStep == 2) {
            sendAddress(AddressPart::High);
            state.ReadStep = 3;
        } else if (state.ReadStep == 3) {
            if (!addressStillHolds()) {
                // The object changed between the two address bytes (Stop, a new range):
                // the low byte would complete another cell. Start this object afresh
                // once the device, unanswered, is ready again.
                state.ReadStep = 0;
                return;
            }
            sendAddress(AddressPart::Low);
            state.ReadStep = 4;
        }
        break;
    case Reply::Data:
        valueArrived(reply, shown);
        break;
    }
}

void Dialogue::writePhase(Reply kind) {
    TransferState &state = m_state;
    if (kind == Reply::Ready) {
        if (state.WriteStep == 0) {
            state.WriteStep = 1;
        } else if (state.WriteStep == 1) {
            if (writableObject()) {
                send(protocol::kWriteCommand);
                state.WriteStep = 2;
            } else {
                // Never write a cell that is not an object: read it back only.
                state.WriteStep = 0;
                state.TransferPhase = TransferState::Reading;
            }
        }
        return;
    }
    if (kind != Reply::Acknowledge) return;  // data bytes mean nothing while writing
    switch (state.WriteStep) {
    case 2:
    case 3:
        if (!writableObject() || (state.WriteStep == 3 && !addressStillHolds())) {
            // The object changed under a running write (Stop, a new range or list) to one
            // that is no object, or between the two address bytes, where the low byte would
            // complete a cell nobody chose: give the write up; the device times out and
            // the read-back follows.
            state.WriteStep = 0;
            state.TransferPhase = TransferState::Reading;
            return;
        }
        sendAddress(state.WriteStep == 2 ? AddressPart::High : AddressPart::Low);
        ++state.WriteStep;
        break;
    case 4:
        send(m_view.repeatTicked() ? char(1) : char(0));
        state.WriteStep = 5;
        break;
    case 5:
        state.WriteStep = 0;
        state.TransferPhase = TransferState::Reading;
        break;
    default:
        break;
    }
}

void Dialogue::valueArrived(quint8 value, QString &shown) {
    TransferState &state = m_state;
    shown = replyText(value);
    if (const std::optional<int> cell = currentAddress(); cell && objects::isCell(*cell)) {
        state.DeviceMemory[size_t(*cell)] = value;
    } else {
        m_view.reportFailure(QStringLiteral("The value %1 arrived for object %2, which has no "
                                            "cell in the device (0 to %3); it is not kept.")
                                 .arg(value)
                                 .arg(numberText(state.CurrentObject))
                                 .arg(objects::kLastSetting));
    }

    shown += QStringLiteral(" - ") + numberText(state.CurrentObject) + QStringLiteral("\n\r");

    // A transfer ends at its last object. It also ends where no next object exists: a
    // counted range whose next number would pass the end (a fractional range never meets
    // its end exactly), or a list with no entry after the current one.
    if (state.LastObject == state.CurrentObject || !nextObjectExists())
        endTransfer();
    else
        moveToNextObject();
}

bool Dialogue::nextObjectExists() const {
    if (m_view.listDriven()) return qint64(m_state.ListPosition) + 1 < m_view.listCount();
    return m_state.CurrentObject + 1 <= m_state.LastObject;
}

void Dialogue::endTransfer() {
    TransferState &state = m_state;
    state.ReadStep = 0;
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
    TransferState &state = m_state;
    state.ReadStep = 0;
    if (m_view.listDriven()) {
        ++state.ListPosition;
        state.CurrentObject = valueOf(m_view.listEntry(state.ListPosition));  // past the end: 0
    } else {
        state.CurrentObject += 1;
    }
    m_view.showObject(numberText(state.CurrentObject));
    if (state.WriteInProgress) state.TransferPhase = TransferState::Writing;
}

void Dialogue::send(char byte) {
    if (const std::optional<QString> failure = m_view.send(byte)) m_view.reportFailure(*failure);
}

void Dialogue::sendAddress(AddressPart part) {
    // The address is taken from the current object at the moment each byte goes out.
    const std::optional<int> address = currentAddress();
    if (!address) {
        m_view.reportFailure(QStringLiteral("Object %1 has no address on the device.")
                                 .arg(numberText(m_state.CurrentObject)));
        return;
    }
    if (part == AddressPart::High) m_state.SentHigh = *address / 256;
    send(char(part == AddressPart::High ? *address / 256 : *address % 256));
}

bool Dialogue::addressStillHolds() const {
    const std::optional<int> address = currentAddress();
    return address && *address / 256 == m_state.SentHigh;
}

std::optional<int> Dialogue::currentAddress() const {
    const std::optional<std::int64_t> rounded = roundHalfEven(m_state.CurrentObject);
    if (!rounded || *rounded < 0 || *rounded > 0xFFFF) return std::nullopt;
    return int(*rounded);
}

bool Dialogue::writableObject() const {
    const std::optional<int> address = currentAddress();
    return address && objects::isObject(*address);
}

}  // namespace orvel
