#pragma once

#include "app/dialogs.h"
#include "app/frmterminalui.h"
#include "dialogue/dialogueview.h"
#include "dialogue/transferstate.h"

#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace orvel {

class Connection;
class Dialogue;
class EntryFields;
class LampImage;
class MSComm;
class ObjectListLoader;
class ReceivePath;
class SerialBackend;
class TransferControls;

// The program's one window. It owns the controls, the transfer state and the serial
// control; the reactions live in small classes, one per subsystem, and this is the one
// place that wires them together. It is the dialogue's view of the controls.
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

    // A message box with one OK button titled "Orvel prg". No serial notification runs
    // while it is open; what arrives meanwhile follows when it closes.
    void messageBox(const QString &text, Dialogs::Icon icon = Dialogs::Icon::None);
    std::optional<QString> openFileDialog(const Dialogs::OpenFileRequest &request);

    // Shows a change of `widget` at the next frame instead of on the next pass of the event
    // loop: its state changes at once, its repaint waits (15 ms at most). A fast device
    // moves the object number and the activity lamp many times a frame, and each repaint
    // would cost more than answering the device.
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

    // DialogueView
    bool listDriven() const override;
    int listCount() const override;
    QString listEntry(int position) const override;
    bool repeatTicked() const override;
    bool onlyData() const override;
    bool deviceMovedOn() const override;
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
    int m_image1Front = -1;
    QTimer m_frameTimer;
    QList<QPointer<QWidget>> m_heldRepaints;
};

}  // namespace orvel
