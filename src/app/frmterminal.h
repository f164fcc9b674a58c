#pragma once

#include "app/boxes.h"
#include "app/dialogs.h"
#include "app/frmterminalui.h"
#include "app/lamppanel.h"
#include "app/repaintthrottle.h"
#include "app/transfer.h"
#include "app/valuerecorder.h"
#include "serial/mscomm.h"
#include "table/table.h"

#include <QAction>
#include <QWidget>

#include <memory>

namespace orvel {

class Connection;
class DeviceSession;
class Dialogue;
class EntryFields;
class ObjectListLoader;
class PortEnumerator;
class ReceivePath;
class SerialBackend;
class StatusLine;
class TableOperations;
class TransferControls;
class WindowAccessibility;
class WindowDialogueView;

// The program's one window. It owns the controls, the transfer state and the serial
// control; the reactions live in small classes, one per subsystem, each given only what it
// uses, and this is the one place that wires them together. It sends the device's replies
// to the dialogue or to a table operation.
//
// The controls stand in a client area of their own; a menu bar above it and a status
// line below it hold what the program offers beyond them.
class FrmTerminal final : public QWidget {
    Q_OBJECT
public:
    // `commPort` is the serial control's stored port; `dialogs` replaces the real modal
    // boxes, `ports` the system's list of the ports present (tests); without them the window
    // uses its own.
    explicit FrmTerminal(std::unique_ptr<SerialBackend> backend, qint16 commPort = 1,
                         Dialogs *dialogs = nullptr, const PortEnumerator *ports = nullptr,
                         QWidget *parent = nullptr);
    ~FrmTerminal() override;

    FrmTerminalUi &ui() { return m_ui; }
    TransferState &state() { return m_transfer.state(); }
    MSComm &MSComm1() { return *m_comm; }
    Connection &connection() { return *m_connection; }
    Dialogue &dialogue() { return *m_dialogue; }
    ReceivePath &receivePath() { return *m_receivePath; }

    StatusLine &statusLine() { return *m_status; }
    TableOperations &tableOperations() { return *m_tableOperations; }
    WindowAccessibility &accessibility() { return *m_access; }
    // "COM 1 (/dev/ttyUSB0)": the port as tables and the journal name it.
    QString portLabel() const;
    // Every value the device gave since the program started, the latest for each cell.
    const Table &valuesRead() const { return m_recorder->valuesRead(); }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void load();
    // While a session runs, the device's replies go to it and the Read and Write frames
    // are not available; afterwards the window is as it was.
    void divertReplies(DeviceSession *session);
    void createMenus();
    void updateMenus();
    void showLink();
    void portLost();
    void showPortTips();
    QString journalFolder() const;
    void openJournalFolder();
    void showAbout();
    void transferStarted(bool write);
    void reply(quint8 reply);

    FrmTerminalUi m_ui;
    QWidget *m_client;
    StatusLine *m_status;
    WindowAccessibility *m_access = nullptr;
    QAction *m_compareAction = nullptr;
    QAction *m_restoreAction = nullptr;
    std::unique_ptr<Dialogs> m_ownDialogs;
    Dialogs *m_dialogs;
    std::unique_ptr<PortEnumerator> m_ownPorts;
    const PortEnumerator *m_ports;
    MSComm *m_comm;
    Transfer m_transfer;
    RepaintThrottle m_throttle;
    std::unique_ptr<LampPanel> m_lamps;
    std::unique_ptr<ValueRecorder> m_recorder;
    std::unique_ptr<Boxes> m_boxes;
    EntryFields *m_entryFields;
    std::unique_ptr<WindowDialogueView> m_dialogueView;
    std::unique_ptr<Dialogue> m_dialogue;
    std::unique_ptr<Connection> m_connection;
    std::unique_ptr<TransferControls> m_transferControls;
    std::unique_ptr<ReceivePath> m_receivePath;
    std::unique_ptr<ObjectListLoader> m_objectListLoader;
    std::unique_ptr<TableOperations> m_tableOperations;
    DeviceSession *m_session = nullptr;
    bool m_frame2WasEnabled = false;
    bool m_frame3WasEnabled = false;
};

}  // namespace orvel
