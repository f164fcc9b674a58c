#pragma once

#include "app/dialogs.h"
#include "app/frmterminal.h"
#include "app/terminalbox.h"
#include "ports/fakeportenumerator.h"
#include "support/memoryserial.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>

// Failures show texts as texts.
inline void PrintTo(const QString &text, std::ostream *os) {
    *os << '"' << text.toStdString() << '"';
}

namespace orvel::test {

// Stands in for the modal boxes: records them and returns at once.
struct FakeDialogs final : Dialogs {
    QStringList messages;
    QStringList titles;
    QList<Icon> icons;
    std::function<void()> whileMessageOpen;  // runs as if during the box's own event loop
    std::optional<QString> fileToChoose;     // nothing: the operator cancels
    int fileDialogs = 0;
    OpenFileRequest lastRequest;

    void message(QWidget *, const QString &title, const QString &text, Icon icon) override {
        titles.append(title);
        messages.append(text);
        icons.append(icon);
        if (whileMessageOpen) whileMessageOpen();
    }
    std::optional<QString> openFile(QWidget *, const OpenFileRequest &request) override {
        ++fileDialogs;
        lastRequest = request;
        return fileToChoose;
    }
    std::optional<QString> saveFile(QWidget *parent, const OpenFileRequest &request) override {
        return openFile(parent, request);
    }
    bool question(QWidget *parent, const QString &text) override {  // answered Yes
        message(parent, kTitle, text, Icon::None);
        return true;
    }
};

// A window on an in-memory port, or on `backend` when one is given (then `port` is null).
class FormTest : public ::testing::Test {
protected:
    explicit FormTest(qint16 commPort = 1, std::unique_ptr<SerialBackend> backend = {});

    FrmTerminalUi &ui() { return form->ui(); }
    TransferState &state() { return form->state(); }

    void connectPort();  // clicks the red lamp and passes the link check with 172
    // Bytes as the device sends them, each after the program has handled the one before.
    void reply(std::initializer_list<int> values) {
        for (const int value : values) port->deliver(QByteArray(1, char(value)));
    }
    QByteArray takeSent() {  // since the last call
        QByteArray sent = port->written();
        port->clearWritten();
        return sent;
    }
    QString terminal() const { return form->ui().txtTerm->Text(); }

    FakeDialogs dialogs;
    FakePortEnumerator portsPresent;  // none, unless a test says
    MemorySerial *port = nullptr;
    std::unique_ptr<FrmTerminal> form;
};

// Runs the event loop until `done` holds or `timeoutMs` passes. Unlike QTest::qWaitFor it
// does not sleep between passes, so a device that waits for each answer is answered at
// once (qWaitFor would add 10 ms to every exchange).
bool runUntil(const std::function<bool()> &done, int timeoutMs);

// Everything start-up and connecting set: the transfer state, the four range fields, the
// repeat box and its caption, the Read and Write options, the object label. As constructed,
// what start-up leaves; a failure prints every field by name.
struct Snapshot {
    double CurrentObject = 1, LastObject = 1;
    int ListPosition = 0;
    bool WriteInProgress = false;
    int TransferPhase = 0, ReadStep = 0, WriteStep = 0;
    bool LinkCheckPending = false;
    QString Text1 = "1", Text2 = "1", Text3 = "1", Text4 = "1";
    bool repeatTicked = false;
    QString repeatCaption = " 0 - Disable";
    bool readSelected = false, writeSelected = false;
    QString Label5 = "Object";
    bool operator==(const Snapshot &) const = default;
};
void PrintTo(const Snapshot &s, std::ostream *os);
Snapshot snapshot(FrmTerminal &form);

void showActive(QWidget *window);  // shown, and the active window
// Which of the stacked widgets is in front (the last among its siblings).
int frontIndex(std::initializer_list<QWidget *> stack);
// Processor time this process has used, user and system.
inline double cpuSeconds() { return double(std::clock()) / CLOCKS_PER_SEC; }

// A pseudo-terminal pair: the program opens `path()`, the test plays the device on the
// master side. Left cooked, so that the program must make the line raw itself.
class Pty {
public:
    Pty();
    ~Pty() { closeMaster(); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool ok() const { return m_master >= 0 && !m_path.isEmpty(); }
    const QString &path() const { return m_path; }
    void send(const QByteArray &data);  // all of it, the event loop running while it waits
    // What the program wrote, once `count` bytes are there or the time is up.
    QByteArray take(qsizetype count, std::chrono::milliseconds timeout = std::chrono::seconds(2));
    void closeMaster();

private:
    int m_master = -1;
    QString m_path;
};

}  // namespace orvel::test
