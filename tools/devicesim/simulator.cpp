#include "devicesim/simulator.h"

#include "devicesim/memoryfile.h"
#include "devicesim/posixio.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

namespace orvel::devicesim {

namespace {

constexpr Micros kMaxSleep{100'000};
constexpr Micros kClosedPollPeriod{5'000};
constexpr Micros kHangupLinger{50'000};

unsigned long long ull(std::uint64_t n) {
    return static_cast<unsigned long long>(n);
}

}  // namespace

Simulator::Simulator(const Options &options, UnitSequence units, ByteLog &log, int signalFd)
    : m_options(options), m_units(std::move(units)), m_log(log), m_signalFd(signalFd) {
}

bool Simulator::openTerminal() {
    if (!m_terminal.open()) return false;
    if (!m_options.linkPath.empty() && !m_terminal.link(m_options.linkPath)) return false;
    std::printf("%s\n", m_terminal.path().c_str());
    std::fflush(stdout);
    return true;
}

int Simulator::run() {
    if (!openTerminal()) return 1;
    if (jig()) {
        std::printf("unit 1 here\n");
        std::fflush(stdout);
    }
    for (;;) {
        Micros now = monotonicNow();
        m_log.flushIfDue(now);
        if (m_terminal.isOpen() && !m_connected && !m_terminal.slaveClosed()) {
            m_connected = true;
            m_terminal.discardInput();
            m_units.connect(now);
            continue;
        }
        if (!wait(now)) break;
        now = monotonicNow();
        if (m_connected && !readFromProgrammer(now)) {
            // The programmer closed the port: back to waiting, and nothing
            // of this session may leak into the next one.
            m_units.disconnect();
            m_terminal.discardInput();
            m_terminal.discardSlaveInput();
            m_connected = false;
            continue;
        }
        const UnitStep step = m_units.advance(now);
        send(step.device, now);
        if (step.device.memoryWritten && !m_options.memoryFile.empty())
            saveMemory(m_options.memoryFile, m_units.memory(1));
        if (step.event && !onEvent(*step.event)) break;
    }
    finish();
    return m_status;
}

bool Simulator::wait(Micros now) {
    Micros wait = m_connected ? kMaxSleep : kClosedPollPeriod;
    if (const auto wake = m_units.nextWakeup()) wait = std::min(wait, *wake - now);
    const timespec ts = toTimespec(wait);
    pollfd fds[2] = {{m_signalFd, POLLIN, 0}, {m_terminal.fd(), POLLIN, 0}};
    if (ppoll(fds, m_connected ? 2 : 1, &ts, nullptr) < 0) {
        if (errno == EINTR) return true;
        complain(withErrno("ppoll"));
        m_status = 1;
        return false;
    }
    m_slaveHungUp = (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    m_slaveReadable = (fds[1].revents & POLLIN) != 0;
    return !(fds[0].revents & POLLIN);
}

bool Simulator::readFromProgrammer(Micros now) {
    if (m_slaveHungUp) return false;
    if (!m_slaveReadable) return true;
    m_slaveReadable = false;
    std::uint8_t buf[256];
    for (;;) {
        const ssize_t n = read(m_terminal.fd(), buf, sizeof buf);
        if (n > 0) {
            for (ssize_t i = 0; i < n; ++i) {
                m_log.add(now, "rx", buf[i]);
                m_units.receive(buf[i], now);
            }
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return !(n == 0 || errno == EIO);
    }
}

void Simulator::send(const Output &out, Micros now) {
    if (!out.bytes.empty()) {
        for (const std::uint8_t b : out.bytes) m_log.add(now, "tx", b);
        // No flow control on the line: what does not fit is lost, as it
        // would be on a real wire with nobody listening.
        const ssize_t n = write(m_terminal.fd(), out.bytes.data(), out.bytes.size());
        if (n < static_cast<ssize_t>(out.bytes.size()))
            m_dropped += out.bytes.size() - static_cast<std::size_t>(std::max<ssize_t>(n, 0));
    }
    for (const Flip &f : out.flips) {
        if (f.cell)
            m_valueFlips += ", object " + std::to_string(*f.cell) + " (" +
                            std::to_string(f.sent) + " -> " + std::to_string(f.flipped) + ")";
    }
}

bool Simulator::onEvent(const UnitEvent &event) {
    if (event.kind == UnitEvent::Arrived) {
        if (!m_terminal.isOpen() && !openTerminal()) {
            m_status = 1;
            return false;
        }
        std::printf("unit %u here\n", event.number);
        std::fflush(stdout);
        return true;
    }
    if (event.how == Away::Hangup) lingerBeforeHangup();
    if (!jig()) {
        m_leftCounters = event.counters;
        return false;
    }
    if (event.how == Away::Hangup) {
        m_terminal.close();
        m_terminal.unlink();
        m_connected = false;
    }
    unitDone(event.number, event.counters);
    std::printf("unit %u away\n", event.number);
    std::fflush(stdout);
    return true;
}

// Closing the master discards what the programmer has not read yet; give the last bytes the
// time to get across first.
void Simulator::lingerBeforeHangup() const {
    pollfd sig{m_signalFd, POLLIN, 0};
    const timespec linger = toTimespec(kHangupLinger);
    ppoll(&sig, 1, &linger, nullptr);
}

void Simulator::unitDone(unsigned number, const Counters &counters) {
    if (!m_options.unitsOut.empty() &&
        !saveUnitMemory(m_options.unitsOut, number, m_units.memory(number)))
        m_status = 1;
    printSummary(number, counters);
    m_valueFlips.clear();
}

void Simulator::finish() {
    m_terminal.close();
    m_terminal.unlink();
    const unsigned present = m_units.present();
    const bool saveOne = !jig() && !m_options.memoryFile.empty();
    if (saveOne && !saveMemory(m_options.memoryFile, m_units.memory(1))) m_status = 1;
    m_log.flush();
    if (!jig())
        printSummary(1, present ? *m_units.counters() : m_leftCounters);
    else if (present)
        unitDone(present, *m_units.counters());
    if (m_dropped > 0)
        std::fprintf(stderr, "orvel-device-sim: bytes lost on a full terminal buffer %llu\n",
                     ull(m_dropped));
}

void Simulator::printSummary(unsigned number, const Counters &c) const {
    const Options unit = optionsOfUnit(m_options, number);
    const std::string prefix =
        "orvel-device-sim: " + (jig() ? "unit " + std::to_string(number) + ": " : std::string());
    std::fprintf(stderr,
                 "%sbytes sent %llu, bytes received %llu, objects read %llu, objects written %llu, "
                 "noise %llu, commands given up %llu\n",
                 prefix.c_str(), ull(c.bytesSent), ull(c.bytesReceived), ull(c.objectsRead),
                 ull(c.objectsWritten), ull(c.noiseReceived), ull(c.commandsGivenUp));
    if (unit.noise > 0.0)
        std::fprintf(stderr, "%snoise bytes injected %llu\n", prefix.c_str(), ull(c.noiseSent));
    if (unit.flip > 0.0)
        std::fprintf(stderr, "%sbytes flipped %llu, value bytes flipped %llu%s\n", prefix.c_str(),
                     ull(c.flipped), ull(c.flippedValues),
                     m_valueFlips.empty() ? "" : (":" + m_valueFlips.substr(1)).c_str());
    if (unit.stuckCell)
        std::fprintf(stderr, "%swrites ignored by cell %u: %llu\n", prefix.c_str(),
                     unsigned(*unit.stuckCell), ull(c.writesIgnored));
}

}  // namespace orvel::devicesim
