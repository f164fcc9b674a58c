#include "support/formfixture.h"

#include "app/lampimage.h"

#include <QtTest>
#include <QtWidgets>

#include <algorithm>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

namespace orvel::test {

FormTest::FormTest(qint16 commPort, std::unique_ptr<SerialBackend> backend) {
    if (!backend) {
        auto memory = std::make_unique<MemorySerial>();
        port = memory.get();
        backend = std::move(memory);
    }
    form = std::make_unique<FrmTerminal>(std::move(backend), commPort, &dialogs, &portsPresent);
}

void FormTest::connectPort() {
    emit ui().imgNotConnected->clicked();
    reply({172});
    takeSent();
}

void showActive(QWidget *window) {
    window->show();
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
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

Snapshot snapshot(FrmTerminal &form) {
    const TransferState &s = form.state();
    const FrmTerminalUi &ui = form.ui();
    return {s.CurrentObject, s.LastObject, s.ListPosition, s.WriteInProgress,
            s.TransferPhase, s.ReadStep, s.WriteStep, s.LinkCheckPending,
            ui.Text1->text(), ui.Text2->text(), ui.Text3->text(), ui.Text4->text(),
            ui.ch_1_0->isChecked(), ui.ch_1_0->text(), ui.Option2[1]->isChecked(),
            ui.Option3[1]->isChecked(), ui.Label5->text()};
}

void PrintTo(const Snapshot &s, std::ostream *os) {
    *os << "CurrentObject " << s.CurrentObject << ", LastObject " << s.LastObject
        << ", ListPosition " << s.ListPosition << ", WriteInProgress " << s.WriteInProgress
        << ", TransferPhase " << s.TransferPhase << ", ReadStep " << s.ReadStep
        << ", WriteStep " << s.WriteStep << ", LinkCheckPending " << s.LinkCheckPending
        << ", Text1-4 " << QStringList{s.Text1, s.Text2, s.Text3, s.Text4}.join('|').toStdString()
        << ", repeat " << s.repeatTicked << " '" << s.repeatCaption.toStdString()
        << "', Read " << s.readSelected << ", Write " << s.writeSelected << ", Label5 '"
        << s.Label5.toStdString() << "'";
}

int frontIndex(std::initializer_list<QWidget *> stack) {
    const QObjectList &siblings = (*stack.begin())->parentWidget()->children();
    const auto place = [&](QWidget *widget) { return siblings.indexOf(widget); };
    return int(std::ranges::max_element(stack, {}, place) - stack.begin());
}

Pty::Pty() {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) return;
    if (const char *name = ptsname(m_master)) m_path = QString::fromLocal8Bit(name);
}

void Pty::send(const QByteArray &data) {
    for (qsizetype done = 0; done < data.size();) {
        const ssize_t n = ::write(m_master, data.constData() + done, size_t(data.size() - done));
        if (n > 0) done += n;
        else QTest::qWait(1);
    }
}

QByteArray Pty::take(qsizetype count, std::chrono::milliseconds timeout) {
    QByteArray data;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (data.size() < count && std::chrono::steady_clock::now() < end) {
        pollfd fd{m_master, POLLIN, 0};
        if (::poll(&fd, 1, 50) <= 0 || !(fd.revents & POLLIN)) continue;
        char buffer[256];
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) data.append(buffer, qsizetype(n));
    }
    return data;
}

void Pty::closeMaster() {
    if (m_master >= 0) ::close(m_master);
    m_master = -1;
}

}  // namespace orvel::test
