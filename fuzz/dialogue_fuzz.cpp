// The device dialogue under any interleaving of device bytes and operator clicks, held
// after every step against rules that hold whatever the bytes are. (The dialogue with a
// device that behaves, through stalls and noise, is stall_fuzz's ground.)
//
// Each input is a script read byte by byte (see run(), and describe_dialogue_input.py to
// print one): device bytes (ready, acknowledge, data, floods of one byte, whole read or
// write exchanges or the start of one) and operator actions (Read, Write, the two Stops,
// the check boxes, texts typed into the range fields, a new object list, reconnecting,
// a port that refuses to send), at once or after a given number of device bytes. Every
// input starts from a window as a fresh start leaves it, connected, link check passed.
//
// After every step, with the bytes we send read as a device reads them (a command after a
// ready byte, then its address bytes and a write's value, each after an acknowledge):
//  - one byte at most answers one reply, and a click sends nothing;
//  - a command addresses an object (1 to 8175): the one current as it went out, or for a
//    read the one just written; a write only one the operator put in a range or list
//    (rounded half to even), and it carries ch_1_0's value;
//  - the memory copy changes only at the cell of the read whose address just went out, to
//    the byte that followed it;
//  - the terminal stays near its limit of 16000 characters.
// A violation traps (ORVEL_FUZZ_VERBOSE=1 names it), so libFuzzer keeps the input.
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
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
#include "numbers/objects.h"
#include "reference.h"
#include "serial/connection.h"
#include "serial/memoryserial.h"

namespace {

using namespace orvel::fuzz;
using orvel::TransferState;

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

bool isObject(std::int64_t n) { return n >= 1 && n <= kLastObject; }

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
        m_memory = state().DeviceMemory;
        m_allowed.assign(m_allowed.size(), false);
        m_last = 0;
        m_blind = false;

        emit ui().imgNotConnected->clicked();
        check(m_port->isOpen() && state().LinkCheckPending, "connected");
        forgetCommand();
        reply(R);  // the link check
        check(!state().LinkCheckPending && state().TransferPhase == 0, "ready for the operator");
    }

    orvel::FrmTerminalUi &ui() { return m_form->ui(); }
    TransferState &state() { return m_form->state(); }

    // One byte from the device, and every check on what followed.
    void reply(std::uint8_t byte) {
        const bool linkCheck = state().LinkCheckPending;
        const bool repeat = ui().ch_1_0->isChecked();
        const std::optional<int> valueFor = std::exchange(m_valueFor, std::nullopt);
        const qsizetype sentBefore = m_port->written().size();

        m_port->deliver(QByteArray(1, char(byte)));

        const QByteArray sent = m_port->written().mid(sentBefore);
        check(sent.size() <= 1, "one byte answers one reply");
        if (m_writeError) {  // the device misses what we meant to send
            forgetCommand();
            m_blind = true;
        }
        if (!sent.isEmpty()) answered(byte, std::uint8_t(sent[0]), repeat);
        if (linkCheck && byte != R) {
            check(state().LinkCheckPending, "the link is checked again");
            forgetCommand();
        }
        checkMemory(valueFor, byte);
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
            newRange(first, last);  // a Read while a write runs goes on writing
        }
    }
    void clickWrite() {
        QRadioButton *write = ui().Option3[1];
        const bool was = write->isChecked();
        write->click();
        if (!was && write->isChecked() && ui().Check4->isChecked()) {
            // A list-driven write takes its objects from the list, not from the fields.
            const int count = ui().List1->count();
            const double first = refValueOf(ui().List1->item(0)->text());
            const double last = refValueOf(ui().List1->item(count - 1)->text());
            m_last = refAddressOf(ui().Check3->isChecked() ? first : std::max(first, last))
                         .value_or(0);
            allowList();
        } else if (!was && write->isChecked()) {
            const double first = refValueOf(ui().Text3->text());
            const double last = ui().Check3->isChecked() ? first : refValueOf(ui().Text4->text());
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
                    refAddressOf(refValueOf(ui().List1->item(i)->text()));
                if (a && isObject(*a)) allow(*a, m_last);
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
        forgetCommand();
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

    // A command the device did not get whole: its bytes are not checked.
    void forgetCommand() {
        m_command = 0;
        m_operands.clear();
        m_valueFor.reset();
    }

    // Our byte `out` answered `in`, read as the device reads it.
    void answered(std::uint8_t in, std::uint8_t out, bool repeat) {
        if (in == R) {
            check(out == 0x55 || out == 0xAA, "a ready byte is answered with a command");
            m_command = out;
            m_operands.clear();
            m_commandCell = refAddressOf(state().CurrentObject).value_or(-1);
            m_blind = false;
            return;
        }
        check(in == A, "only ready and acknowledge bytes are answered");
        if (m_command == 0) return;
        m_operands.push_back(out);
        const size_t n = m_operands.size();
        check(n <= (m_command == 0xAA ? 3u : 2u), "a command takes its operands only");
        if (n == 2) {
            const int address = m_operands[0] * 256 + m_operands[1];
            check(isObject(address), "a command addresses an object");
            check(address == m_commandCell || (m_command == 0x55 && address == m_written),
                  "a command's address is its object's");
            if (m_command == 0x55) {
                m_valueFor = address;
            } else {
                check(m_allowed[size_t(address)], "a write addresses the operator's range or list");
            }
        } else if (n == 3) {
            check(out == (repeat ? 1 : 0), "a write carries the value of ch_1_0");
            m_written = m_operands[0] * 256 + m_operands[1];
        }
    }

    void newRange(double first, double last) {
        const std::optional<std::int64_t> a = refAddressOf(first);
        const std::optional<std::int64_t> b = refAddressOf(std::max(first, last));
        m_last = b.value_or(0);
        if (a && b) allow(*a, *b);
        if (ui().Check4->isChecked()) allowList();
    }
    void allowList() {
        for (int i = 0; i < ui().List1->count(); ++i) {
            const std::optional<std::int64_t> a =
                refAddressOf(refValueOf(ui().List1->item(i)->text()));
            if (a) allow(*a, *a);
        }
    }
    // Every object from `first` to `last`: the operator's choice, summed over the input.
    void allow(std::int64_t first, std::int64_t last) {
        for (std::int64_t a = std::max<std::int64_t>(first, 1);
             a <= std::min<std::int64_t>(last, kLastObject); ++a)
            m_allowed[size_t(a)] = true;
    }

    void checkMemory(const std::optional<int> &valueFor, std::uint8_t byte) {
        const auto &now = state().DeviceMemory;
        if (valueFor) check(now[size_t(*valueFor)] == byte, "a value read is kept");
        if (std::memcmp(m_memory.data(), now.data(), m_memory.size()) == 0) return;
        for (size_t i = 0; i < m_memory.size(); ++i) {
            if (m_memory[i] != now[i])
                check(valueFor ? int(i) == *valueFor : m_blind && isObject(std::int64_t(i)),
                      "memory changes only where a value was due");
        }
        m_memory = now;
    }

    void checkTerminal() {
        check(ui().txtTerm->Text().size() <= kTerminalLimit, "the terminal stays near its limit");
    }

    RecordingDialogs m_dialogs;
    orvel::MemorySerial *m_port = nullptr;
    std::unique_ptr<orvel::FrmTerminal> m_form;
    bool m_writeError = false;
    std::uint8_t m_command = 0;  // 0x55, 0xAA, or 0: none the device got whole
    std::vector<std::uint8_t> m_operands;
    std::int64_t m_commandCell = -1;  // the object current as the command went out
    int m_written = -1;               // the cell of the last write whose value went out
    std::optional<int> m_valueFor;  // the cell whose value the next reply is
    bool m_blind = false;  // a byte we meant to send was lost: a value may be kept anywhere
    std::array<std::uint8_t, orvel::objects::kMemorySize> m_memory{};  // the copy as last checked
    std::vector<bool> m_allowed = std::vector<bool>(kLastObject + 1, false);
    std::int64_t m_last = 0;  // the end of the last range clicked
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
    // The window journals every value: into a folder of the run's own, not the user's.
    static const QTemporaryDir state;
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
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
