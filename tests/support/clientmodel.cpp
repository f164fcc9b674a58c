#include "support/clientmodel.h"

#include "device/deviceclient.h"

#include <algorithm>
#include <map>
#include <set>

namespace orvel::test {
namespace {

using namespace std::chrono_literals;
// Objects whose low address byte is a command byte, and the ends of the objects.
constexpr int kSpecial[] = {1, 85, 170, 341, 426, 8175};

class ClientRun final : ModelRun {
public:
    ClientRun(Choices &choices, bool timesOut, ClientTally &tally)
        : ModelRun(choices, timesOut),
          m_tally(tally),
          m_model(m_memory, config()),
          m_last(m_memory) {}

    std::optional<std::string> play() {
        m_model.connect(0us);
        for (int jobs = 1 + int(m_choices.pick(3)); jobs > 0 && !m_failure; --jobs) {
            std::map<int, quint8> items;  // each object once, with a value written or expected
            for (int n = 1 + int(m_choices.pick(5)); n > 0; --n) {
                const int object = m_pool[m_choices.pick(std::size(m_pool))];
                items[object] = m_choices.pick(2) ? m_memory[object] : quint8(m_choices.pick(256));
            }
            QList<JobItem> list;
            for (const auto &[object, value] : items) list.append({object, value});
            const std::uint32_t kind = m_choices.pick(3);
            if (kind == 0) {
                run(*Job::read(objectsOf(list)));
            } else if (kind == 1) {
                run(*Job::write(list));
            } else {  // a restore: the differences from the table, then their writes
                const JobSummary read = run(*Job::readExpecting(list));
                QList<JobItem> differing;
                for (const ObjectResult &r : read.values)
                    if (*r.value != items[r.object]) differing.append({r.object, items[r.object]});
                if (!read.stopped && !read.deviceNotAnswering && !differing.isEmpty())
                    run(*Job::write(differing));
            }
        }
        return m_failure;
    }

private:
    static QList<int> objectsOf(const QList<JobItem> &items) {
        QList<int> objects;
        for (const JobItem &item : items) objects.append(item.object);
        return objects;
    }

    // The line, a few objects to choose from (some holding 172 or 202), a stuck one now and
    // then, and flipped bytes: none, 1 % or 5 %.
    devicesim::DeviceConfig config() {
        devicesim::DeviceConfig config = lineConfig(m_choices, m_timesOut);
        for (int &object : m_pool) {
            object = m_choices.pick(2) ? kSpecial[m_choices.pick(std::size(kSpecial))]
                                       : 1 + int(m_choices.pick(8175));
            if (m_choices.pick(2)) m_memory[object] = m_choices.pick(2) ? 172 : 202;
        }
        if (m_choices.pick(4) == 0) config.stuckCell = m_pool[m_choices.pick(std::size(m_pool))];
        config.flipProbability = std::array{0.0, 0.01, 0.05}[m_choices.pick(3)];
        return config;
    }

    JobSummary run(const Job &job) {
        m_writes.clear();
        if (job.kind() == Job::Kind::Write)
            for (const JobItem &item : job.items()) m_writes[item.object] = item.value;
        m_flipped.clear();
        const Micros start = m_now;
        DeviceClient client(job, {}, m_now);
        m_client = &client;
        // Stalls and Stop at random moments.
        for (int events = int(m_choices.pick(4)); events > 0 && !client.finished(); --events) {
            advanceTo(m_now + pickDelay(m_choices));
            if (m_choices.pick(3)) {
                m_heldUntil = std::max(m_heldUntil, m_now + pickStall(m_choices));
            } else {
                client.stop(m_now);
                takeEvents();
            }
        }
        advanceTo(m_now + 60s + 10s * job.size());
        m_client = nullptr;
        if (!client.finished()) fail("ends: a job did not end");
        const JobSummary &s = client.summary();
        m_tally.doubts += std::uint64_t(s.doubts);
        m_tally.stopped += s.stopped;
        m_silent |= s.deviceNotAnswering;  // a flip may leave the device waiting, for ever
        if (s.stopped && !m_silent && !m_anyFlip && m_lastLate == kLongAgo &&
            m_model.state() != devicesim::DeviceModel::State::Idle)
            fail("idle: Stop left the device in a command");
        const bool write = job.kind() == Job::Kind::Write;
        for (const ObjectResult &r : s.values) {
            const quint8 wanted = job.items()[objectsOf(job.items()).indexOf(r.object)].value;
            const quint8 device = m_memory[size_t(r.object)];
            m_tally.verified += write;
            m_tally.differences += job.expecting() && *r.value != wanted;
            if (write ? device == wanted : *r.value == device) continue;
            if (m_flipped.count(r.object))
                ++m_tally.wrongFlipped;
            else if (m_lastLate >= start)
                ++m_tally.lateWrong;
            else
                fail("true: object " + std::to_string(r.object) + " reported " +
                     std::to_string(*r.value) + (write ? " verified" : "") +
                     ", the device holds " + std::to_string(device));
        }
        for (const ObjectResult &r : s.failed) {
            const bool excused = m_flipped.count(r.object) || m_lastLate >= start;
            // A failure's value is reported and journaled too; no two clean reads disagree on
            // a line without flips.
            if (r.value && *r.value != m_memory[size_t(r.object)] && !excused)
                fail("true: object " + std::to_string(r.object) + " failed with a value not its");
            if (r.reason == FailReason::Differing && !m_anyFlip && !excused)
                fail("differing: object " + std::to_string(r.object) + " on a line without flips");
        }
        return s;
    }

    void advanceTo(Micros until) {
        while (!m_failure && !m_client->finished()) {
            const Micros free = std::max(m_now, m_heldUntil);
            const Micros device = m_model.nextWakeup().value_or(kNever);
            const Micros program = m_queue.empty() ? kNever : free;
            const Micros tick = std::max(m_client->nextDeadline().value_or(kNever), free);
            const Micros next = std::min({device, program, tick});
            if (next > until) return;
            m_now = next;
            if (device == next) {
                deviceStep();
            } else if (program == next) {
                const std::uint8_t byte = m_queue.front().byte;
                m_queue.pop_front();
                const auto reply = m_client->receive(byte, !m_queue.empty(), m_now);
                takeEvents();  // before the answer, as the session does
                if (reply) {
                    m_model.receive(*reply, m_now);
                    answered();
                }
            } else {
                m_client->tick(m_now);
                takeEvents();
            }
        }
    }

    void deviceStep() {
        const std::uint64_t givenUp = m_model.counters().commandsGivenUp;
        const devicesim::Output out = m_model.advance(m_now);
        for (const std::uint8_t byte : out.bytes) m_queue.push_back({byte, false});
        for (const devicesim::Flip &flip : out.flips) {
            m_anyFlip = true;
            if (!flip.cell) continue;
            ++m_tally.flippedValues;
            m_flipped.insert(*flip.cell);
        }
        if (m_model.counters().commandsGivenUp > givenUp) gaveUp();
        for (const devicesim::Addressed &command : out.addressed)
            if (command.write && !m_writes.count(command.address))
                fail("outside: a write addresses " + std::to_string(command.address));
        if (!out.memoryWritten) return;
        for (size_t cell = 0; cell < m_memory.size(); ++cell) {
            if (m_memory[cell] == m_last[cell]) continue;
            const auto chosen = m_writes.find(int(cell));
            if (chosen == m_writes.end() || chosen->second != m_memory[cell])
                fail("outside: cell " + std::to_string(cell) + " was written with " +
                     std::to_string(m_memory[cell]));
            if (!m_signalled.erase(int(cell)))
                fail("signalled: cell " + std::to_string(cell) + " was written unsignalled");
        }
        m_last = m_memory;
    }

    void takeEvents() {
        for (const ClientEvent &event : m_client->takeEvents())
            if (event.type == ClientEvent::Type::Written) m_signalled.insert(event.result.object);
    }

    ClientTally &m_tally;
    int m_pool[8] = {};
    devicesim::DeviceModel m_model;
    devicesim::Memory m_last;  // the memory as last checked
    DeviceClient *m_client = nullptr;
    std::map<int, quint8> m_writes;  // the write job's cells and values
    std::set<int> m_flipped;         // cells whose value byte was flipped in this job
    std::set<int> m_signalled;       // cells whose written signal came, not written since
    bool m_anyFlip = false, m_silent = false;  // in the run so far
};

}  // namespace

std::optional<std::string> runClientModel(Choices &choices, bool deviceTimesOut,
                                          ClientTally &tally) {
    return ClientRun(choices, deviceTimesOut, tally).play();
}

}  // namespace orvel::test
