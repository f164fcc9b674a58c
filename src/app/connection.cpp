#include "app/connection.h"

#include "app/attempt.h"
#include "app/boxes.h"
#include "app/frmterminalui.h"
#include "app/lampimage.h"
#include "app/lamppanel.h"
#include "app/reactions.h"
#include "app/transfer.h"
#include "serial/mscomm.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <stdexcept>

namespace orvel {

Connection::Connection(FrmTerminalUi &ui, MSComm &comm, Transfer &transfer, LampPanel &lamps,
                       Boxes &boxes)
    : m_ui(ui), m_comm(comm), m_transfer(transfer), m_lamps(lamps), m_boxes(boxes) {
    for (int i = 1; i <= 4; ++i)
        reactions::onSelect(ui.Option1[i], i, this, [this](int index) { optionClicked(index); });
    connect(ui.imgNotConnected, &LampImage::clicked, this, &Connection::Connect);
    connect(ui.imgConnected, &LampImage::clicked, this, &Connection::Disconnect);
}

void Connection::optionClicked(int index) {
    MSComm &comm = m_comm;
    // While connected the port in use stays; the selection is put back afterwards.
    if (!comm.PortOpen()) attempt([&] { comm.setCommPort(qint16(index)); });
}

void Connection::togglePort() {
    MSComm &comm = m_comm;
    try {
        comm.setPortOpen(!comm.PortOpen());
    } catch (const SerialError &error) {
        m_boxes.failureBox(error.description(), Dialogs::Icon::Exclamation);
    }
}

void Connection::Connect() {
    FrmTerminalUi &ui = m_ui;
    togglePort();
    // Whether the port is open is asked again, never taken from the error.
    if (m_comm.PortOpen()) {
        attempt([&] { m_lamps.bringLampToFront(ui.imgConnected); });
        attempt([&] { ui.Frame2->setEnabled(true); });
        attempt([&] { ui.Frame3->setEnabled(true); });
        attempt([&] { ui.Label5->setText(QStringLiteral("Object")); });
        for (QLineEdit *field : {ui.Text1, ui.Text2, ui.Text3, ui.Text4})
            attempt([&] { field->setText(QStringLiteral("1")); });
        // Before Stop is selected: a transfer it stops ends at object 1.
        m_transfer.connectReset();
        attempt([&] { ui.Option2[2]->setChecked(true); });
        attempt([&] { ui.Option3[2]->setChecked(true); });
        attempt([&] { ui.ch_1_0->setChecked(false); });
        attempt([&] { ui.ch_1_0->setText(QStringLiteral(" 0 - Disable")); });
        for (int i = 1; i <= 4; ++i) attempt([&] { ui.Option1[i]->setEnabled(false); });
    } else {
        attempt([&] { m_lamps.bringLampToFront(ui.imgNotConnected); });
    }
    selectPortInUse();
    emit linkChanged();
}

void Connection::Disconnect() {
    FrmTerminalUi &ui = m_ui;
    togglePort();
    if (m_comm.PortOpen()) {
        attempt([&] { m_lamps.bringLampToFront(ui.imgConnected); });
    } else {
        attempt([&] { m_lamps.bringLampToFront(ui.imgNotConnected); });
        attempt([&] { ui.Frame2->setEnabled(false); });
        attempt([&] { ui.Frame3->setEnabled(false); });
        for (int i = 1; i <= 4; ++i) attempt([&] { ui.Option1[i]->setEnabled(true); });
    }
    selectPortInUse();
    emit linkChanged();
}

void Connection::selectPortInUse() {
    attempt([&] {
        const qint16 port = m_comm.CommPort();
        if (port < 1 || port > 4) throw std::out_of_range("no option for this port");
        m_ui.Option1[port]->setChecked(true);
    });
    attempt([&] { m_lamps.bringImage1ToFront(3); });
}

}  // namespace orvel
