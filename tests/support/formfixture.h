#pragma once

#include "app/dialogs.h"
#include "app/frmterminal.h"
#include "serial/memoryserial.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>

namespace orvel::test {

// Stands in for the modal boxes: records them and returns at once.
struct FakeDialogs final : Dialogs {
    QStringList messages;
    QList<Icon> icons;
    std::function<void()> whileMessageOpen;  // runs as if during the box's own event loop
    std::optional<QString> fileToChoose;     // nothing: the operator cancels
    int fileDialogs = 0;
    OpenFileRequest lastRequest;

    void message(QWidget *, const QString &text, Icon icon) override;
    std::optional<QString> openFile(QWidget *, const OpenFileRequest &request) override;
};

// A window on an in-memory port.
class FormTest : public ::testing::Test {
protected:
    explicit FormTest(qint16 commPort = 1);

    FrmTerminalUi &ui() { return form->ui(); }
    TransferState &state() { return form->state(); }

    // Clicks the red lamp and, unless told otherwise, passes the link check with 172.
    void connectPort(bool passLinkCheck = true);
    // Bytes as the device sends them.
    void reply(std::initializer_list<int> bytes);
    void reply(const QByteArray &bytes);
    // Bytes sent to the device since the last call.
    QByteArray takeSent();
    QString terminal() const;
    // Shows the window and makes it the active one, as the operator has it in front.
    void showActive();

    FakeDialogs dialogs;
    MemorySerial *port = nullptr;
    std::unique_ptr<FrmTerminal> form;
};

// Runs the event loop until `done` holds or `timeoutMs` passes. Unlike QTest::qWaitFor it
// does not sleep between passes, so a device that waits for each answer is answered at
// once (qWaitFor would add 10 ms to every exchange).
bool runUntil(const std::function<bool()> &done, int timeoutMs);

// Which of the stacked widgets is in front (the last among its siblings).
int frontIndex(std::initializer_list<QWidget *> stack);

QByteArray bytes(std::initializer_list<int> values);

}  // namespace orvel::test
