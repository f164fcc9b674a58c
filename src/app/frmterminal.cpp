#include "app/frmterminal.h"

#include "app/accessibility.h"
#include "app/connection.h"
#include "app/entryfields.h"
#include "app/lampimage.h"
#include "app/objectlistloader.h"
#include "app/portsdialog.h"
#include "app/porttexts.h"
#include "app/statusline.h"
#include "app/terminalbox.h"
#include "app/transfercontrols.h"
#include "app/windowdialogueview.h"
#include "device/devicesession.h"
#include "dialogue/dialogue.h"
#include "journal/journaldirectory.h"
#include "numbers/objects.h"
#include "ports/portassignments.h"
#include "ports/portdescription.h"
#include "ports/portnames.h"
#include "serial/mscomm.h"
#include "serial/receivepath.h"
#include "serial/systemportenumerator.h"
#include "tableops/tableoperations.h"

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>

#include <utility>

namespace orvel {

FrmTerminal::FrmTerminal(std::unique_ptr<SerialBackend> backend, qint16 commPort,
                         Dialogs *dialogs, const PortEnumerator *ports, QWidget *parent)
    : QWidget(parent),
      m_ownDialogs(dialogs ? nullptr : std::make_unique<QtDialogs>()),
      m_dialogs(dialogs ? dialogs : m_ownDialogs.get()),
      m_ownPorts(ports ? nullptr : std::make_unique<SystemPortEnumerator>()),
      m_ports(ports ? ports : m_ownPorts.get()),
      m_comm(new MSComm(std::move(backend), commPort, this)) {
    m_comm->setObjectName(QStringLiteral("MSComm1"));
    // The window's controls keep their places in a client area of their own, between the
    // menu bar and the status line.
    m_client = new QWidget(this);
    WindowAccessibility::install();
    m_ui.setupUi(m_client);
    // The object number changes with every object of a transfer: at a fixed size the label
    // does not ask its frame for a new layout (an event posted) each time.
    m_ui.Label5->setFixedSize(m_ui.Label5->size());
    m_client->setObjectName(QStringLiteral("clientArea"));
    m_client->setFixedSize(m_client->size());
    setObjectName(QStringLiteral("frmTerminal"));
    setWindowTitle(m_client->windowTitle());
    setWindowIcon(m_client->windowIcon());
    m_status = new StatusLine(this);
    m_access = new WindowAccessibility(m_ui, m_status, this);
    m_lamps = std::make_unique<LampPanel>(m_ui, *m_access, m_throttle);
    m_recorder = std::make_unique<ValueRecorder>(*m_comm, *m_status);
    connect(m_comm, &MSComm::handedOver, this, [this] { m_recorder->flushJournal(); });
    m_boxes = std::make_unique<Boxes>(*m_dialogs, *this, *m_comm, *m_recorder);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(m_client);
    layout->addWidget(m_status);

    m_entryFields = new EntryFields(m_ui, this);
    m_connection =
        std::make_unique<Connection>(m_ui, *m_comm, m_transfer, *m_lamps, *m_boxes, *m_ports);
    m_dialogueView = std::make_unique<WindowDialogueView>(
        m_ui, *m_comm, m_transfer, *m_recorder, *m_status, *m_lamps, m_throttle, *m_boxes,
        *m_connection);
    m_dialogue = std::make_unique<Dialogue>(m_transfer.state(), *m_dialogueView);
    m_transferControls = std::make_unique<TransferControls>(m_ui, m_transfer, *m_boxes);
    m_receivePath =
        std::make_unique<ReceivePath>(*m_comm, [this](quint8 reply) { this->reply(reply); });
    m_objectListLoader = std::make_unique<ObjectListLoader>(m_ui.Command1, m_ui.List1, *m_boxes);
    m_tableOperations = std::make_unique<TableOperations>(
        *this, *m_comm, *m_status, *m_recorder, *m_boxes,
        [this](DeviceSession *session) { divertReplies(session); });
    connect(m_connection.get(), &Connection::linkChanged, this, &FrmTerminal::showLink);
    connect(m_transferControls.get(), &TransferControls::transferStarted, this,
            &FrmTerminal::transferStarted);
    connect(m_comm->backend(), &SerialBackend::portLost, this, &FrmTerminal::portLost);
    connect(m_comm->backend(), &SerialBackend::readyRead, m_status, &StatusLine::deviceHeard);
    createMenus();
    layout->activate();
    load();
    showPortTips();
    showLink();
}

void FrmTerminal::createMenus() {
    auto *bar = new QMenuBar(this);
    layout()->setMenuBar(bar);
    QMenu *file = bar->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&Objects num…"), m_objectListLoader.get(),
                    &ObjectListLoader::Command1Clicked);
    file->addAction(QStringLiteral("&Save table…"), QKeySequence::Save,
                    m_tableOperations.get(), &TableOperations::saveTable);
    file->addAction(QStringLiteral("&Profile…"), m_tableOperations.get(),
                    &TableOperations::chooseProfile);
    file->addAction(QStringLiteral("Open &journal folder"), this,
                    &FrmTerminal::openJournalFolder);
    file->addSeparator();
    file->addAction(QStringLiteral("&Quit"), QKeySequence::Quit, this, &QWidget::close);

    QMenu *device = bar->addMenu(QStringLiteral("&Device"));
    m_compareAction = device->addAction(QStringLiteral("&Compare with table…"),
                                        m_tableOperations.get(), &TableOperations::compare);
    m_restoreAction = device->addAction(QStringLiteral("&Restore table…"),
                                        m_tableOperations.get(), &TableOperations::restore);
    device->addSeparator();
    device->addAction(QStringLiteral("Serial &ports…"), this, [this] {
        SystemPortEnumerator ports;
        PortAssignments assignments;
        if (!showPortsDialog(this, ports, assignments)) return;
        showPortTips();
        showLink();
    });
    connect(device, &QMenu::aboutToShow, this, &FrmTerminal::updateMenus);
    m_access->addConnectActions(bar, device);

    QMenu *help = bar->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("&About"), this, &FrmTerminal::showAbout);
    updateMenus();
}

QString FrmTerminal::journalFolder() const { return m_recorder->journalFolder(); }

// Where no program opens folders (no xdg-open), the operator still learns where it is.
void FrmTerminal::openJournalFolder() {
    const QString folder = journalFolder();
    [[maybe_unused]] const auto made = makePrivateDirectory(folder);  // named either way
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) return;
    m_boxes->messageBox(QStringLiteral("No program to open folders is installed here (xdg-open, "
                                       "of xdg-utils, opens them). The journal is in this "
                                       "folder:\n\n%1")
                            .arg(folder));
}

void FrmTerminal::showAbout() {
    m_boxes->aboutBox(
        QStringLiteral("About Orvel programator"),
        QStringLiteral("Orvel programator %1\n\nReads and programs the object table of an "
                       "Orvel device over a serial line. Every value read or written is "
                       "kept in the journal, in %2.\n\nThe ports chosen under Serial ports "
                       "are kept in %3.")
            .arg(QStringLiteral(ORVEL_VERSION), journalFolder(), PortAssignments::settingsFile()));
}

// Compare and Restore need the device to themselves: connected, and no transfer running.
void FrmTerminal::updateMenus() {
    const TransferState &state = m_transfer.state();
    const bool free = m_comm->PortOpen() && state.TransferPhase == TransferState::Idle &&
                      !m_session && !state.commandInFlight();
    m_compareAction->setEnabled(free);
    m_restoreAction->setEnabled(free);
}

// The system's port list takes a scan of the devices: made at start-up and after the Serial
// ports dialog, not at every connection.
void FrmTerminal::showPortTips() {
    const PortAssignments assignments;
    const QList<PortInfo> present = withAssignedPorts(SystemPortEnumerator().ports(), assignments);
    for (int i = 1; i <= 4; ++i)
        m_ui.Option1[i]->setToolTip(comPortToolTip(i, assignments, present));
}

void FrmTerminal::showLink() {
    // Kept for the journal's lines: the port's name is read from the settings, too slow
    // to read again for every value.
    m_recorder->setPortLabel(portLabel());
    if (m_comm->PortOpen())
        m_status->portOpened();
    else
        m_status->portClosed();
    m_status->showPort(m_comm->PortOpen()
                           ? QStringLiteral("%1, connected").arg(m_recorder->portLabel())
                           : QStringLiteral("Not connected (COM %1 is %2)")
                                 .arg(m_comm->CommPort())
                                 .arg(devicePathForPort(m_comm->CommPort())));
    updateMenus();
}

// Nothing more can come: the port is closed as Disconnect closes it, once a reaction under
// way (maybe with its box open) has finished, and the status line says why.
void FrmTerminal::portLost() {
    if (m_comm->delivering()) {
        connect(m_comm, &MSComm::handedOver, this, &FrmTerminal::portLost,
                Qt::SingleShotConnection);
        return;
    }
    if (!m_comm->PortOpen()) return;  // the operator disconnected meanwhile
    const QString port = m_recorder->portLabel();
    m_connection->Disconnect();
    if (!m_comm->PortOpen())
        m_status->showPortLost(QStringLiteral("%1, lost").arg(port), lostPortText(m_comm->target()));
}

QString FrmTerminal::portLabel() const {
    return QStringLiteral("COM %1 (%2)")
        .arg(m_comm->CommPort())
        .arg(devicePathForPort(m_comm->CommPort()));
}

void FrmTerminal::transferStarted(bool write) {
    qint64 total = 0;
    if (m_ui.Check4->isChecked())
        total = m_ui.List1->count();
    else if (const TransferState &state = m_transfer.state();
             state.LastObject >= state.CurrentObject)
        total = qint64(std::floor(state.LastObject - state.CurrentObject)) + 1;
    m_status->startTransfer(write ? QStringLiteral("Write") : QStringLiteral("Read"), total);
}

void FrmTerminal::reply(quint8 reply) {
    if (m_session)
        m_session->receive(reply, m_comm->moreWaiting());
    else
        m_dialogue->ProcessReply(reply);
}

void FrmTerminal::divertReplies(DeviceSession *session) {
    if (session && !m_session) {
        m_frame2WasEnabled = m_ui.Frame2->isEnabled();
        m_frame3WasEnabled = m_ui.Frame3->isEnabled();
        m_ui.Frame2->setEnabled(false);
        m_ui.Frame3->setEnabled(false);
    } else if (!session && m_session) {
        // Disconnected meanwhile (a lost port): they stay locked.
        m_ui.Frame2->setEnabled(m_frame2WasEnabled && m_comm->PortOpen());
        m_ui.Frame3->setEnabled(m_frame3WasEnabled && m_comm->PortOpen());
    }
    m_session = session;
    updateMenus();
}

FrmTerminal::~FrmTerminal() {
    m_comm->disconnect(this);  // the control outlives the members its signals reach
    // The list's model empties itself only once the list is half gone: nothing may be told.
    m_ui.List1->model()->disconnect(m_access);
}

void FrmTerminal::load() {
    // Start-up: a step that cannot be done (a port number with no option) is skipped.
    m_ui.txtTerm->clearText();
    QPalette palette = m_ui.txtTerm->palette();
    palette.setColor(QPalette::Text, QColor(0, 0, 255));
    m_ui.txtTerm->setPalette(palette);
    m_lamps->bringLampToFront(m_ui.imgNotConnected);
    m_lamps->bringImage1ToFront(3);
    if (const QScreen *screen = this->screen()) {
        const QRect area = screen->geometry();
        move(int((area.width() - width()) / 2.0), int((area.height() - height()) / 2.0));
    }
    if (const qint16 port = m_comm->CommPort(); port >= 1 && port <= 4)
        m_ui.Option1[port]->setChecked(true);
    m_ui.Label5->setText(QStringLiteral("Object"));
    m_ui.Frame2->setEnabled(false);
    m_ui.Frame3->setEnabled(false);
    for (QLineEdit *field : {m_ui.Text1, m_ui.Text2, m_ui.Text3, m_ui.Text4})
        field->setText(QStringLiteral("1"));
    // The transfer state starts as start-up leaves it (Transfer).
    m_ui.ch_1_0->setChecked(false);
    m_ui.ch_1_0->setText(QStringLiteral(" 0 - Disable"));
}

void FrmTerminal::closeEvent(QCloseEvent *event) {
    if (!m_tableOperations->mayClose()) {
        event->ignore();
        return;
    }
    // Shutdown closes the port if it is open; the window closes in any case.
    if (const Done<PortFailure> closed = m_comm->setPortOpen(false); !closed)
        m_boxes->messageBox(portFailureText(closed.failure(), m_comm->target()),
                            Dialogs::Icon::Exclamation);
    event->accept();
}

}  // namespace orvel
