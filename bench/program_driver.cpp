// The real program, in-process, driven as the operator drives it: the whole window on
// the QSerialBackend, the lamp clicked, the range typed, "Read" or "Write" chosen.
//
//   bench_program_driver read FIRST LAST [--loop exec|qwaitfor|events]
//   bench_program_driver write FIRST LAST VALUE [--loop exec|qwaitfor|events]
//   bench_program_driver startup
//
// The port is COM 1, i.e. ORVEL_COM1. `--loop qwaitfor` waits the way the end-to-end
// tests do (QTest::qWaitFor) instead of running the event loop, to tell the two apart;
// `--loop events` waits with runUntil below, a drop-in for qWaitFor that does not sleep.
// `startup` starts this program again as a child and times it from just before the
// fork to the end of the window's first painted frame.
//
// Prints key=value lines.
#include "app/connection.h"
#include "app/dialogfont.h"
#include "app/frmterminal.h"
#include "app/lampimage.h"
#include "app/terminalbox.h"
#include "devicesim/devicemodel.h"
#include "dialogue/dialogue.h"
#include "serial/mscomm.h"
#include "serial/qserialbackend.h"

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

long long monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

long long cpuUs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1'000'000LL + usage.ru_utime.tv_usec +
           usage.ru_stime.tv_usec;
}

// Counts the paint events of one widget: how often the terminal is drawn.
class PaintCounter final : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

long maxRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Every box the window would open is counted: a benchmark run that opens one is wrong.
struct CountingDialogs final : orvel::Dialogs {
    int messages = 0;
    void message(QWidget *, const QString &, const QString &text, Icon) override {
        ++messages;
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    std::optional<QString> openFile(QWidget *, const OpenFileRequest &) override { return {}; }
};

// Runs the event loop until `done` holds: it wakes on every event, where QTest::qWaitFor
// sleeps 10 ms between its passes (one sleep per answer of the device).
template <typename Done>
bool runUntil(Done done, int timeoutMs) {
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

int transfer(int argc, char **argv) {
    const bool writing = !std::strcmp(argv[1], "write");
    if (argc < (writing ? 5 : 4)) return 2;
    const int first = std::atoi(argv[2]);
    const int last = std::atoi(argv[3]);
    const bool value = writing && std::atoi(argv[4]) != 0;
    enum class Wait { Exec, QWaitFor, Events } wait = Wait::Exec;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--loop")) continue;
        if (!std::strcmp(argv[i + 1], "qwaitfor")) wait = Wait::QWaitFor;
        if (!std::strcmp(argv[i + 1], "events")) wait = Wait::Events;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvel programator"));
    orvel::applyDialogFont();
    CountingDialogs dialogs;
    orvel::FrmTerminal window(std::make_unique<orvel::QSerialBackend>(), 1, &dialogs);
    window.show();
    orvel::FrmTerminalUi &ui = window.ui();
    orvel::TransferState &state = window.state();

    QEventLoop loop;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, [&] { loop.exit(1); });

    emit ui.imgNotConnected->clicked();
    if (!window.MSComm1().PortOpen()) {
        std::fprintf(stderr, "the port did not open\n");
        return 1;
    }
    // The link check passes on the device's first byte.
    if (!runUntil([&] { return !state.LinkCheckPending; }, 10'000)) {
        std::fprintf(stderr, "no ready byte from the device\n");
        return 1;
    }

    // On a slow line the device's ready pair comes one byte at a time, 8 ms apart, and the
    // link check passes on its first byte. The click waits for the quiet after the pair, as
    // an operator's click almost always falls: a transfer started between the two bytes of
    // a pair answers the pair out of step, and each object then waits for the device to
    // give its command up (500 ms), a fault of the dialogue that would swamp the figure.
    long long lastReplyNs = monotonicNs();
    window.dialogue().setReplyTap([&](const QString &) { lastReplyNs = monotonicNs(); });
    runUntil([&] { return monotonicNs() - lastReplyNs > 30'000'000; }, 10'000);

    long long firstCommandNs = 0, endNs = 0;
    window.dialogue().setReplyTap([&](const QString &reply) {
        // The second ready byte of a pair gets the command, on this very reply.
        if (!firstCommandNs && reply == u"172" &&
            ((state.TransferPhase == 1 && state.ReadStep == 1) ||
             (state.TransferPhase == 2 && state.WriteStep == 1)))
            firstCommandNs = monotonicNs();
    });
    // The transfer's end selects "Stop" from inside the dialogue.
    for (QRadioButton *stop : {ui.Option2[2], ui.Option3[2]})
        QObject::connect(stop, &QRadioButton::toggled, &loop, [&](bool on) {
            if (on && !endNs && firstCommandNs) {
                endNs = monotonicNs();
                loop.quit();
            }
        });

    PaintCounter terminalPaints;
    ui.txtTerm->viewport()->installEventFilter(&terminalPaints);
    const long long cpuBefore = cpuUs();
    const long long clickNs = monotonicNs();
    if (writing) {
        ui.ch_1_0->setChecked(value);
        ui.Text3->setText(QString::number(first));
        ui.Text4->setText(QString::number(last));
        ui.Option3[1]->setChecked(true);
    } else {
        ui.Text1->setText(QString::number(first));
        ui.Text2->setText(QString::number(last));
        ui.Option2[1]->setChecked(true);
    }
    bool done;
    if (wait != Wait::Exec) {
        const auto idle = [&] { return state.TransferPhase == 0; };
        done = wait == Wait::QWaitFor ? QTest::qWaitFor(idle, 600'000) : runUntil(idle, 600'000);
        if (!endNs) endNs = monotonicNs();
    } else {
        guard.start(600'000);
        done = loop.exec() == 0;
    }
    const long long idleNs = monotonicNs();
    const long long cpu = cpuUs() - cpuBefore;
    if (!done) {
        std::fprintf(stderr, "the transfer did not end\n");
        return 1;
    }

    const orvel::devicesim::Memory expected = orvel::devicesim::seededMemory(1);
    int wrong = 0;
    for (int i = first; i <= last; ++i)
        if (state.DeviceMemory[size_t(i)] != (writing ? quint8(value) : expected[size_t(i)]))
            ++wrong;
    std::printf("objects=%d\nclick_to_idle_us=%lld\ntransfer_us=%lld\nwrong_values=%d\n"
                "messages=%d\nmaxrss_kb=%ld\ncpu_us=%lld\nterminal_paints=%d\n",
                last - first + 1, (idleNs - clickNs) / 1000, (endNs - firstCommandNs) / 1000,
                wrong, dialogs.messages, maxRssKb(), cpu, terminalPaints.paints);
    return wrong == 0 && dialogs.messages == 0 ? 0 : 3;
}

// Ends the child at the close of the first frame painted for the window.
class FirstFrame final : public QObject {
public:
    long long paintedNs = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // Queued: runs once this frame has been painted and flushed.
            QTimer::singleShot(0, [this] {
                paintedNs = monotonicNs();
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    bool m_seen = false;
};

int startupChild(int argc, char **argv) {
    const long long mainNs = monotonicNs();
    const char *launch = std::getenv("ORVEL_BENCH_LAUNCH_NS");
    const long long launchNs = launch ? std::atoll(launch) : mainNs;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvel programator"));
    orvel::applyDialogFont();
    orvel::FrmTerminal window(std::make_unique<orvel::QSerialBackend>());
    FirstFrame frame;
    window.installEventFilter(&frame);
    window.show();
    QTimer::singleShot(30'000, [] { QCoreApplication::exit(1); });
    if (app.exec() != 0) return 1;
    std::printf("launch_to_main_us=%lld\nlaunch_to_shown_us=%lld\nmain_to_shown_us=%lld\n"
                "maxrss_kb=%ld\nplatform=%s\nqt_version=%s\n",
                (mainNs - launchNs) / 1000, (frame.paintedNs - launchNs) / 1000,
                (frame.paintedNs - mainNs) / 1000, maxRssKb(),
                qPrintable(QGuiApplication::platformName()), qVersion());
    return 0;
}

int startup(char **argv) {
    std::fflush(stdout);
    const long long launchNs = monotonicNs();
    const pid_t child = fork();
    if (child == 0) {
        setenv("ORVEL_BENCH_LAUNCH_NS", std::to_string(launchNs).c_str(), 1);
        char mode[] = "startup-child";
        char *args[] = {argv[0], mode, nullptr};
        execv("/proc/self/exe", args);
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc >= 2 && !std::strcmp(argv[1], "startup")) return startup(argv);
    if (argc >= 2 && !std::strcmp(argv[1], "startup-child")) return startupChild(argc, argv);
    if (argc >= 4 && (!std::strcmp(argv[1], "read") || !std::strcmp(argv[1], "write")))
        return transfer(argc, argv);
    std::fprintf(stderr,
                 "usage: %s read FIRST LAST [--loop exec|qwaitfor|events]\n"
                 "       %s write FIRST LAST VALUE [--loop exec|qwaitfor|events]\n"
                 "       %s startup\n",
                 argv[0], argv[0], argv[0]);
    return 2;
}
