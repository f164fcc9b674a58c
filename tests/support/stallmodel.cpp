#include "support/stallmodel.h"

#include "devicesim/devicemodel.h"
#include "dialogue/dialogue.h"
#include "numbers/objects.h"
#include "numbers/textrules.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <iterator>
#include <utility>
#include <vector>

namespace orvel::test {
namespace {

using devicesim::Micros;
using namespace std::chrono_literals;

// What an object number file or the range fields may hold: objects, fractions that round
// to 0, to 8176 and to objects, and cells whose low address byte is a command byte.
const char *const kTexts[] = {"1",      "2",      "3",      "12",  "85",   "170", "341",
                              "426",    "8175",   "8174.5", "0.4", "0.5",  "1.5", "2.5",
                              "8175.4", "8175.5", "8175.7", "0",   "9000", "12.5"};
constexpr int kStallMs[] = {3, 9, 60, 110, 300, 490, 500, 510, 900, 2500};
constexpr double kRangeLengths[] = {-1, 0, 0.4, 1, 2.5, 6, 11};

int objectCell(double object) {
    const std::optional<std::int64_t> cell = roundHalfEven(object);
    return cell && objects::isObject(*cell) ? int(*cell) : -1;
}

// What a range field makes of a text: a number outside the objects becomes 1, anything
// else that is no number is emptied.
QString corrected(const QString &text) {
    if (!isNumeric(text)) return {};
    const double value = valueOf(text);
    return value < objects::kFirst || value > objects::kLast ? QStringLiteral("1") : text;
}

class Run final : public ModelRun, public DialogueView {
public:
    Run(Choices &choices, bool timesOut, StallTally &tally)
        : ModelRun(choices, timesOut),
          m_tally(tally),
          m_start(m_memory),
          m_model(m_memory, lineConfig(choices, timesOut)),
          m_repeat(choices.pick(2)) {}

    std::optional<std::string> play() {
        m_model.connect(0us);
        for (int events = 3 + int(m_choices.pick(12)); events > 0 && !m_failure; --events) {
            advanceTo(m_now + pickDelay(m_choices));
            act();
        }
        // Stop, and a new transfer that must complete, stalls and all.
        stop(m_readSelected);
        stop(m_writeSelected);
        m_choices.pick(2) ? clickWrite() : clickRead();
        for (int stalls = int(m_choices.pick(3)); stalls > 0; --stalls) {
            advanceTo(m_now + pickDelay(m_choices));
            m_heldUntil = std::max(m_heldUntil, m_now + pickStall(m_choices));
        }
        if (!finish()) fail("the last transfer did not complete");
        m_tally.lateAnswers += m_lates;
        m_tally.givenUp += m_model.counters().commandsGivenUp;
        return m_failure;
    }

    bool listDriven() const override { return m_listDriven; }
    int listCount() const override { return int(m_list.size()); }
    QString listEntry(int position) const override { return m_list.value(position); }
    bool repeatTicked() const override { return m_repeat; }
    bool onlyData() const override { return false; }
    bool deviceMovedOn() const override { return !m_queue.empty(); }
    Done<PortFailure> send(char byte) override {
        m_sent.push_back(std::uint8_t(byte));
        return {};
    }
    void showActivity(Activity) override {}
    void showObject(const QString &) override {}
    void selectStop() override {
        ++m_tally.completed;
        if (m_readSelected || m_writeSelected) m_state.stop();
        m_readSelected = m_writeSelected = false;
    }
    bool showRepeatDelay(int) override { return true; }
    void showRepeater(int, const QString &) override {}
    void appendToTerminal(QStringView) override {}
    void clearTerminal() override {}
    void reopenLink() override { fail("the link was opened again"); }
    void reportFailure(const QString &text) override { fail(text.toStdString()); }
    void reportSendFailure(const Failure<PortFailure> &failure) override {
        fail(failure.words.toStdString());
    }
    void valueInDoubt(int cell, quint8) override {
        ++m_tally.doubted;
        if (cell == m_wrongValue) m_wrongValue = -1;
    }

private:
    StallTally &m_tally;
    devicesim::Memory m_start;  // the memory as last checked
    devicesim::DeviceModel m_model;
    TransferState m_state;
    Dialogue m_dialogue{m_state, *this};
    const bool m_repeat;
    std::vector<std::uint8_t> m_sent;
    Micros m_lastNoise = kLongAgo, m_command = kLongAgo, m_previousCommand = kLongAgo;
    int m_commandCell = -1;  // the object current as the last command went out
    int m_written = -1;      // the cell the last write addressed
    int m_wrongValue = -1;   // the cell of the last value, when a noise byte made it wrong

    // The operator's side: the option pairs, the list and the range fields.
    bool m_readSelected = false, m_writeSelected = false, m_listDriven = false;
    QStringList m_list;
    QString m_fields[4];
    std::vector<bool> m_chosen = std::vector<bool>(objects::kMemorySize, false);
    std::vector<int> m_walk;  // the cells of the last transfer started, in order
    bool m_walkWrites = false, m_stopped = false;
    Micros m_walkStart{0};
    std::vector<Micros> m_keptAt = std::vector<Micros>(objects::kMemorySize, kLongAgo);

    void advanceTo(Micros until) {
        while (!m_failure) {
            const Micros device = m_model.nextWakeup().value_or(kNever);
            const Micros program = m_queue.empty() ? kNever : std::max(m_now, m_heldUntil);
            const Micros next = std::min(device, program);
            if (next > until) break;
            m_now = next;
            if (device == next)
                deviceStep();
            else
                programStep();
        }
        m_now = std::max(m_now, until);
    }

    void deviceStep() {
        const devicesim::Counters before = m_model.counters();
        const devicesim::Output out = m_model.advance(m_now);
        const devicesim::Counters &after = m_model.counters();
        for (const std::uint8_t byte : out.bytes)
            m_queue.push_back({byte, after.noiseSent > before.noiseSent});
        if (after.commandsGivenUp > before.commandsGivenUp) gaveUp();
        for (const devicesim::Addressed &command : out.addressed) {
            const bool own = command.address == m_commandCell ||
                             (!command.write && command.address == m_written);
            if (!objects::isObject(command.address) ||
                (command.write && !m_chosen[command.address]) ||
                (!own && m_lastLate < m_previousCommand))
                fail((command.write ? "a write addresses " : "a read addresses ") +
                     std::to_string(command.address));
            if (command.write) m_written = command.address;
        }
        if (!out.memoryWritten) return;
        for (size_t cell = 0; cell < m_memory.size(); ++cell) {
            if (m_memory[cell] != m_start[cell] && (!m_chosen[cell] || m_memory[cell] != m_repeat))
                fail("cell " + std::to_string(cell) + " was written with " +
                     std::to_string(m_memory[cell]));
        }
        m_start = m_memory;
    }

    void programStep() {
        const Received reply = m_queue.front();
        m_queue.pop_front();
        if (reply.noise) m_lastNoise = m_now;
        const bool valueDue = m_state.ReadStep == 4;
        auto expected = m_state.DeviceMemory;
        m_sent.clear();
        const int wrongValue = m_wrongValue;
        m_dialogue.ProcessReply(reply.byte);
        if (wrongValue >= 0 && m_wrongValue == wrongValue)
            fail("the wrong value of object " + std::to_string(wrongValue) + " was not doubted");
        m_wrongValue = -1;
        if (m_sent.size() > 1) fail("more than one answer to one reply");
        for (const std::uint8_t byte : m_sent) {
            const bool command = reply.byte == devicesim::kReadyByte;  // else an operand
            if (command ? byte != devicesim::kReadCommand && byte != devicesim::kWriteCommand
                        : reply.byte != devicesim::kAckByte)
                fail("answered " + std::to_string(reply.byte) + " with " + std::to_string(byte));
            m_model.receive(byte, m_now);
            answered();
            if (command) {
                m_previousCommand = std::exchange(m_command, m_now);
                m_commandCell = objectCell(m_state.CurrentObject);
            }
        }
        if (valueDue && objects::isCell(m_state.CommandAddress))
            expected[size_t(m_state.CommandAddress)] = reply.byte;
        if (expected != m_state.DeviceMemory) fail("the memory copy changed where no value came");
        if (valueDue) valueKept(reply.byte);
    }

    void valueKept(std::uint8_t value) {
        const int cell = m_state.CommandAddress;
        ++m_tally.values;
        if (!objects::isObject(cell) || m_state.DeviceMemory[size_t(cell)] != value)
            return fail("a value was kept for cell " + std::to_string(cell));
        m_keptAt[size_t(cell)] = m_now;
        if (value == m_memory[size_t(cell)]) return;
        if (m_lastNoise >= m_command) {
            ++m_tally.noisyValues;
            // A true value of 172 after the noise byte reads as the device's ready byte; a
            // late answer may have lost the value altogether.
            if (m_memory[size_t(cell)] == devicesim::kReadyByte)
                ++m_tally.hiddenByReady;
            else if (m_lastLate < m_command)
                m_wrongValue = cell;
        }
        else if (m_lastLate < m_previousCommand)
            fail("object " + std::to_string(cell) + " kept " + std::to_string(value) +
                 ", the device holds " + std::to_string(m_memory[size_t(cell)]));
    }

    void act() {
        const std::uint32_t kind = m_choices.pick(8);
        if (kind < 3) {
            const Micros stall = pickStall(m_choices) + Micros(m_choices.pick(10'000));
            m_heldUntil = std::max(m_heldUntil, m_now + stall);
        } else if (kind == 3 || kind == 7) {
            if (kind == 7) stop(m_readSelected);
            clickRead();
        } else if (kind == 4) {
            clickWrite();
        } else {
            stop(kind == 5 ? m_readSelected : m_writeSelected);
        }
    }

    void chooseObjects() {
        auto text = [&] { return QString::fromLatin1(kTexts[m_choices.pick(std::size(kTexts))]); };
        m_listDriven = m_choices.pick(2);
        m_list.clear();
        for (int n = int(m_choices.pick(6)); n > 0; --n)
            m_list.append(m_choices.pick(4) == 0 && !m_list.isEmpty() ? m_list.first() : text());
        // Short ranges: a start and an end a few objects on.
        for (int start : {0, 2}) {
            m_fields[start] = corrected(text());
            const double length = kRangeLengths[m_choices.pick(std::size(kRangeLengths))];
            m_fields[start + 1] = corrected(numberText(valueOf(m_fields[start]) + length));
        }
    }

    // The Read and Write clicks as the transfer controls make them, in short: a click on the
    // option already selected does nothing; the range fields take the list's ends.
    void clickRead() {
        if (m_readSelected) return;
        chooseObjects();
        const QString first = m_listDriven ? corrected(m_list.value(0)) : m_fields[0];
        const QString last =
            m_listDriven ? corrected(m_list.value(m_list.size() - 1)) : m_fields[1];
        m_readSelected = true;
        double current = valueOf(first);
        if (!isNumeric(first) || current < objects::kFirst || current > objects::kLast) current = 1;
        started(false, current, valueOf(last));
    }

    void clickWrite() {
        if (m_writeSelected) return;
        const bool listDriven = m_listDriven;
        const QStringList list = m_list;
        chooseObjects();
        const double first = valueOf(m_listDriven ? m_list.value(0) : m_fields[2]);
        const double last = valueOf(m_listDriven ? m_list.value(m_list.size() - 1) : m_fields[3]);
        bool any = !m_listDriven && first >= objects::kFirst && first <= objects::kLast;
        for (const QString &entry : m_listDriven ? m_list : QStringList())
            any = any || objectCell(valueOf(entry)) > 0;
        if (!any) {  // refused: a transfer that runs goes on with the objects it had
            m_listDriven = listDriven;
            m_list = list;
            return;
        }
        m_writeSelected = true;
        started(true, first, last);
    }

    // Starts the transfer and walks its objects as the dialogue will. A write may also
    // program any object between its range's ends (never one after Stop).
    void started(bool write, double first, double lastObject) {
        m_state.startTransfer();
        m_state.ListPosition = 0;
        m_state.CurrentObject = first;
        m_state.LastObject = std::max(first, lastObject);
        if (write) m_state.WriteInProgress = true;
        m_state.TransferPhase = write ? TransferState::Writing : TransferState::Reading;
        m_walk.clear();
        m_walkWrites = write;
        m_walkStart = m_now;
        m_stopped = false;
        double object = m_state.CurrentObject;
        const double last = m_state.LastObject;
        for (int position = 0;;) {
            if (objectCell(object) > 0) m_walk.push_back(objectCell(object));
            if (object == last) break;
            if (m_listDriven) {
                if (position + 1 >= m_list.size()) break;
                object = valueOf(m_list[++position]);
            } else {
                if (object + 1 > last) break;
                object += 1;
            }
        }
        // A Read clicked while a write runs leaves the write running: its objects are
        // written from the second on.
        if (!write && !m_state.WriteInProgress) return;
        for (const int cell : m_walk) m_chosen[size_t(cell)] = true;
        if (m_listDriven) return;
        const int from = std::max(objectCell(m_state.CurrentObject), 1);
        for (int cell = from; cell <= objectCell(last); ++cell)
            m_chosen[size_t(cell)] = true;
    }

    void stop(bool &selected) {
        if (!selected) return;
        selected = false;
        m_state.stop();
        m_stopped = true;
    }

    // Runs until the last transfer has ended, and holds it against its walk: every object
    // read again since, or programmed with the chosen value.
    bool finish() {
        const Micros limit = m_now + Micros(10s) + Micros(3s) * std::int64_t(m_walk.size());
        while (m_state.TransferPhase != TransferState::Idle && m_now < limit && !m_failure)
            advanceTo(m_now + Micros(100ms));
        if (m_state.TransferPhase != TransferState::Idle) return false;
        for (const int cell : m_stopped ? std::vector<int>{} : m_walk) {
            if (m_keptAt[size_t(cell)] < m_walkStart)
                fail("object " + std::to_string(cell) + " of the last transfer was not read");
            if (m_walkWrites && m_memory[size_t(cell)] != m_repeat && m_lastLate < m_walkStart)
                fail("object " + std::to_string(cell) + " of the last transfer was not written");
        }
        return true;
    }
};

}  // namespace

devicesim::DeviceConfig lineConfig(Choices &choices, bool deviceTimesOut) {
    devicesim::DeviceConfig config;
    config.byteTime = devicesim::byteTimeForBaud(1200);
    config.timeout = deviceTimesOut ? Micros(500ms) : Micros(24h);
    config.noiseProbability = std::array{0.0, 0.02, 0.1}[choices.pick(3)];
    config.noiseSeed = choices.pick(1u << 16) + 1;
    return config;
}

Micros pickDelay(Choices &choices) {
    return Micros(choices.pick(choices.pick(4) ? 300'001 : 3'000'001));
}

Micros pickStall(Choices &choices) {
    return Micros(1ms) * kStallMs[choices.pick(std::size(kStallMs))];
}

std::optional<std::string> runStallModel(Choices &choices, bool deviceTimesOut, StallTally &tally) {
    return Run(choices, deviceTimesOut, tally).play();
}

}  // namespace orvel::test
