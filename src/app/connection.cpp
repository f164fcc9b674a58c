#include "app/connection.h"

#include "app/boxes.h"
#include "app/frmterminalui.h"
#include "app/lampimage.h"
#include "app/lamppanel.h"
#include "app/porttexts.h"
#include "app/reactions.h"
#include "app/transfer.h"
#include "ports/portenumerator.h"
#include "serial/mscomm.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace orvel {

Connection::Connection(FrmTerminalUi &ui, MSComm &comm, Transfer &transfer, LampPanel &lamps,
                       Boxes &boxes, const PortEnumerator &present)
    : m_ui(ui),
      m_comm(comm),
      m_transfer(transfer),
      m_lamps(lamps),
      m_boxes(boxes),
      m_present(present) {
    for (int i = 1; i <= 4; ++i)
        reactions::onSelect(ui.Option1[i], i, this, [this](int index) { optionClicked(index); });
    connect(ui.imgNotConnected, &LampImage::clicked, this, &Connection::Connect);
    connect(ui.imgConnected, &LampImage::clicked, this, &Connection::Disconnect);
}

void Connection::optionClicked(int index) {
    // While connected the port in use stays; the selection is put back afterwards. The
    // control refuses nothing else here: the options are COM 1 to COM 4.
    if (!m_comm.PortOpen()) static_cast<void>(m_comm.setCommPort(qint16(index)));
}

void Connection::togglePort() {
    const bool opening = !m_comm.PortOpen();
    const Done<PortFailure> done = m_comm.setPortOpen(opening);
    if (done) return;
    const PortTarget &target = m_comm.target();
    m_boxes.failureBox(opening ? openFailureText(done.failure(), m_comm.CommPort(), target.path,
                                                 m_present.ports())
                               : portFailureText(done.failure(), target),
                       Dialogs::Icon::Exclamation);
}

void Connection::Connect() {
    FrmTerminalUi &ui = m_ui;
    togglePort();
    // Whether the port is open is asked again, never taken from the error.
    if (m_comm.PortOpen()) {
        m_lamps.bringLampToFront(ui.imgConnected);
        ui.Frame2->setEnabled(true);
        ui.Frame3->setEnabled(true);
        ui.Label5->setText(QStringLiteral("Object"));
        for (QLineEdit *field : {ui.Text1, ui.Text2, ui.Text3, ui.Text4})
            field->setText(QStringLiteral("1"));
        // Before Stop is selected: a transfer it stops ends at object 1.
        m_transfer.connectReset();
        ui.Option2[2]->setChecked(true);
        ui.Option3[2]->setChecked(true);
        ui.ch_1_0->setChecked(false);
        ui.ch_1_0->setText(QStringLiteral(" 0 - Disable"));
        for (int i = 1; i <= 4; ++i) ui.Option1[i]->setEnabled(false);
    } else {
        m_lamps.bringLampToFront(ui.imgNotConnected);
    }
    selectPortInUse();
    emit linkChanged();
}

void Connection::Disconnect() {
    FrmTerminalUi &ui = m_ui;
    togglePort();
    if (m_comm.PortOpen()) {
        m_lamps.bringLampToFront(ui.imgConnected);
    } else {
        m_lamps.bringLampToFront(ui.imgNotConnected);
        ui.Frame2->setEnabled(false);
        ui.Frame3->setEnabled(false);
        for (int i = 1; i <= 4; ++i) ui.Option1[i]->setEnabled(true);
    }
    selectPortInUse();
    emit linkChanged();
}

void Connection::selectPortInUse() {
    // A port number with no option selects none.
    if (const qint16 port = m_comm.CommPort(); port >= 1 && port <= 4)
        m_ui.Option1[port]->setChecked(true);
    m_lamps.bringImage1ToFront(3);
}

}  // namespace orvel
