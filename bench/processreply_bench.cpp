// In-process cost of the dialogue and the terminal, with no line in between: the whole
// window on an in-memory port, shown on the offscreen platform.
//
// BM_ReadCycle: one object's read cycle (172, 172, 202, 202, value) through
//   Dialogue::ProcessReply, then one pass of the event loop, in which the terminal
//   catches up, as on a fast line where each answer is its own pass. items/s counts
//   replies. Arg 0: the terminal is emptied every 64 cycles (at most 64 short lines);
//   arg 1: it is kept full (16000 characters before the first cycle, then trimmed by the
//   program itself as it goes).
// BM_ReadCycleThroughPort: the same bytes given to the in-memory port, so the serial
//   control's notification and the receive path are counted too.
// BM_WriteCycleThroughPort: one object written and read back (11 replies), through the port.
// BM_LoadObjectFile: 200000 object numbers through ObjectListLoader::load into the list,
//   then the pass of the event loop that shows it.
#include "app/connection.h"
#include "app/frmterminal.h"
#include "app/lampimage.h"
#include "app/objectlistloader.h"
#include "app/terminalbox.h"
#include "app/valuerecorder.h"
#include "dialogue/dialogue.h"
#include "serial/mscomm.h"
#include "support/memoryserial.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QListWidget>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

struct CountingDialogs final : orvel::Dialogs {
    int messages = 0;
    void message(QWidget *, const QString &, const QString &, Icon) override { ++messages; }
    std::optional<QString> openFile(QWidget *, const OpenFileRequest &) override { return {}; }
};

// A shown window, connected, past its link check.
struct Window {
    CountingDialogs dialogs;
    orvel::MemorySerial *port = nullptr;
    std::unique_ptr<orvel::FrmTerminal> form;

    Window() {
        auto backend = std::make_unique<orvel::MemorySerial>();
        port = backend.get();
        form = std::make_unique<orvel::FrmTerminal>(std::move(backend), 1, &dialogs);
        form->show();
        QCoreApplication::processEvents();
        form->connection().Connect();
        port->deliver(QByteArray(1, char(172)));
        QCoreApplication::processEvents();
    }
    orvel::TransferState &state() { return form->state(); }
    orvel::TerminalBox &terminal() { return *form->ui().txtTerm; }

    // Puts the dialogue at the start of reading object `object` of a long range.
    void startObject(int object) {
        orvel::TransferState &s = state();
        s.TransferPhase = orvel::TransferState::Reading;
        s.ReadStep = 0;
        s.CurrentObject = object;
        s.LastObject = 8175;
    }
};

constexpr quint8 kReady = 172;
constexpr quint8 kAck = 202;

void fillTerminal(Window &w) {
    w.terminal().clearText();
    while (w.terminal().length() < 16000) w.terminal().appendReply(u"123 - 4567\r");
    QCoreApplication::processEvents();
}

void BM_ReadCycle(benchmark::State &bench) {
    Window w;
    const bool full = bench.range(0) != 0;
    if (full) fillTerminal(w);
    orvel::Dialogue &dialogue = w.form->dialogue();
    orvel::TerminalBox &term = w.terminal();
    const quint8 values[] = {7, 123, 255};
    int object = 1;
    qint64 replies = 0;
    for (auto _ : bench) {
        // Emptied every 64 objects, so it never holds more than 64 short lines.
        if (!full && object % 64 == 0) term.clearText();
        w.startObject(object);
        dialogue.ProcessReply(kReady);
        dialogue.ProcessReply(kReady);
        dialogue.ProcessReply(kAck);
        dialogue.ProcessReply(kAck);
        dialogue.ProcessReply(values[object % 3]);
        QCoreApplication::processEvents();
        replies += 5;
        if (++object > 8000) object = 1;
        if ((object & 63) == 0) w.port->clearWritten();
    }
    bench.SetItemsProcessed(replies);
    bench.counters["terminal_chars"] = double(term.length());
    if (w.dialogs.messages) bench.SkipWithError("the window opened a message box");
    if (w.state().TransferPhase != 1) bench.SkipWithError("the read did not go on");
}
BENCHMARK(BM_ReadCycle)->Arg(0)->Arg(1)->ArgName("full")->Unit(benchmark::kMicrosecond);

void BM_ReadCycleThroughPort(benchmark::State &bench) {
    Window w;
    fillTerminal(w);
    const QByteArray ready("\xAC\xAC", 2), ack("\xCA", 1);
    int object = 1;
    qint64 replies = 0;
    for (auto _ : bench) {
        w.startObject(object);
        // As the bytes come on a fast line: each burst is one pass of the event loop.
        w.port->deliver(ready);
        QCoreApplication::processEvents();
        w.port->deliver(ack);
        QCoreApplication::processEvents();
        w.port->deliver(ack);
        QCoreApplication::processEvents();
        w.port->deliver(QByteArray(1, char(object % 3 == 0 ? 7 : 123)));
        QCoreApplication::processEvents();
        replies += 5;
        if (++object > 8000) object = 1;
        if ((object & 63) == 0) w.port->clearWritten();
    }
    bench.SetItemsProcessed(replies);
    if (w.dialogs.messages) bench.SkipWithError("the window opened a message box");
}
BENCHMARK(BM_ReadCycleThroughPort)->Unit(benchmark::kMicrosecond);

// One object written and read back, 11 replies in the bursts a fast line gives.
void BM_WriteCycleThroughPort(benchmark::State &bench) {
    Window w;
    fillTerminal(w);
    const QByteArray ready("\xAC\xAC", 2), ack("\xCA", 1), ackReady("\xCA\xAC\xAC", 3);
    const QByteArray *bursts[] = {&ready, &ack, &ack, &ack, &ackReady, &ack, &ack};
    int object = 1;
    qint64 replies = 0;
    for (auto _ : bench) {
        orvel::TransferState &s = w.state();
        s.TransferPhase = orvel::TransferState::Writing;
        s.WriteInProgress = true;
        s.ReadStep = s.WriteStep = 0;
        s.CurrentObject = object;
        s.LastObject = 8175;
        for (const QByteArray *burst : bursts) {
            w.port->deliver(*burst);
            QCoreApplication::processEvents();
        }
        w.port->deliver(QByteArray(1, char(1)));
        QCoreApplication::processEvents();
        replies += 11;
        if (++object > 8000) object = 1;
        if ((object & 63) == 0) w.port->clearWritten();
    }
    bench.SetItemsProcessed(replies);
    if (w.dialogs.messages) bench.SkipWithError("the window opened a message box");
    if (w.state().TransferPhase != 2) bench.SkipWithError("the write did not go on");
}
BENCHMARK(BM_WriteCycleThroughPort)->Unit(benchmark::kMicrosecond);

void BM_LoadObjectFile(benchmark::State &bench) {
    Window w;
    QByteArray file;
    for (int i = 0; i < 200000; ++i) file += QByteArray::number(i % 8175 + 1) + "\r\n";
    orvel::ValueRecorder recorder(w.form->MSComm1(), w.form->statusLine());
    orvel::Boxes boxes(w.dialogs, *w.form, w.form->MSComm1(), recorder);
    orvel::ObjectListLoader loader(w.form->ui().Command1, w.form->ui().List1, boxes);
    QListWidget *list = w.form->ui().List1;
    for (auto _ : bench) {
        QBuffer buffer(&file);
        buffer.open(QIODevice::ReadOnly);
        loader.load(buffer);
        QCoreApplication::processEvents();  // the list is laid out and shown
        if (list->count() != 200000) {
            bench.SkipWithError("the list does not hold 200000 entries");
            break;
        }
        bench.PauseTiming();
        list->clear();
        QCoreApplication::processEvents();
        bench.ResumeTiming();
    }
    bench.SetItemsProcessed(bench.iterations() * 200000);
}
BENCHMARK(BM_LoadObjectFile)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
