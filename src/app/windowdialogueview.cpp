#include "app/windowdialogueview.h"

#include "app/boxes.h"
#include "app/connection.h"
#include "app/frmterminalui.h"
#include "app/lamppanel.h"
#include "app/porttexts.h"
#include "app/repaintthrottle.h"
#include "app/statusline.h"
#include "app/terminalbox.h"
#include "app/transfer.h"
#include "app/valuerecorder.h"
#include "serial/mscomm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

namespace orvel {

WindowDialogueView::WindowDialogueView(FrmTerminalUi &ui, MSComm &comm, const Transfer &transfer,
                                       ValueRecorder &recorder, StatusLine &status,
                                       LampPanel &lamps, RepaintThrottle &throttle, Boxes &boxes,
                                       Connection &connection)
    : m_ui(ui),
      m_comm(comm),
      m_transfer(transfer),
      m_recorder(recorder),
      m_status(status),
      m_lamps(lamps),
      m_throttle(throttle),
      m_boxes(boxes),
      m_connection(connection) {}

bool WindowDialogueView::listDriven() const { return m_ui.Check4->isChecked(); }

int WindowDialogueView::listCount() const { return m_ui.List1->count(); }

QString WindowDialogueView::listEntry(int position) const {
    const QListWidgetItem *item = m_ui.List1->item(position);
    return item ? item->text() : QString();
}

bool WindowDialogueView::repeatTicked() const { return m_ui.ch_1_0->isChecked(); }

bool WindowDialogueView::onlyData() const { return m_ui.Check1->isChecked(); }

bool WindowDialogueView::deviceMovedOn() const { return m_comm.moreWaiting(); }

void WindowDialogueView::valueRead(int cell, quint8 value) {
    m_recorder.recordValue(m_transfer.state().WriteInProgress ? QStringLiteral("read-back")
                                                              : QStringLiteral("read"),
                           cell, value);
    m_status.objectDone(cell);
}

// On the disk before the value byte goes out, even inside a notification.
void WindowDialogueView::valueWritten(int cell, quint8 value) {
    m_recorder.recordValue(QStringLiteral("write"), cell, value, false);
    m_recorder.flushJournal();
}

void WindowDialogueView::valueInDoubt(int cell, quint8 value) {
    m_recorder.recordInDoubt(cell, value);
    m_status.valueInDoubt(cell);
}

Done<PortFailure> WindowDialogueView::send(char byte) { return m_comm.Output(byte); }

void WindowDialogueView::showActivity(Activity activity) {
    m_lamps.bringImage1ToFront(int(activity), true);
}

void WindowDialogueView::showObject(const QString &text) {
    m_throttle.holdRepaint(m_ui.Label5);
    m_ui.Label5->setText(text);
}

void WindowDialogueView::selectStop() {
    m_status.endTransfer();
    m_ui.Option2[2]->setChecked(true);
    m_ui.Option3[2]->setChecked(true);
}

bool WindowDialogueView::showRepeatDelay(int position) {
    if (position >= m_ui.Combo2->count()) return false;
    m_ui.Combo2->setCurrentIndex(position);
    return true;
}

void WindowDialogueView::showRepeater(int n, const QString &text) {
    m_ui.Text_R[size_t(n)]->setText(text);
}

void WindowDialogueView::appendToTerminal(QStringView text) { m_ui.txtTerm->appendReply(text); }

void WindowDialogueView::clearTerminal() { m_ui.txtTerm->clearText(); }

void WindowDialogueView::reopenLink() {
    m_connection.Disconnect();
    m_connection.Connect();
}

void WindowDialogueView::reportFailure(const QString &text) { m_boxes.failureBox(text); }

void WindowDialogueView::reportSendFailure(const Failure<PortFailure> &failure) {
    reportFailure(portFailureText(failure, m_comm.target()));
}

}  // namespace orvel
