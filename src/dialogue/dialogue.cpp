#include "dialogue/dialogue.h"

#include "app/frmterminal.h"
#include "app/textrules.h"
#include "dialogue/terminalbox.h"
#include "serial/connection.h"
#include "serial/mscomm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

namespace orvel {
namespace {

const QString kReady = QStringLiteral("172");
const QString kAcknowledge = QStringLiteral("202");

constexpr int kFirstSetting = 8176;  // cells 8176..8191 hold the device's settings
constexpr int kLastSetting = 8191;
constexpr int kLastObject = 8175;

}  // namespace

Dialogue::Dialogue(FrmTerminal &form) : m_form(form) {}

void Dialogue::ProcessReply(TerminalBox &txtTerm, QString reply) {
    TransferState &state = m_form.state();
    if (m_tap) m_tap(reply);

    // After connecting, the first byte must be the device's ready byte; anything else
    // means we are not talking to the device yet, so the link is opened again.
    if (state.LinkCheckPending) {
        state.LinkCheckPending = false;
        if (reply != kReady) {
            txtTerm.clearText();
            m_form.connection().Disconnect();
            m_form.connection().Connect();
            return;
        }
    }

    // At the last read step every byte is the value, 172 and 202 included.
    if ((reply == kReady || reply == kAcknowledge) && state.ReadStep == 4) reply += u'*';

    switch (state.TransferPhase) {
    case 1:
        m_form.bringImage1ToFront(1, true);
        readPhase(reply);
        break;
    case 2:
        m_form.bringImage1ToFront(2, true);
        writePhase(reply);
        break;
    default:
        break;
    }

    if (state.TransferPhase == 0 && reply == kReady) m_form.bringImage1ToFront(0, true);
    display(txtTerm, std::move(reply));
}

void Dialogue::readPhase(QString &reply) {
    TransferState &state = m_form.state();
    if (reply == kReady) {
        if (state.ReadStep == 0) {
            state.ReadStep = 1;
        } else if (state.ReadStep == 1) {
            send(kReadCommand);
            state.ReadStep = 2;
        }
    } else if (reply == kAcknowledge) {
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
    } else {
        valueArrived(reply);
    }
}

void Dialogue::writePhase(const QString &reply) {
    TransferState &state = m_form.state();
    if (reply == kReady) {
        if (state.WriteStep == 0) {
            state.WriteStep = 1;
        } else if (state.WriteStep == 1) {
            if (writableObject()) {
                send(kWriteCommand);
                state.WriteStep = 2;
            } else {
                // Never write a cell that is not an object: read it back only.
                state.WriteStep = 0;
                state.TransferPhase = 1;
            }
        }
        return;
    }
    if (reply != kAcknowledge) return;  // data bytes mean nothing while writing
    switch (state.WriteStep) {
    case 2:
    case 3:
        if (!writableObject() || (state.WriteStep == 3 && !addressStillHolds())) {
            // The object changed under a running write (Stop, a new range or list) to one
            // that is no object, or between the two address bytes, where the low byte would
            // complete a cell nobody chose: give the write up; the device times out and
            // the read-back follows.
            state.WriteStep = 0;
            state.TransferPhase = 1;
            return;
        }
        sendAddress(state.WriteStep == 2 ? AddressPart::High : AddressPart::Low);
        ++state.WriteStep;
        break;
    case 4:
        send(m_form.ui().ch_1_0->isChecked() ? char(1) : char(0));
        state.WriteStep = 5;
        break;
    case 5:
        state.WriteStep = 0;
        state.TransferPhase = 1;
        break;
    default:
        break;
    }
}

void Dialogue::valueArrived(QString &reply) {
    TransferState &state = m_form.state();
    if (reply.endsWith(u'*')) reply.chop(1);

    if (const std::optional<int> index = currentAddress(); index && *index <= kLastSetting) {
        state.DeviceMemory[size_t(*index)] = quint8(valueOf(reply));
    } else {
        m_form.messageBox(QStringLiteral("The value %1 arrived for object %2, which has no "
                                         "cell in the device (0 to 8191); it is not kept.")
                              .arg(reply, numberText(state.CurrentObject)));
    }

    reply += QStringLiteral(" - ") + numberText(state.CurrentObject) + QStringLiteral("\n\r");

    // A transfer ends at its last object. It also ends where no next object exists: a
    // counted range whose next number would pass the end (a fractional range never meets
    // its end exactly), or a list with no entry after the current one.
    if (state.LastObject == state.CurrentObject || !nextObjectExists())
        endTransfer();
    else
        moveToNextObject();
}

bool Dialogue::nextObjectExists() const {
    const TransferState &state = m_form.state();
    if (m_form.ui().Check4->isChecked())
        return qint64(state.ListPosition) + 1 < m_form.ui().List1->count();
    return state.CurrentObject + 1 <= state.LastObject;
}

void Dialogue::endTransfer() {
    TransferState &state = m_form.state();
    FrmTerminalUi &ui = m_form.ui();
    state.ReadStep = 0;
    state.TransferPhase = 0;
    ui.Option2[2]->setChecked(true);  // the Stop reactions run here, nested
    ui.Option3[2]->setChecked(true);
    state.WriteInProgress = false;

    const int delay = state.DeviceMemory[kFirstSetting];
    if (delay < ui.Combo2->count())
        ui.Combo2->setCurrentIndex(delay);
    else
        m_form.messageBox(QStringLiteral("The device's repeat delay setting %1 is not one of "
                                         "the %2 known delays.")
                              .arg(delay)
                              .arg(ui.Combo2->count()));
    for (int n = 1; n <= 15; ++n)
        ui.Text_R[n]->setText(numberText(state.DeviceMemory[size_t(kFirstSetting + n)]));
}

void Dialogue::moveToNextObject() {
    TransferState &state = m_form.state();
    FrmTerminalUi &ui = m_form.ui();
    state.ReadStep = 0;
    if (ui.Check4->isChecked()) {
        ++state.ListPosition;
        const QListWidgetItem *item = ui.List1->item(state.ListPosition);
        state.CurrentObject = item ? valueOf(item->text()) : 0.0;
    } else {
        state.CurrentObject += 1;
    }
    m_form.repaintAtNextFrame(ui.Label5);
    ui.Label5->setText(numberText(state.CurrentObject));
    if (state.WriteInProgress) state.TransferPhase = 2;
}

void Dialogue::display(TerminalBox &txtTerm, QString reply) {
    const bool onlyData = m_form.ui().Check1->isChecked();
    if (gateReply(m_form.state().CurrentObject, onlyData, reply)) txtTerm.appendReply(reply);
}

void Dialogue::send(char byte) {
    try {
        m_form.MSComm1().Output(byte);
    } catch (const SerialError &error) {
        m_form.messageBox(error.description());
    }
}

void Dialogue::sendAddress(AddressPart part) {
    // The address is taken from the current object at the moment each byte goes out.
    const std::optional<int> address = currentAddress();
    if (!address) {
        m_form.messageBox(QStringLiteral("Object %1 has no address on the device.")
                              .arg(numberText(m_form.state().CurrentObject)));
        return;
    }
    if (part == AddressPart::High) m_sentHigh = *address / 256;
    send(char(part == AddressPart::High ? *address / 256 : *address % 256));
}

bool Dialogue::addressStillHolds() const {
    const std::optional<int> address = currentAddress();
    return address && *address / 256 == m_sentHigh;
}

std::optional<int> Dialogue::currentAddress() const {
    const std::optional<std::int64_t> rounded = roundHalfEven(m_form.state().CurrentObject);
    if (!rounded || *rounded < 0 || *rounded > 0xFFFF) return std::nullopt;
    return int(*rounded);
}

bool Dialogue::writableObject() const {
    const std::optional<int> address = currentAddress();
    return address && *address >= 1 && *address <= kLastObject;
}

}  // namespace orvel
