#include "support/formfixture.h"

#include "app/lampimage.h"
#include "dialogue/terminalbox.h"
#include "serial/connection.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <QApplication>
#include <QTest>

namespace orvel::test {

void FakeDialogs::message(QWidget *, const QString &text, Icon icon) {
    messages.append(text);
    icons.append(icon);
    if (whileMessageOpen) whileMessageOpen();
}

std::optional<QString> FakeDialogs::openFile(QWidget *, const OpenFileRequest &request) {
    ++fileDialogs;
    lastRequest = request;
    return fileToChoose;
}

FormTest::FormTest(qint16 commPort) {
    auto backend = std::make_unique<MemorySerial>();
    port = backend.get();
    form = std::make_unique<FrmTerminal>(std::move(backend), commPort, &dialogs);
}

void FormTest::connectPort(bool passLinkCheck) {
    emit ui().imgNotConnected->clicked();
    if (passLinkCheck) reply({172});
    takeSent();
}

void FormTest::reply(std::initializer_list<int> values) { reply(bytes(values)); }

void FormTest::reply(const QByteArray &data) { port->deliver(data); }

QByteArray FormTest::takeSent() {
    QByteArray sent = port->written();
    port->clearWritten();
    return sent;
}

QString FormTest::terminal() const { return form->ui().txtTerm->Text(); }

void FormTest::showActive() {
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
}

bool runUntil(const std::function<bool()> &done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    QTimer tick;  // `done` is looked at again even when nothing arrives
    tick.start(10);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

int frontIndex(std::initializer_list<QWidget *> stack) {
    const QObjectList &siblings = (*stack.begin())->parentWidget()->children();
    int best = -1;
    qsizetype bestPosition = -1;
    int index = 0;
    for (QWidget *widget : stack) {
        const qsizetype position = siblings.indexOf(widget);
        if (position > bestPosition) {
            bestPosition = position;
            best = index;
        }
        ++index;
    }
    return best;
}

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray data;
    for (int v : values) data.append(char(v));
    return data;
}

}  // namespace orvel::test
