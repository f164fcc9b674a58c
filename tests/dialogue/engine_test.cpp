// The dialogue on its own: device replies in, what it sends and shows out, row by row.
#include "dialogue/dialogue.h"
#include "numbers/textrules.h"
#include "recordingview.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace orvel::test {
namespace {

constexpr int R = 172;  // 0xAC ready
constexpr int A = 202;  // 0xCA acknowledge

// A dialogue with its state and view, set up as the Read and Write controls leave them.
struct Rig {
    TransferState state;
    RecordingView view;
    Dialogue dialogue{state, view};

    void start(TransferState::Phase phase, double first, double last) {
        state.startTransfer();
        state.ListPosition = 0;
        state.CurrentObject = first;
        state.LastObject = last;
        state.WriteInProgress = phase == TransferState::Writing;
        state.TransferPhase = phase;
    }
    std::string feed(const std::vector<int> &replies) {
        view.calls.clear();
        for (const int reply : replies) dialogue.ProcessReply(quint8(reply));
        return view.calls.join("; ").toStdString();
    }
};

using Act = std::function<void(Rig &)>;
Act read(double first, double last) {
    return [=](Rig &r) { r.start(TransferState::Reading, first, last); };
}
Act write(double first, double last, bool repeat = false) {
    return [=](Rig &r) {
        r.view.repeat = repeat;
        r.start(TransferState::Writing, first, last);
    };
}
Act fromList(QStringList list, TransferState::Phase phase, double last) {
    return [=](Rig &r) {
        r.view.list = list;
        r.view.listed = true;
        r.start(phase, valueOf(list[0]), last);
    };
}
const Act stop = [](Rig &r) { r.state.CurrentObject = r.state.LastObject; };  // what Stop does
const Act movedOn = [](Rig &r) { r.view.movedOn = true; };
const Act caughtUp = [](Rig &r) { r.view.movedOn = false; };
Act cell(int address, int value) {
    return [=](Rig &r) {
        EXPECT_EQ(r.state.DeviceMemory[size_t(address)], value) << "cell " << address;
    };
}

// The end of a transfer with the settings cells all 0.
std::string end() {
    std::string calls = "stop; delay 0";
    for (int n = 1; n <= 15; ++n) calls += "; R" + std::to_string(n) + " 0";
    return calls;
}

struct Step {
    std::vector<int> replies;
    std::string calls;  // what the dialogue did, in order
    Act before = {};
};

struct Exchange {
    const char *name;
    Act setUp;
    std::vector<Step> steps;
};

TEST(DialogueEngine, Exchanges) {
    const std::string E = end();
    const Exchange rows[] = {
        // Object 300 is 0x012C: address high 1, low 44.
        {"read",
         read(300, 301),
         {{{R}, "lamp 1"},                            // ready: noted
          {{R}, "send 85"},                           // ready -> 0x55 read command
          {{A}, "send 1"},                            // acknowledge -> address high
          {{A}, "send 44"},                           // acknowledge -> address low
          {{9}, "object 301; terminal 9 - 300\n\r"},  // the value, stored; on to 301
          {{}, "", cell(300, 9)}}},
        {"write with repeat ticked, read back",
         write(300, 301, true),
         {{{R}, "lamp 2"},
          {{R}, "send 170"},  // ready -> 0xAA write command
          {{A, A}, "send 1; send 44"},
          {{A}, "send 1"},  // acknowledge -> the value byte, ch_1_0
          {{A}, ""},        // the device has it: read back
          {{R, R, A, A}, "lamp 1; send 85; send 1; send 44"},
          {{1}, "object 301; terminal 1 - 300\n\r"},
          {{R}, "lamp 2"}}},  // the next object is written
        {"write with repeat unticked",
         write(7, 8),
         {{{R, R, A, A, A}, "lamp 2; send 170; send 0; send 7; send 0"}}},
        {"172 and 202 at the last read step are values",
         read(20, 22),
         {{{R, R, A, A}, "lamp 1; send 85; send 0; send 20"},
          {{R}, "object 21; terminal 172 - 20\n\r"},
          {{R, R, A, A, A}, "send 85; send 0; send 21; object 22; terminal 202 - 21\n\r"},
          {{}, "", cell(20, R)}}},
        {"data bytes mid-command are noise",
         read(20, 21),
         {{{5, R, R, 6}, "lamp 1; terminal 5; send 85; terminal 6"}, {{A}, "send 0"}}},
        {"data bytes mean nothing while writing",
         write(7, 8),
         {{{R, 5, R, A, 9, A}, "lamp 2; terminal 5; send 170; send 0; terminal 9; send 7"}}},
        {"idle: nothing is sent",
         [](Rig &r) { r.state.CurrentObject = 1; },
         {{{R, 9, A, R}, "lamp 0; terminal 9"}}},
        {"Only Data unticked shows the protocol bytes",
         [](Rig &r) {
             r.state.CurrentObject = 1;
             r.view.dataOnly = false;
         },
         {{{R, A, 9}, "lamp 0; terminal 172\n\r; terminal 202\n\r; terminal 9"}}},
        {"nothing is shown at object 0 or a settings cell",
         {},
         {{{R, 9}, "lamp 0"},
          {{9}, "", [](Rig &r) { r.state.CurrentObject = 8176; }},
          {{9}, "terminal 9", [](Rig &r) { r.state.CurrentObject = 8175; }}}},
        {"link check: a first byte other than ready reconnects, unshown",
         [](Rig &r) {
             r.state.LinkCheckPending = true;
             r.state.CurrentObject = 1;
         },
         {{{0x42}, "clear; reopen"},
          {{R, 9}, "lamp 0; terminal 9", [](Rig &r) { r.state.LinkCheckPending = true; }},
          {{}, "", [](Rig &r) { EXPECT_FALSE(r.state.LinkCheckPending); }}}},

        // A reply the device has already followed with more bytes gets no answer.
        {"the device moved on",
         read(5, 6),
         {{{R}, "lamp 1"},
          {{R}, "", movedOn},
          {{R}, "send 85", caughtUp},  // a later ready pair gets the command
          {{A}, "", movedOn},
          {{A, A}, "send 0; send 5", caughtUp}}},
        // It gave the command up: the object starts again from that ready byte.
        {"ready where an acknowledge was due, reading",
         read(300, 301),
         {{{R, R, A}, "lamp 1; send 85; send 1"},
          {{R}, ""},
          {{R, A, A}, "send 85; send 1; send 44"}}},
        {"ready where an acknowledge was due, writing",
         write(300, 301),
         {{{R, R, A, A}, "lamp 2; send 170; send 1; send 44"},
          {{R}, ""},
          {{R, A}, "send 170; send 1"}}},
        // Object 254 is 0x00FE, 257 is 0x0101.
        {"Stop mid-read: the command ends for its own cell",
         read(254, 257),
         {{{R, R, A}, "lamp 1; send 85; send 0"},
          {{A, 4}, "send 254; " + E + "; terminal 4 - 254\n\r", stop},
          {{}, "", cell(254, 4)},
          {{}, "", cell(257, 0)}}},
        {"Stop mid-write: written and read back for its own cell",
         write(254, 257, true),
         {{{R, R, A}, "lamp 2; send 170; send 0"},
          {{A, A, A}, "send 254; send 1", stop},
          {{R, R, A, A, 1}, "lamp 1; send 85; send 0; send 254; " + E + "; terminal 1 - 254\n\r"}}},
        {"a new read mid-read: the command ends, then the new range",
         read(254, 257),
         {{{R, R, A}, "lamp 1; send 85; send 0"},
          {{A, 4}, "send 254; terminal 4 - 254\n\r", read(300, 300)},
          {{R, R, A, A}, "send 85; send 1; send 44"},
          {{5}, E + "; terminal 5 - 300\n\r"}}},
        {"a new read mid-write: no read-back of the old object",
         write(254, 257),
         {{{R, R, A}, "lamp 2; send 170; send 0"},
          {{A, A, A}, "lamp 1; send 254; send 0", read(300, 300)},
          {{R, R, A, A}, "send 85; send 1; send 44"}}},
        {"a write started while a value is due begins after it",
         read(40, 40),
         {{{R, R, A, A}, "lamp 1; send 85; send 0; send 40"},
          {{R}, "lamp 2; terminal 172 - 40\n\r", write(41, 41)},
          {{R, R, A, A, A}, "send 170; send 0; send 41; send 0"}}},

        // Only objects 1 to 8175 are addressed; other list entries are passed.
        {"a list's entries that are no objects are passed",
         fromList({"0", "abc", "8176", "7", "0.4", "9"}, TransferState::Reading, 9),
         {{{R, R}, "lamp 1; object 0; object 8176; object 7; send 85"},
          {{A, A, 3}, "send 0; send 7; object 0.4; terminal 3 - 7\n\r"},
          {{R, R, A, A, 4}, "object 9; send 85; send 0; send 9; " + E + "; terminal 4 - 9\n\r"}}},
        {"a list-driven write never writes a settings cell",
         fromList({"3", "8176"}, TransferState::Writing, 8176),
         {{{R, R, A, A, A, A}, "lamp 2; send 170; send 0; send 3; send 0"},
          {{R, R, A, A, 1}, "lamp 1; send 85; send 0; send 3; object 8176"},  // gated by 8176
          {{R, R}, "lamp 2; " + E + "; lamp 0"}}},
        {"a list-driven read ends at the last entry",
         fromList({"3", "8"}, TransferState::Reading, 100),
         {{{R, R, A, A, 1}, "lamp 1; send 85; send 0; send 3; object 8; terminal 1 - 3\n\r"},
          {{R, R, A, A, 2}, "send 85; send 0; send 8; " + E + "; terminal 2 - 8\n\r"}}},
        // 2.5 and 3.5 round to the addresses 2 and 4; 4.5 would pass the end.
        {"a fractional range ends where the next number passes the end",
         read(2.5, 4),
         {{{R, R, A, A, 6}, "lamp 1; send 85; send 0; send 2; object 3.5; terminal 6 - 2.5\n\r"},
          {{R, R, A, A, 6}, "send 85; send 0; send 4; " + E + "; terminal 6 - 3.5\n\r"}}},
        {"a failed send is reported and the step advances",
         read(5, 6),
         {{{R, R},
           "lamp 1; send 85; failure refused",
           [](Rig &r) { r.view.sendError = "refused"; }},
          {{A}, "send 0; failure refused"}}},
    };
    for (const Exchange &row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        if (row.setUp) row.setUp(rig);
        for (size_t i = 0; i < row.steps.size(); ++i) {
            const Step &step = row.steps[i];
            if (step.before) step.before(rig);
            EXPECT_EQ(rig.feed(step.replies), step.calls) << "step " << i;
        }
    }
}

// At the last object's value: Stop is selected (its reactions run nested, the transfer
// already idle but still a write), then the settings cells are shown, and the value's
// line comes last.
TEST(DialogueEngine, TheEndOfATransferInOrder) {
    for (const int delay : {3, 9}) {
        Rig rig;
        rig.state.DeviceMemory[8176] = quint8(delay);
        for (int n = 1; n <= 15; ++n) rig.state.DeviceMemory[size_t(8176 + n)] = quint8(n % 8);
        rig.view.whileStopping = [&] {
            rig.view.calls << QStringLiteral("reactions: phase %1, writing %2")
                                  .arg(rig.state.TransferPhase)
                                  .arg(rig.state.WriteInProgress);
        };
        write(12, 12, true)(rig);
        rig.feed({R, R, A, A, A, A, R, R, A, A});
        std::string expected =
            "stop; reactions: phase 0, writing 1; delay " + std::to_string(delay);
        if (delay == 9)
            expected +=
                "; failure The device's repeat delay setting 9 is not one of the known delays.";
        for (int n = 1; n <= 15; ++n)
            expected += "; R" + std::to_string(n) + " " + std::to_string(n % 8);
        EXPECT_EQ(rig.feed({1}), expected + "; terminal 1 - 12\n\r");
        EXPECT_FALSE(rig.state.WriteInProgress);
        EXPECT_EQ(rig.state.ReadStep + rig.state.WriteStep, 0);
    }
}

}  // namespace
}  // namespace orvel::test
