#include "app/connection.h"

#include "app/attempt.h"
#include "app/frmterminal.h"
#include "app/lampimage.h"
#include "app/reactions.h"
#include "serial/mscomm.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <stdexcept>

namespace orvel {

Connection::Connection(FrmTerminal &form) : m_form(form) {
    FrmTerminalUi &ui = form.ui();
    for (int i = 1; i <= 4; ++i)
        reactions::onSelect(ui.Option1[i], i, this, [this](int index) { optionClicked(index); });
    connect(ui.imgNotConnected, &LampImage::clicked, this, &Connection::Connect);
    connect(ui.imgConnected, &LampImage::clicked, this, &Connection::Disconnect);
}

void Connection::optionClicked(int index) {
    MSComm &comm = m_form.MSComm1();
    // While connected the port in use stays; the selection is put back afterwards.
    if (!comm.PortOpen()) attempt([&] { comm.setCommPort(qint16(index)); });
}

void Connection::togglePort() {
    MSComm &comm = m_form.MSComm1();
    try {
        comm.setPortOpen(!comm.PortOpen());
    } catch (const SerialError &error) {
        m_form.failureBox(error.description(), Dialogs::Icon::Exclamation);
    }
}

void Connection::Connect() {
    FrmTerminalUi &ui = m_form.ui();
    TransferState &state = m_form.state();
    togglePort();
    // Whether the port is open is asked again, never taken from the error.
    if (m_form.MSComm1().PortOpen()) {
        attempt([&] { m_form.bringLampToFront(ui.imgConnected); });
        attempt([&] { ui.Frame2->setEnabled(true); });
        attempt([&] { ui.Frame3->setEnabled(true); });
        attempt([&] { ui.Label5->setText(QStringLiteral("Object")); });
        for (QLineEdit *field : {ui.Text1, ui.Text2, ui.Text3, ui.Text4})
            attempt([&] { field->setText(QStringLiteral("1")); });
        state.CurrentObject = 1;
        state.LastObject = 1;
        attempt([&] { ui.Option2[2]->setChecked(true); });
        attempt([&] { ui.Option3[2]->setChecked(true); });
        state.WriteInProgress = false;
        state.TransferPhase = TransferState::Idle;
        state.ReadStep = 0;
        state.WriteStep = 0;
        state.CommandAddress = -1;
        state.ReadBack.reset();
        attempt([&] { ui.ch_1_0->setChecked(false); });
        attempt([&] { ui.ch_1_0->setText(QStringLiteral(" 0 - Disable")); });
        for (int i = 1; i <= 4; ++i) attempt([&] { ui.Option1[i]->setEnabled(false); });
        state.LinkCheckPending = true;
    } else {
        attempt([&] { m_form.bringLampToFront(ui.imgNotConnected); });
    }
    selectPortInUse();
    emit linkChanged();
}

void Connection::Disconnect() {
    FrmTerminalUi &ui = m_form.ui();
    togglePort();
    if (m_form.MSComm1().PortOpen()) {
        attempt([&] { m_form.bringLampToFront(ui.imgConnected); });
    } else {
        attempt([&] { m_form.bringLampToFront(ui.imgNotConnected); });
        attempt([&] { ui.Frame2->setEnabled(false); });
        attempt([&] { ui.Frame3->setEnabled(false); });
        for (int i = 1; i <= 4; ++i) attempt([&] { ui.Option1[i]->setEnabled(true); });
    }
    selectPortInUse();
    emit linkChanged();
}

void Connection::selectPortInUse() {
    attempt([&] {
        const qint16 port = m_form.MSComm1().CommPort();
        if (port < 1 || port > 4) throw std::out_of_range("no option for this port");
        m_form.ui().Option1[port]->setChecked(true);
    });
    attempt([&] { m_form.bringImage1ToFront(3); });
}

}  // namespace orvel
