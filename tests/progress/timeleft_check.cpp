// How well the status line's time left foretells a real read: the window (offscreen)
// reads objects 1 to N from the simulator paced at a real line speed, the status line's
// text is sampled every 200 ms, and each "M:SS left" is set against the time the read
// really went on for. Too slow for the suite (a full table at 1200 bit/s takes nine
// minutes): tools/check_time_left.sh runs it.
//   time_left_check [BAUD [LAST_OBJECT]]
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "app/dialogs.h"
#include "app/frmterminal.h"
#include "app/lampimage.h"
#include "app/statusline.h"
#include "dialogue/transferstate.h"
#include "serial/qserialbackend.h"

namespace {

struct NoDialogs final : orvel::Dialogs {
    void message(QWidget *, const QString &text, Icon) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    std::optional<QString> openFile(QWidget *, const OpenFileRequest &) override { return {}; }
};

struct Sample {
    double at;  // seconds since the read started
    int done;
    int total;
    double left;  // as shown
};

}  // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QTemporaryDir state;
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    QApplication app(argc, argv);
    const QString baud = argc > 1 ? argv[1] : "1200";
    const int last = argc > 2 ? QString(argv[2]).toInt() : 8175;

    QProcess sim;
    sim.start(ORVEL_DEVICE_SIM, {"--baud", baud});
    if (!sim.waitForStarted() || !sim.waitForReadyRead()) return 2;
    qputenv("ORVEL_COM1", sim.readLine().trimmed());
    NoDialogs dialogs;
    orvel::FrmTerminal form(std::make_unique<orvel::QSerialBackend>(), 1, &dialogs);
    form.show();
    emit form.ui().imgNotConnected->clicked();
    QElapsedTimer clock;
    clock.start();
    while (form.state().LinkCheckPending && clock.elapsed() < 5000) app.processEvents();

    form.ui().Text1->setText("1");
    form.ui().Text2->setText(QString::number(last));
    clock.restart();
    form.ui().Option2[1]->setChecked(true);
    const QRegularExpression shown("(\\d+) of (\\d+), \\d+ %, (?:(\\d+):)?(\\d+):(\\d+) left");
    std::vector<Sample> samples;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        const QRegularExpressionMatch m = shown.match(form.statusLine().transferText());
        if (m.hasMatch())
            samples.push_back({clock.elapsed() / 1000.0, m.captured(1).toInt(),
                               m.captured(2).toInt(),
                               m.captured(3).toInt() * 3600 + m.captured(4).toInt() * 60 +
                                   m.captured(5).toDouble()});
    });
    sampler.start(200);
    while (form.state().TransferPhase != orvel::TransferState::Idle)
        app.processEvents(QEventLoop::WaitForMoreEvents);
    const double end = clock.elapsed() / 1000.0;
    std::printf("read of objects 1 to %d at %s bit/s: %.1f s; status line: %s\n", last,
                qPrintable(baud), end, qPrintable(form.statusLine().transferText()));

    // From 5 % of the objects on: the worst error relative to the time that really
    // remained while that was 10 s or more (the text shows whole seconds), and the worst
    // in seconds over all.
    double worstRelative = 0, worstSeconds = 0;
    int counted = 0, nextShown = 5;
    for (const Sample &s : samples) {
        if (s.done * 20 < s.total) continue;
        const double truth = end - s.at, error = s.left - truth;
        if (truth >= 10) worstRelative = std::max(worstRelative, std::abs(error) / truth);
        worstSeconds = std::max(worstSeconds, std::abs(error));
        ++counted;
        if (s.done * 100 >= nextShown * s.total) {
            std::printf("  at %5.1f s, %4d of %d: shown %6.0f s left, truly %6.1f s (%+.1f %%)\n",
                        s.at, s.done, s.total, s.left, truth, 100 * error / truth);
            nextShown += nextShown < 10 ? 5 : 10;
        }
    }
    std::printf(
        "%d samples from 5 %% on: worst error %.1f %% (while 10 s or more remained), "
        "%.1f s at most\n",
        counted, 100 * worstRelative, worstSeconds);
    sim.terminate();
    sim.waitForFinished();
    return counted > 0 && worstRelative < 0.10 ? 0 : 1;
}
