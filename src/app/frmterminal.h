#pragma once

#include "app/dialogs.h"
#include "app/frmterminalui.h"
#include "dialogue/dialogueview.h"
#include "dialogue/transferstate.h"
#include "journal/localclock.h"
#include "serial/mscomm.h"
#include "table/table.h"

#include <QAction>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace orvel {

class Connection;
class DeviceSession;
class Dialogue;
class EntryFields;
class Journal;
class LampImage;
class ObjectListLoader;
class ReceivePath;
class SerialBackend;
class StatusLine;
class TableOperations;
class TransferControls;
class WindowAccessibility;

// The program's one window. It owns the controls, the transfer state and the serial
// control; the reactions live in small classes, one per subsystem, and this is the one
// place that wires them together. It is the dialogue's view of the controls.
//
// The controls stand in a client area of their own; a menu bar above it and a status
// line below it hold what the program offers beyond them.
class FrmTerminal final : public QWidget, private DialogueView {
    Q_OBJECT
public:
    // `commPort` is the serial control's stored port; `dialogs` replaces the real modal
    // boxes (tests); without it the window uses its own.
    explicit FrmTerminal(std::unique_ptr<SerialBackend> backend, qint16 commPort = 1,
                         Dialogs *dialogs = nullptr, QWidget *parent = nullptr);
    ~FrmTerminal() override;

    FrmTerminalUi &ui() { return m_ui; }
    TransferState &state() { return m_state; }
    MSComm &MSComm1() { return *m_comm; }
    Connection &connection() { return *m_connection; }
    Dialogue &dialogue() { return *m_dialogue; }
    ReceivePath &receivePath() { return *m_receivePath; }

    // A message box with one OK button titled "Orvel programator". No serial notification
    // runs while it is open; what arrives meanwhile follows when it closes.
    void messageBox(const QString &text, Dialogs::Icon icon = Dialogs::Icon::None);
    // The same titled "Orvel prg", as the window of old titles the failure of a port toggle
    // and of a step of the dialogue.
    void failureBox(const QString &text, Dialogs::Icon icon = Dialogs::Icon::None);
    std::optional<QString> openFileDialog(const Dialogs::OpenFileRequest &request);
    std::optional<QString> saveFileDialog(const Dialogs::OpenFileRequest &request);
    bool question(const QString &text);

    StatusLine &statusLine() { return *m_status; }
    TableOperations &tableOperations() { return *m_tableOperations; }
    WindowAccessibility &accessibility() { return *m_access; }
    // "COM 1 (/dev/ttyUSB0)": the port as tables and the journal name it.
    QString portLabel() const;
    // Every value the device gave since the program started, the latest for each cell.
    const Table &valuesRead() const { return m_valuesRead; }
    // Keeps a value the device gave (or took) in the journal and, when read, in the
    // values read; `operation` names what it was for ("read", "write", "compare", ...).
    void recordValue(const QString &operation, int cell, int value, bool read = true);
    // Writes the journal lines put off while the device waited for an answer.
    void flushJournal();
    // While a session runs, the device's replies go to it and the Read and Write frames
    // are not available; afterwards the window is as it was.
    void divertReplies(DeviceSession *session);

    // Shows a change of `widget` later instead of on the next pass of the event loop: its
    // state changes at once, its repaint waits (100 ms at most, as often as a person can
    // read it). A fast device moves the object number and the activity lamp thousands of
    // times a second, and each repaint would hold an answer back.
    void repaintAtNextFrame(QWidget *widget);

    // Brings element `index` of Image1 in front of the others; `atNextFrame` as above.
    void bringImage1ToFront(int index, bool atNextFrame = false);
    // Brings one connection lamp in front of the other. The lamp behind is also taken
    // out of reach: it is a pixel larger, and a click on its edge would toggle the port
    // the wrong way (opening it without the connect steps).
    void bringLampToFront(LampImage *lamp);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void load();
    MSComm::Hold holdForBox();
    void createMenus();
    void updateMenus();
    void showLink();
    void showPortTips();
    QString journalFolder() const;
    void openJournalFolder();
    void showAbout();
    void transferStarted(bool write);
    void reply(quint8 reply);

    // DialogueView
    bool listDriven() const override;
    int listCount() const override;
    QString listEntry(int position) const override;
    bool repeatTicked() const override;
    bool onlyData() const override;
    bool deviceMovedOn() const override;
    void valueRead(int cell, quint8 value) override;
    void valueWritten(int cell, quint8 value) override;
    void valueInDoubt(int cell, quint8 value) override;
    std::optional<QString> send(char byte) override;
    void showActivity(Activity activity) override;
    void showObject(const QString &text) override;
    void selectStop() override;
    bool showRepeatDelay(int position) override;
    void showRepeater(int n, const QString &text) override;
    void appendToTerminal(QStringView text) override;
    void clearTerminal() override;
    void reopenLink() override;
    void reportFailure(const QString &text) override;

    FrmTerminalUi m_ui;
    QWidget *m_client;
    StatusLine *m_status;
    WindowAccessibility *m_access = nullptr;
    QAction *m_compareAction = nullptr;
    QAction *m_restoreAction = nullptr;
    TransferState m_state;
    std::unique_ptr<Dialogs> m_ownDialogs;
    Dialogs *m_dialogs;
    MSComm *m_comm;
    EntryFields *m_entryFields;
    std::unique_ptr<Dialogue> m_dialogue;
    std::unique_ptr<Connection> m_connection;
    std::unique_ptr<TransferControls> m_transferControls;
    std::unique_ptr<ReceivePath> m_receivePath;
    std::unique_ptr<ObjectListLoader> m_objectListLoader;
    std::unique_ptr<TableOperations> m_tableOperations;
    std::unique_ptr<Journal> m_journal;  // opened at the first value
    QString m_portLabel;                 // portLabel() as the link last changed
    LocalClock m_clock;                  // the journal's times
    Table m_valuesRead;
    DeviceSession *m_session = nullptr;
    bool m_frame2WasEnabled = false;
    bool m_frame3WasEnabled = false;
    int m_image1Front = -1;
    QTimer m_frameTimer;
    QList<QPointer<QWidget>> m_heldRepaints;
};

}  // namespace orvel
