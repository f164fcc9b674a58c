// The dialogue on its own: device replies in, what it sends and shows out, row by row;
// the terminal's text: what the gate lets through, the line-end filter, and the trim.
#include <QStringList>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "dialogue/dialogue.h"
#include "dialogue/terminaltext.h"

static void PrintTo(const QString &text, std::ostream *os) {
    *os << '"' << text.toStdString() << '"';
}

namespace orvel::test {
namespace {

constexpr int R = 172;  // 0xAC ready
constexpr int A = 202;  // 0xCA acknowledge

// A window as the dialogue sees it: each call it makes is recorded in order as a text
// ("send 85", "object 11", "stop", "delay 3", "R1 0", "terminal 7 - 10\n\r").
struct RecordingView final : DialogueView {
    explicit RecordingView(const TransferState &transfer) : state(transfer) {}
    const TransferState &state;
    QStringList calls, list;  // list: List1, taken when `listed` (Check4)
    bool listed = false, repeat = false, dataOnly = true, movedOn = false;
    Done<PortFailure> sent;
    std::optional<Activity> lamp;

    bool listDriven() const override { return listed; }
    int listCount() const override { return int(list.size()); }
    QString listEntry(int position) const override { return list.value(position); }
    bool repeatTicked() const override { return repeat; }
    bool onlyData() const override { return dataOnly; }
    bool deviceMovedOn() const override { return movedOn; }  // more bytes behind this one
    Done<PortFailure> send(char byte) override {
        calls << QStringLiteral("send %1").arg(quint8(byte));
        return sent;
    }
    void showActivity(Activity activity) override {  // only a change: the lamp's
        if (activity != std::exchange(lamp, activity))
            calls << QStringLiteral("lamp %1").arg(int(activity));
    }
    void showObject(const QString &text) override { calls << "object " + text; }
    void selectStop() override {  // the Stop reactions, run nested, see the transfer
        calls << QStringLiteral("stop, phase %1 writing %2")
                     .arg(state.TransferPhase)
                     .arg(state.WriteInProgress);
    }
    bool showRepeatDelay(int position) override {
        calls << QStringLiteral("delay %1").arg(position);
        return position < 9;  // Combo2's items
    }
    void showRepeater(int n, const QString &text) override {
        calls << QStringLiteral("R%1 %2").arg(n).arg(text);
    }
    void appendToTerminal(QStringView text) override { calls << "terminal " + text.toString(); }
    void clearTerminal() override { calls << QStringLiteral("clear"); }
    void reopenLink() override { calls << QStringLiteral("reopen"); }
    void reportFailure(const QString &text) override { calls << "failure " + text; }
    void reportSendFailure(const Failure<PortFailure> &failure) override {
        calls << "failure " + failure.words;
    }
    void valueWritten(int cell, quint8 value) override {  // journaled
        calls << QStringLiteral("written %1 %2").arg(cell).arg(value);
    }
    void valueInDoubt(int cell, quint8 value) override {
        calls << QStringLiteral("doubt %1 %2").arg(cell).arg(value);
    }
};

// The settings cells hold the repeat delay 3 and the repeaters n % 8.
struct Rig {
    TransferState state;
    RecordingView view{state};
    Dialogue dialogue{state, view};
    Rig() {
        for (int n = 0; n <= 15; ++n) state.DeviceMemory[size_t(8176 + n)] = quint8(n ? n % 8 : 3);
    }
};

// What happens between two replies.
using Act = std::function<void(Rig &)>;
// A start as the Read and Write controls leave the state; with a list, the list drives it.
Act start(TransferState::Phase phase, double first, double last, QStringList list) {
    return [=](Rig &r) {
        r.view.list = list;
        r.view.listed = !list.isEmpty();
        r.state.startTransfer();
        r.state.ListPosition = 0;
        r.state.CurrentObject = first;
        r.state.LastObject = last;
        r.state.WriteInProgress = phase == TransferState::Writing;
        r.state.TransferPhase = phase;
    };
}
Act read(double first, double last, QStringList list = {}) {
    return start(TransferState::Reading, first, last, list);
}
Act write(double first, double last, QStringList list = {}) {
    return start(TransferState::Writing, first, last, list);
}
Act at(double object) {
    return [=](Rig &r) { r.state.CurrentObject = object; };
}
Act cell(int address, int value) {
    return [=](Rig &r) { EXPECT_EQ(r.state.DeviceMemory[size_t(address)], value) << address; };
}
const Act refused = [](Rig &r) {
    r.view.sent = Failure<PortFailure>{PortFailure::Other, QStringLiteral("refused")};
};
Act piled(bool on) { return [=](Rig &r) { r.view.movedOn = on; }; }  // bytes wait behind it
const Act linkCheck = [](Rig &r) { r.state.LinkCheckPending = true; };
const Act unknownDelay = [](Rig &r) { r.state.DeviceMemory[8176] = 9; };

// Replies and acts in order; gives what each reply made the dialogue do, "|" between
// replies, "-" for nothing.
using Script = std::vector<std::variant<int, Act>>;
std::string run(Rig &rig, const Script &script) {
    QStringList done;
    for (const auto &item : script) {
        if (const Act *act = std::get_if<Act>(&item)) {
            (*act)(rig);
            continue;
        }
        rig.view.calls.clear();
        rig.dialogue.ProcessReply(quint8(std::get<int>(item)));
        done << (rig.view.calls.isEmpty() ? QStringLiteral("-") : rig.view.calls.join(", "));
    }
    return done.join(" | ").toStdString();
}

struct Row {
    const char *name;
    Script script;
    QString done;  // <end>, <end w>: the end of a read, of a write; <end 9>: of a read, delay 9
};

// At the last object's value: Stop is selected (its reactions find the transfer idle but
// still a write), then the settings cells are shown; the value's line comes last.
QString ending(int delay, bool writing) {
    QString done = QStringLiteral("stop, phase 0 writing %1, delay %2").arg(writing).arg(delay);
    if (delay == 9)
        done += ", failure The device's repeat delay setting 9 is not one of the known delays.";
    for (int n = 1; n <= 15; ++n) done += QStringLiteral(", R%1 %2").arg(n).arg(n % 8);
    return done;
}

TEST(DialogueEngine, Exchanges) {
    const Row rows[] = {
        // Ready: noted; ready -> 0x55 read; acknowledge -> address high; acknowledge -> low;
        // the value: stored and shown, on to the next object.
        {"data bytes before the value are noise; 172 and 202 at the last read step are values",
         {read(20, 22), 5, R, R, 6, A, A, R, R, R, A, A, A, cell(20, R), cell(21, A)},
         "lamp 1, terminal 5 | - | send 85 | terminal 6 | send 0 | send 20 | object 21, terminal "
         "172 - 20\n\r | - | send 85 | send 0 | send 21 | object 22, terminal 202 - 21\n\r"},
        // A ready byte where an acknowledge was due: the device gave the command up, and
        // the object starts again from that ready byte. Object 300 is 0x012C. A value stands
        // once the device's next ready byte follows it; a byte the line added, after the
        // value or before it (then taken for the value), puts it in doubt.
        {"ready where an acknowledge was due; a byte before the value",
         {read(300, 300), R, R, A, R, R, A, A, 19, 4, R},
         "lamp 1 | send 85 | send 1 | - | send 85 | send 1 | send 44 | <end>, terminal 19 - "
         "300\n\r | doubt 300 19, terminal 4 | lamp 0"},
        // A byte before a true 172 is taken for the value: the pair then comes a byte late,
        // a ready byte where our next command's acknowledgement was due. What is sent stays.
        {"a ready byte too many where the acknowledgement was due",
         {read(20, 21), R, R, A, A, 9, R, R, R, A, A, 7},
         "lamp 1 | send 85 | send 0 | send 20 | object 21, terminal 9 - 20\n\r | - | send 85 | "
         "doubt 20 9 | send 0 | send 21 | <end>, terminal 7 - 21\n\r"},
        // The same with the device's bytes piled up: our command goes on the third ready byte.
        {"an odd count of ready bytes before the acknowledgement",
         {read(20, 21), R, R, A, A, 9, piled(true), R, R, piled(false), R, A, A, 7},
         "lamp 1 | send 85 | send 0 | send 20 | object 21, terminal 9 - 20\n\r | - | - | send 85 | "
         "doubt 20 9, send 0 | send 21 | <end>, terminal 7 - 21\n\r"},
        {"idle: nothing is sent; Only Data unticked shows the protocol bytes",
         {at(1), R, 9, A, [](Rig &r) { r.view.dataOnly = false; }, R, A, 9},
         "lamp 0 | terminal 9 | - | terminal 172\n\r | terminal 202\n\r | terminal 9"},
        {"link check: another first byte reconnects, unshown",
         {at(1), linkCheck, 0x42, linkCheck, R, 9,
          [](Rig &r) { EXPECT_FALSE(r.state.LinkCheckPending); }},
         "clear, reopen | lamp 0 | terminal 9"},

        // A command in flight is finished before a newer transfer goes on: 254 is 0x00FE.
        {"a new read mid-read",
         {read(254, 257), R, R, A, read(300, 300), A, 4, cell(254, 4), R, R, A, A, 5},
         "lamp 1 | send 85 | send 0 | send 254 | terminal 4 - 254\n\r | - | send 85 | send 1 | "
         "send 44 | <end>, terminal 5 - 300\n\r"},
        {"a new read mid-write: no read-back",
         {write(254, 257), R, R, A, read(300, 300), A, A, A, R, R, A, A},
         "lamp 2 | send 170 | send 0 | lamp 1, send 254 | written 254 0, send 0 | - | - | send 85 | "
         "send 1 | send 44"},

        // Only objects 1 to 8175 are addressed; other list entries are passed. A list ends
        // at its last entry, whatever the last object. Then a write: ready -> 0xAA write;
        // high; low; acknowledge -> the value byte (ch_1_0), journaled before it goes out;
        // acknowledge: the device has it, the object is read back; then the next is written,
        // but never a settings cell (nor is the line of 3 shown).
        {"a list's entries that are no objects are passed, in a read and a write",
         {read(0, 100, {"0", "abc", "8176", "7", "0.4", "9"}), R, R, A, A, 3, R, R, A, A, 4,
          write(3, 8176, {"3", "8176"}), R, R, A, A, A, A, R, R, A, A, 1, R, R},
         "lamp 1 | object 0, object 8176, object 7, send 85 | send 0 | send 7 | object 0.4, "
         "terminal 3 - 7\n\r | - | object 9, send 85 | send 0 | send 9 | <end>, terminal 4 - "
         "9\n\r | lamp 2 | send 170 | send 0 | send 3 | written 3 0, send 0 | - | lamp 1 | send 85 | "
         "send 0 | send 3 | object 8176 | lamp 2 | <end w>, lamp 0"},
        // 2.5 and 3.5 are the addresses 2 and 4 (half to even); 4.5 would pass the end.
        {"a fractional range",
         {unknownDelay, read(2.5, 4), R, R, A, A, 6, R, R, A, A, 6},
         "lamp 1 | send 85 | send 0 | send 2 | object 3.5, terminal 6 - 2.5\n\r | - | send 85 "
         "| send 0 | send 4 | <end 9>, terminal 6 - 3.5\n\r"},
        {"a failed send is reported and the step advances",
         {read(5, 6), refused, R, R, A},
         "lamp 1 | send 85, failure refused | send 0, failure refused"},
    };
    for (const Row &row : rows) {
        Rig rig;
        const QString done = QString(row.done)
                                 .replace("<end>", ending(3, false))
                                 .replace("<end w>", ending(3, true))
                                 .replace("<end 9>", ending(9, false));
        EXPECT_EQ(run(rig, row.script), done.toStdString()) << row.name;
    }
}

TEST(TerminalText, TrimsOnlyWhenMoreThanTheLimitBeforeAnAddition) {
    const std::pair<qsizetype, qsizetype> beforeAndDropped[] = {
        {16000, 0}, {16001, 4096}, {15999, 0}, {20000, 4096}};
    for (const auto &[before, dropped] : beforeAndDropped) {
        SCOPED_TRACE(before);
        TerminalText terminal;
        QString start;
        for (qsizetype i = 0; i < before; ++i) start.append(QChar(char16_t(u'a' + i % 26)));
        terminal.append(start);
        EXPECT_EQ(terminal.append(u"xy"), dropped);
        EXPECT_EQ(terminal.text(), start.mid(dropped) + "xy");
    }
}

TEST(TerminalText, LineEndsBecomeCarriageReturnLineFeed) {
    // The first is a value line as the dialogue composes it.
    const std::pair<QString, QString> rows[] = {
        {"7 - 25\n\r", "7 - 25\r\n"}, {"172\n\r", "172\r\n"}, {"a\nb", "ab"},
        {"\r\r", "\r\n\r\n"},         {"\r\n", "\r\n"},       {"99", "99"}};
    for (const auto &[in, out] : rows) EXPECT_EQ(filterLineEnds(in), out);
}

TEST(TerminalText, TheGateShowsByObjectAndOnlyData) {
    struct Row {
        double object;
        bool onlyData;
        QString reply;
        std::optional<QString> shown;
    };
    const Row rows[] = {
        {5, true, "7", "7"}, {5, true, "172", {}}, {5, true, "202", {}},
        {5, false, "172", "172\n\r"}, {5, false, "202", "202\n\r"},
        {5, true, "172*", "172*"},  // an escaped byte nobody took as a value
        {0, false, "7", {}}, {8176, false, "7", {}}, {8191, false, "7", {}},
        {8175, false, "7", "7"}, {0.5, false, "7", "7"},
        {8192, true, "172", "172"}, {-1, true, "202", "202"},  // outside the memory: no tests
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.object);
        QString text = row.reply;
        EXPECT_EQ(gateReply(row.object, row.onlyData, text), row.shown.has_value());
        if (row.shown) {
            EXPECT_EQ(text, *row.shown);
        }
    }
}

}  // namespace
}  // namespace orvel::test
