// The device dialogue under any interleaving of device bytes and operator clicks, held
// against the exchange tables after every step.
//
// Each input is a script read byte by byte (see run(), and describe_dialogue_input.py to
// print one): device bytes (ready, acknowledge, data, floods of one byte, whole read or
// write exchanges or the start of one) and operator actions (Read, Write, the two Stops,
// the check boxes, texts typed into the range fields, a new object list, reconnecting,
// a port that refuses to send), at once or after a given number of device bytes. Every
// input starts from a window as a fresh start leaves it, connected, link check passed.
//
// After every step:
//  - every byte sent is the one the exchange tables call for at that step, or nothing;
//  - as the device sees it, a write command is followed by an address from 1 to 8175 that
//    lies in the operator's range or list (rounded half to even), then by ch_1_0's value;
//  - the copy of the device memory changes only at the current object's cell, and a value
//    read is kept there;
//  - the terminal stays near its limit of 16000 characters.
// A violation traps (ORVEL_FUZZ_VERBOSE=1 names it), so libFuzzer keeps the input.
#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "app/dialogs.h"
#include "app/frmterminal.h"
#include "app/frmterminalui.h"
#include "app/lampimage.h"
#include "dialogue/terminalbox.h"
#include "reference.h"
#include "serial/connection.h"
#include "serial/memoryserial.h"

namespace {

using namespace orvel::fuzz;
using orvel::TransferState;

// The part of the transfer state the checks read before a step (the memory is kept apart).
struct Steps {
    double CurrentObject;
    int TransferPhase, ReadStep, WriteStep;
    bool LinkCheckPending;
};

constexpr std::uint8_t R = 172;  // ready
constexpr std::uint8_t A = 202;  // acknowledge
constexpr int kLastObject = 8175;
constexpr qsizetype kTerminalLimit = 16000 + 64;

bool verbose = false;

void check(bool ok, const char *what) {
    if (ok) return;
    if (verbose) std::fprintf(stderr, "dialogue_fuzz: violated: %s\n", what);
    __builtin_trap();
}

struct RecordingDialogs final : orvel::Dialogs {
    int messages = 0;
    void message(QWidget *, const QString &, Icon) override { ++messages; }
    std::optional<QString> openFile(QWidget *, const OpenFileRequest &) override {
        return std::nullopt;
    }
};

// Texts the operator may type: digits, the number signs, blanks, and some that are not.
constexpr char16_t kTyped[] = u"0123456789.+-eE \tx,\u0663";
// Entries an object list may hold: what an object number file can give.
const char *const kEntries[] = {
    "1",      "2",      "3",      "5",     "8",     "12",   "99",   "170",    "255", "256",  "257",
    "300",    "511",    "512",    "4096",  "8174",  "8175", "2.5",  "3.5",    "0.4", "0.5",  "1.5",
    "8175.7", "8175.4", "8175.5", "255.5", "511.5", "1E3",  " 12 ", "0.0001", "007", "170.5"};

std::optional<std::int64_t> addressOf(double object) {
    return refAddressOf(object);
}

class Session {
public:
    Session() { create(); }

    // A window as a fresh start leaves it, connected and past the link check. A new
    // window for every input costs more than the dialogue itself, so one is reset instead;
    // ORVEL_FUZZ_FRESH_WINDOW=1 makes a new one each time, to rule the reset out.
    void begin(bool freshWindow) {
        QCoreApplication::sendPostedEvents();  // lets the terminal draw what it held
        if (freshWindow) {
            m_form.reset();
            create();
        } else {
            m_port->setWriteError({});
            for (QCheckBox *box : {ui().Check2, ui().Check3, ui().Check4, ui().chClear})
                box->setChecked(false);
            ui().Check1->setChecked(true);
            ui().List1->clear();
            ui().txtTerm->clearText();
            state().DeviceMemory.fill(0);
            state().ListPosition = 0;
            if (m_port->isOpen()) m_form->connection().Disconnect();
        }
        m_port->clearWritten();
        m_writeError = false;
        m_device = Device{};
        m_sentHigh = -1;
        m_memory = state().DeviceMemory;
        m_first = m_last = -1;
        m_listAllowed.assign(m_listAllowed.size(), false);

        emit ui().imgNotConnected->clicked();
        check(m_port->isOpen() && state().LinkCheckPending, "connected");
        reply(R);  // the link check
        check(!state().LinkCheckPending && state().TransferPhase == 0, "ready for the operator");
    }

    orvel::FrmTerminalUi &ui() { return m_form->ui(); }
    TransferState &state() { return m_form->state(); }

    // One byte from the device, and every check on what followed.
    void reply(std::uint8_t byte) {
        const Steps before = steps();
        const bool repeat = ui().ch_1_0->isChecked();
        const qsizetype sentBefore = m_port->written().size();

        deviceSends(byte);
        m_port->deliver(QByteArray(1, char(byte)));

        const QByteArray sent = m_port->written().mid(sentBefore);
        check(sent.size() <= 1, "one byte answers one reply");
        const std::optional<std::uint8_t> expected = expectedAnswer(before, byte, repeat);
        if (m_writeError) {
            check(sent.isEmpty(), "nothing goes out while the port refuses");
            if (expected) m_device = Device{};  // the device misses a byte: the exchange is broken
        } else if (expected && sent.isEmpty() && mayGiveUp(before, byte)) {
            if (before.TransferPhase == 2)
                check(state().WriteStep == 0 && state().TransferPhase == 1,
                      "a write given up is read back");
            else
                check(state().ReadStep == 0 && state().TransferPhase == 1,
                      "a read given up starts afresh");
        } else if (expected) {
            check(sent.size() == 1 && std::uint8_t(sent[0]) == *expected,
                  "the answer the tables give");
        } else {
            check(sent.isEmpty(), "no answer where the tables give none");
        }
        if (!sent.isEmpty()) {
            deviceReceives(std::uint8_t(sent[0]), repeat);
            if ((before.TransferPhase == 2 && before.WriteStep == 2) ||
                (before.TransferPhase == 1 && before.ReadStep == 2 && byte == A))
                m_sentHigh = std::uint8_t(sent[0]);
        }

        if (before.LinkCheckPending && byte != R) {
            m_device = Device{};  // reconnected
            check(state().LinkCheckPending, "the link is checked again");
        }
        checkMemory(before, byte);
        checkTerminal();
    }

    // An operator action: nothing goes out, the memory copy stays as it is.
    template <class F>
    void operate(F &&action) {
        const qsizetype sentBefore = m_port->written().size();
        action();
        check(m_port->written().size() == sentBefore, "a click sends nothing");
        check(std::memcmp(m_memory.data(), state().DeviceMemory.data(), m_memory.size()) == 0,
              "a click changes no memory");
        checkTerminal();
    }

    void clickRead() {
        QRadioButton *read = ui().Option2[1];
        const bool was = read->isChecked();
        read->click();
        if (!was && read->isChecked()) {
            const double first = refValueOf(ui().Text1->text());
            const double last = ui().Check2->isChecked() ? first : refValueOf(ui().Text2->text());
            newRange(first, last);
        }
    }
    void clickWrite() {
        QRadioButton *write = ui().Option3[1];
        const bool was = write->isChecked();
        write->click();
        if (!was && write->isChecked()) {
            const double first = refValueOf(ui().Text3->text());
            const double last = ui().Check3->isChecked() ? first : refValueOf(ui().Text4->text());
            check(first >= 1 && first <= kLastObject, "a write starts at an object");
            newRange(first, last);
        }
    }
    void clickCheck4() {
        ui().Check4->click();
        if (ui().Check4->isChecked()) {
            allowList();
        } else {
            // A running list walk goes on counting up from the entry it stands at.
            for (int i = 0; i < ui().List1->count(); ++i) {
                const std::optional<std::int64_t> a =
                    addressOf(refValueOf(ui().List1->item(i)->text()));
                if (a && m_listAllowed[size_t(std::clamp<std::int64_t>(*a, 0, 0xFFFF))])
                    m_first = std::min(m_first, *a);
            }
        }
    }
    void type(int field, const QString &text, bool leave) {
        QLineEdit *edit = std::array{ui().Text1, ui().Text2, ui().Text3, ui().Text4}[size_t(field)];
        if (!edit->isEnabled()) return;
        edit->setText(text);
        if (leave) {
            QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
            QCoreApplication::sendEvent(edit, &out);
        }
    }
    void setList(const QStringList &entries) {
        ui().List1->clear();
        ui().List1->addItems(entries);
        if (ui().Check4->isChecked()) allowList();
    }
    void reconnect() {
        m_form->connection().Disconnect();
        m_form->connection().Connect();
        m_device = Device{};
        check(m_port->isOpen() && state().LinkCheckPending, "reconnected");
    }
    void toggleWriteError() {
        m_writeError = !m_writeError;
        m_port->setWriteError(m_writeError ? QStringLiteral("refused") : QString());
    }

private:
    void create() {
        auto backend = std::make_unique<orvel::MemorySerial>();
        m_port = backend.get();
        m_form = std::make_unique<orvel::FrmTerminal>(std::move(backend), qint16(1), &m_dialogs);
    }

    // What the device has made of our bytes since its last ready byte.
    struct Device {
        int position = -1;  // -1: not listening; 0: waits for a command; n: n-1 operands taken
        std::uint8_t command = 0;
        int high = 0;
    };

    // The exchange tables: the byte that answers `byte` in the state before it, if any.
    std::optional<std::uint8_t> expectedAnswer(const Steps &before, std::uint8_t byte,
                                               bool repeat) const {
        if (before.LinkCheckPending && byte != R) return std::nullopt;
        const bool protocol = (byte == R || byte == A) && before.ReadStep != 4;
        const std::optional<std::int64_t> address = addressOf(before.CurrentObject);
        const bool addressable = address && *address >= 0 && *address <= 0xFFFF;
        const bool writable = address && *address >= 1 && *address <= kLastObject;
        auto part = [&](int step) {
            return std::uint8_t(step == 2 ? *address / 256 : *address % 256);
        };
        if (!protocol) return std::nullopt;
        if (before.TransferPhase == 1) {
            if (byte == R && before.ReadStep == 1) return std::uint8_t(0x55);
            if (byte == A && (before.ReadStep == 2 || before.ReadStep == 3) && addressable)
                return part(before.ReadStep);
        } else if (before.TransferPhase == 2) {
            if (byte == R && before.WriteStep == 1 && writable) return std::uint8_t(0xAA);
            if (byte == A && (before.WriteStep == 2 || before.WriteStep == 3) && writable)
                return part(before.WriteStep);
            if (byte == A && before.WriteStep == 4) return std::uint8_t(repeat ? 1 : 0);
        }
        return std::nullopt;
    }

    // The low byte of a write or a read may be held back when the object has left the
    // block of 256 whose high byte already went out: sent, it would complete a cell that
    // is not the object's.
    bool mayGiveUp(const Steps &before, std::uint8_t byte) const {
        const std::optional<std::int64_t> address = addressOf(before.CurrentObject);
        const bool lowByteNext = (before.TransferPhase == 2 && before.WriteStep == 3) ||
                                 (before.TransferPhase == 1 && before.ReadStep == 3);
        return lowByteNext && byte == A && (!address || *address / 256 != m_sentHigh);
    }

    void deviceSends(std::uint8_t byte) {
        if (m_device.command == 0x55 && m_device.position == 3) {
            m_device = Device{};  // the value of a read: data, whatever byte it is
        } else if (byte == R) {
            m_device = Device{};
            m_device.position = 0;
        } else if (byte != A) {
            m_device = Device{};
        }
    }

    void deviceReceives(std::uint8_t byte, bool repeat) {
        Device &d = m_device;
        if (d.position < 0) return;
        if (d.position == 0) {
            d.command = byte;
            d.position = 1;
            return;
        }
        if (d.command == 0xAA) {
            if (d.position == 1) {
                d.high = byte;
            } else if (d.position == 2) {
                const int address = d.high * 256 + byte;
                check(address >= 1 && address <= kLastObject, "a write addresses an object");
                check(allowed(address), "a write addresses the operator's range or list");
            } else if (d.position == 3) {
                check(byte == (repeat ? 1 : 0), "a write carries the value of ch_1_0");
            }
        }
        ++d.position;
    }

    void newRange(double first, double last) {
        m_first = addressOf(first).value_or(-1);
        m_last = addressOf(std::max(first, last)).value_or(-1);
        m_listAllowed.assign(m_listAllowed.size(), false);
        if (ui().Check4->isChecked()) allowList();
    }
    void allowList() {
        for (int i = 0; i < ui().List1->count(); ++i) {
            const std::optional<std::int64_t> a =
                addressOf(refValueOf(ui().List1->item(i)->text()));
            if (a && *a >= 0 && *a < std::int64_t(m_listAllowed.size()))
                m_listAllowed[size_t(*a)] = true;
        }
    }
    bool allowed(int address) const {
        return (address >= m_first && address <= m_last) || m_listAllowed[size_t(address)];
    }

    Steps steps() {
        const TransferState &s = state();
        return {s.CurrentObject, s.TransferPhase, s.ReadStep, s.WriteStep, s.LinkCheckPending};
    }

    void checkMemory(const Steps &before, std::uint8_t byte) {
        const std::optional<std::int64_t> address = addressOf(before.CurrentObject);
        const auto &now = state().DeviceMemory;
        if (std::memcmp(m_memory.data(), now.data(), m_memory.size()) != 0) {
            for (size_t i = 0; i < m_memory.size(); ++i) {
                if (m_memory[i] != now[i])
                    check(address && std::int64_t(i) == *address,
                          "memory changes only at the current object");
            }
            m_memory = now;
        }
        const bool value = before.TransferPhase == 1 && !(before.LinkCheckPending && byte != R) &&
                           ((byte != R && byte != A) || before.ReadStep == 4);
        if (value && address && *address >= 0 && *address < TransferState::kMemorySize)
            check(state().DeviceMemory[size_t(*address)] == byte, "a value read is kept");
    }

    void checkTerminal() {
        check(ui().txtTerm->Text().size() <= kTerminalLimit, "the terminal stays near its limit");
    }

    RecordingDialogs m_dialogs;
    orvel::MemorySerial *m_port = nullptr;
    std::unique_ptr<orvel::FrmTerminal> m_form;
    bool m_writeError = false;
    Device m_device;
    int m_sentHigh = -1;  // the high byte of the exchange in progress
    std::array<std::uint8_t, TransferState::kMemorySize> m_memory{};  // the copy as last checked
    std::int64_t m_first = -1, m_last = -1;
    std::vector<bool> m_listAllowed = std::vector<bool>(0x10000, false);
};

class Script {
public:
    Script(const std::uint8_t *data, size_t size) : m_p(data), m_end(data + size) {}
    bool more() const { return m_p < m_end; }
    std::uint8_t next() { return m_p < m_end ? *m_p++ : 0; }

private:
    const std::uint8_t *m_p;
    const std::uint8_t *m_end;
};

using Action = std::function<void(Session &)>;

// Reads one operator action and its parameters.
Action readAction(Script &in, int kind) {
    switch (kind) {
        case 0:
            return [](Session &s) { s.operate([&] { s.clickRead(); }); };
        case 1:
            return [](Session &s) { s.operate([&] { s.ui().Option2[2]->click(); }); };
        case 2:
            return [](Session &s) { s.operate([&] { s.clickWrite(); }); };
        case 3:
            return [](Session &s) { s.operate([&] { s.ui().Option3[2]->click(); }); };
        case 4:
            return [](Session &s) { s.operate([&] { s.ui().Check2->click(); }); };
        case 5:
            return [](Session &s) { s.operate([&] { s.ui().Check3->click(); }); };
        case 6:
            return [](Session &s) { s.operate([&] { s.clickCheck4(); }); };
        case 7:
            return [](Session &s) { s.operate([&] { s.ui().ch_1_0->click(); }); };
        case 8:
            return [](Session &s) { s.operate([&] { s.ui().chClear->click(); }); };
        case 9: {
            const int field = in.next() % 4;
            const std::uint8_t length = in.next();
            QString text;
            if (length & 0x40) {
                text = QString::fromLatin1(kEntries[in.next() % std::size(kEntries)]);
            } else {
                for (int i = length % 8; i > 0; --i)
                    text.append(QChar(kTyped[in.next() % (std::size(kTyped) - 1)]));
            }
            const bool leave = length & 0x80;
            return [=](Session &s) { s.operate([&] { s.type(field, text, leave); }); };
        }
        case 10: {
            QStringList entries;
            for (int i = in.next() % 6; i > 0; --i)
                entries.append(QString::fromLatin1(kEntries[in.next() % std::size(kEntries)]));
            return [=](Session &s) { s.operate([&] { s.setList(entries); }); };
        }
        case 11: {
            const bool pass = !(in.next() & 1);
            return [=](Session &s) {
                s.operate([&] { s.reconnect(); });
                if (pass) s.reply(R);
            };
        }
        case 12:
            return [](Session &s) { s.operate([&] { s.toggleWriteError(); }); };
        default:
            return [](Session &s) { s.operate([] { QCoreApplication::sendPostedEvents(); }); };
    }
}

constexpr int kActionKinds = 14;

bool freshWindows = false;
Session *session = nullptr;

void run(const std::uint8_t *data, size_t size) {
    Session &s = *session;
    s.begin(freshWindows);
    Script in(data, size);
    Action pending;
    int countdown = 0;
    int budget = 30000;  // device bytes per input: enough to fill the terminal twice
    auto device = [&](std::uint8_t byte) {
        --budget;
        s.reply(byte);
        if (pending && --countdown == 0) std::exchange(pending, nullptr)(s);
    };
    while (in.more() && budget > 0) {
        const std::uint8_t op = in.next();
        if (op < 64) {
            device(R);
        } else if (op < 128) {
            device(A);
        } else if (op < 151) {
            device(in.more() ? in.next() : op);
        } else if (op == 151) {
            // A flood of one byte, enough to fill the terminal.
            const std::uint8_t value = in.next();
            for (int n = 256 * (in.next() % 8 + 1); n > 0; --n) device(value);
        } else if (op < 160) {
            // The start of a write exchange, cut short.
            constexpr std::uint8_t start[] = {R, R, A, A, A, A, R, R};
            for (int n = 0; n <= (op & 7); ++n) device(start[n]);
        } else if (op < 176) {
            // Whole read exchanges: the object's value, once per object.
            const std::uint8_t value = in.next();
            for (int n = (op & 15) + 1; n > 0; --n)
                for (const std::uint8_t b : {R, R, A, A, value}) device(b);
        } else if (op < 184) {
            // Whole write exchanges with their read-back.
            const std::uint8_t value = in.next();
            for (int n = (op & 7) + 1; n > 0; --n)
                for (const std::uint8_t b : {R, R, A, A, A, A, R, R, A, A, value}) device(b);
        } else if (op < 212) {
            readAction(in, (op - 184) % kActionKinds)(s);
        } else {
            // An action after the next few device bytes, so it lands inside an exchange
            // (one waits at a time). A click takes one byte; any action takes three.
            if (op < 255) {
                constexpr int clicks[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 13};
                countdown = (op - 212) / int(std::size(clicks)) + 1;
                pending = readAction(in, clicks[(op - 212) % std::size(clicks)]);
            } else {
                countdown = in.next() % 16 + 1;
                pending = readAction(in, in.next() % kActionKinds);
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***argv) {
    verbose = qEnvironmentVariableIntValue("ORVEL_FUZZ_VERBOSE") != 0;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt gets its own arguments: it must not take libFuzzer's.
    static int qtArgc = 1;
    static char *qtArgv[] = {(*argv)[0], nullptr};
    static QApplication app(qtArgc, qtArgv);
    freshWindows = qEnvironmentVariableIntValue("ORVEL_FUZZ_FRESH_WINDOW") != 0;
    static Session theSession;
    session = &theSession;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    if (size > 8192) return -1;
    run(data, size);
    return 0;
}
