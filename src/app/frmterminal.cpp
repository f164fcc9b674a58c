#include "app/frmterminal.h"

#include "app/attempt.h"
#include "app/entryfields.h"
#include "app/lampimage.h"
#include "dialogue/dialogue.h"
#include "dialogue/terminalbox.h"
#include "dialogue/transfercontrols.h"
#include "objfile/objectlistloader.h"
#include "serial/connection.h"
#include "serial/mscomm.h"
#include "serial/receivepath.h"

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>

#include <utility>

namespace orvel {

FrmTerminal::FrmTerminal(std::unique_ptr<SerialBackend> backend, qint16 commPort,
                         Dialogs *dialogs, QWidget *parent)
    : QWidget(parent),
      m_ownDialogs(dialogs ? nullptr : std::make_unique<QtDialogs>()),
      m_dialogs(dialogs ? dialogs : m_ownDialogs.get()),
      m_comm(new MSComm(std::move(backend), commPort, this)) {
    m_comm->setObjectName(QStringLiteral("MSComm1"));
    m_frameTimer.setSingleShot(true);
    m_frameTimer.setInterval(std::chrono::milliseconds(15));
    connect(&m_frameTimer, &QTimer::timeout, this, [this] {
        for (const QPointer<QWidget> &widget : std::exchange(m_heldRepaints, {}))
            if (widget) widget->setUpdatesEnabled(true);  // and repaints it
    });
    m_ui.setupUi(this);
    m_entryFields = new EntryFields(m_ui, this);
    m_connection = std::make_unique<Connection>(*this);
    m_dialogue = std::make_unique<Dialogue>(m_state, static_cast<DialogueView &>(*this));
    m_transferControls = std::make_unique<TransferControls>(*this);
    m_receivePath = std::make_unique<ReceivePath>(
        *m_comm, [this](quint8 reply) { m_dialogue->ProcessReply(reply); });
    m_objectListLoader = std::make_unique<ObjectListLoader>(*this);
    load();
}

FrmTerminal::~FrmTerminal() = default;

void FrmTerminal::load() {
    // Start-up: each step is tried; one that fails is skipped without a message.
    attempt([&] { m_ui.txtTerm->clearText(); });
    attempt([&] {
        QPalette palette = m_ui.txtTerm->palette();
        palette.setColor(QPalette::Text, QColor(0, 0, 255));
        m_ui.txtTerm->setPalette(palette);
    });
    attempt([&] { bringLampToFront(m_ui.imgNotConnected); });
    attempt([&] { bringImage1ToFront(3); });
    attempt([&] {
        if (const QScreen *screen = this->screen()) {
            const QRect area = screen->geometry();
            move(int((area.width() - width()) / 2.0), int((area.height() - height()) / 2.0));
        }
    });
    attempt([&] {
        const qint16 port = m_comm->CommPort();
        if (port < 1 || port > 4) throw std::out_of_range("no option for this port");
        m_ui.Option1[port]->setChecked(true);
    });
    attempt([&] { m_ui.Label5->setText(QStringLiteral("Object")); });
    attempt([&] { m_ui.Frame2->setEnabled(false); });
    attempt([&] { m_ui.Frame3->setEnabled(false); });
    for (QLineEdit *field : {m_ui.Text1, m_ui.Text2, m_ui.Text3, m_ui.Text4})
        attempt([&] { field->setText(QStringLiteral("1")); });
    m_state.CurrentObject = 1;
    m_state.LastObject = 1;
    m_state.WriteInProgress = false;
    m_state.TransferPhase = TransferState::Idle;
    m_state.ReadStep = 0;
    m_state.WriteStep = 0;
    attempt([&] { m_ui.ch_1_0->setChecked(false); });
    attempt([&] { m_ui.ch_1_0->setText(QStringLiteral(" 0 - Disable")); });
}

void FrmTerminal::closeEvent(QCloseEvent *event) {
    // Shutdown closes the port if it is open; the window closes in any case.
    if (m_comm->PortOpen()) {
        try {
            m_comm->setPortOpen(false);
        } catch (const SerialError &error) {
            messageBox(error.description(), Dialogs::Icon::Exclamation);
        }
    }
    event->accept();
}

void FrmTerminal::messageBox(const QString &text, Dialogs::Icon icon) {
    MSComm::Hold hold(m_comm);
    m_dialogs->message(this, text, icon);
}

std::optional<QString> FrmTerminal::openFileDialog(const Dialogs::OpenFileRequest &request) {
    MSComm::Hold hold(m_comm);
    return m_dialogs->openFile(this, request);
}

void FrmTerminal::bringLampToFront(LampImage *lamp) {
    LampImage *behind = lamp == m_ui.imgConnected ? m_ui.imgNotConnected : m_ui.imgConnected;
    lamp->raise();
    lamp->setAttribute(Qt::WA_TransparentForMouseEvents, false);
    behind->setAttribute(Qt::WA_TransparentForMouseEvents, true);
}

void FrmTerminal::repaintAtNextFrame(QWidget *widget) {
    if (!widget->updatesEnabled()) return;  // already held
    widget->setUpdatesEnabled(false);
    m_heldRepaints.append(widget);
    if (!m_frameTimer.isActive()) m_frameTimer.start();
}

void FrmTerminal::bringImage1ToFront(int index, bool atNextFrame) {
    if (index == m_image1Front) return;  // raising costs a repaint; most bytes change nothing
    if (atNextFrame) repaintAtNextFrame(m_ui.Image1[index]);
    m_ui.Image1[index]->raise();
    m_image1Front = index;
}

bool FrmTerminal::listDriven() const { return m_ui.Check4->isChecked(); }

int FrmTerminal::listCount() const { return m_ui.List1->count(); }

QString FrmTerminal::listEntry(int position) const {
    const QListWidgetItem *item = m_ui.List1->item(position);
    return item ? item->text() : QString();
}

bool FrmTerminal::repeatTicked() const { return m_ui.ch_1_0->isChecked(); }

bool FrmTerminal::onlyData() const { return m_ui.Check1->isChecked(); }

bool FrmTerminal::deviceMovedOn() const { return m_comm->moreWaiting(); }

std::optional<QString> FrmTerminal::send(char byte) {
    try {
        m_comm->Output(byte);
    } catch (const SerialError &error) {
        return error.description();
    }
    return std::nullopt;
}

void FrmTerminal::showActivity(Activity activity) { bringImage1ToFront(int(activity), true); }

void FrmTerminal::showObject(const QString &text) {
    repaintAtNextFrame(m_ui.Label5);
    m_ui.Label5->setText(text);
}

void FrmTerminal::selectStop() {
    m_ui.Option2[2]->setChecked(true);
    m_ui.Option3[2]->setChecked(true);
}

bool FrmTerminal::showRepeatDelay(int position) {
    if (position >= m_ui.Combo2->count()) return false;
    m_ui.Combo2->setCurrentIndex(position);
    return true;
}

void FrmTerminal::showRepeater(int n, const QString &text) { m_ui.Text_R[size_t(n)]->setText(text); }

void FrmTerminal::appendToTerminal(QStringView text) { m_ui.txtTerm->appendReply(text); }

void FrmTerminal::clearTerminal() { m_ui.txtTerm->clearText(); }

void FrmTerminal::reopenLink() {
    m_connection->Disconnect();
    m_connection->Connect();
}

void FrmTerminal::reportFailure(const QString &text) { messageBox(text); }

}  // namespace orvel
