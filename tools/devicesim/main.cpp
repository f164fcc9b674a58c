// orvel-device-sim: the Orvel device on a pseudo-terminal. All protocol
// decisions are made by DeviceModel; this file only moves bytes and time.

#include "devicesim/devicemodel.h"
#include "devicesim/options.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace ds = orvel::devicesim;
using ds::Micros;

namespace {

constexpr Micros kMaxSleep{100'000};     // also the log flush period
constexpr Micros kClosedPollPeriod{5'000};
constexpr Micros kHangupLinger{50'000};

int g_signalPipe[2] = {-1, -1};

extern "C" void onSignal(int) {
    const int saved = errno;
    const char c = 1;
    [[maybe_unused]] const ssize_t n = write(g_signalPipe[1], &c, 1);
    errno = saved;
}

Micros monotonicNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return Micros(static_cast<long long>(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000);
}

void complain(const std::string &what) {
    std::fprintf(stderr, "orvel-device-sim: %s\n", what.c_str());
}

std::string withErrno(const std::string &what) {
    return what + ": " + std::strerror(errno);
}

bool writeAll(int fd, const void *data, std::size_t size) {
    const char *p = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

enum class Load { Loaded, Missing, Failed };

Load loadMemory(const std::string &path, ds::Memory &memory, std::string &error) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return Load::Missing;
        error = withErrno(path);
        return Load::Failed;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size != static_cast<off_t>(ds::kMemorySize)) {
        close(fd);
        error = path + ": a memory file must hold exactly 8192 bytes";
        return Load::Failed;
    }
    std::size_t got = 0;
    while (got < memory.size()) {
        const ssize_t n = read(fd, memory.data() + got, memory.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    close(fd);
    if (got != memory.size()) {
        error = path + ": short read";
        return Load::Failed;
    }
    return Load::Loaded;
}

// Through a temporary file and rename, so a reader never sees half a memory.
bool saveMemory(const std::string &path, const ds::Memory &memory) {
    const std::string tmp = path + ".tmp";
    const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        complain(withErrno(tmp));
        return false;
    }
    const bool written = writeAll(fd, memory.data(), memory.size());
    if (!written) complain(withErrno(tmp));
    close(fd);
    if (!written || rename(tmp.c_str(), path.c_str()) != 0) {
        if (written) complain(withErrno(path));
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

class ByteLog {
public:
    ~ByteLog() {
        flush();
        if (m_fd >= 0) close(m_fd);
    }

    bool open(const std::string &path, bool timestamps) {
        m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
        m_timestamps = timestamps;
        return m_fd >= 0;
    }

    void add(Micros at, const char *direction, std::uint8_t byte) {
        if (m_fd < 0) return;
        char line[64];
        const int n = m_timestamps
                          ? std::snprintf(line, sizeof line, "%lld %s %u\n",
                                          static_cast<long long>(at.count()), direction, byte)
                          : std::snprintf(line, sizeof line, "%s %u\n", direction, byte);
        m_buffer.append(line, static_cast<std::size_t>(n));
    }

    void flushIfDue(Micros now) {
        if (m_buffer.size() >= 64 * 1024 || now - m_lastFlush >= kMaxSleep) {
            flush();
            m_lastFlush = now;
        }
    }

    void flush() {
        if (m_fd < 0 || m_buffer.empty()) return;
        if (!writeAll(m_fd, m_buffer.data(), m_buffer.size())) complain(withErrno("log"));
        m_buffer.clear();
    }

private:
    int m_fd = -1;
    bool m_timestamps = false;
    std::string m_buffer;
    Micros m_lastFlush{0};
};

// Drops what we wrote that the programmer never read, so that the next one to
// open the port does not get stale bytes. Flushing from the master side does
// not reach the slave's input, so open the slave briefly ourselves. This also
// arms POLLHUP on the master: Linux reports it only once a slave was closed.
void discardSlaveInput(const std::string &slavePath) {
    const int fd = open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    tcflush(fd, TCIFLUSH);
    close(fd);
}

bool slaveClosed(int master) {
    pollfd p{master, POLLIN, 0};
    while (poll(&p, 1, 0) < 0 && errno == EINTR) {
    }
    return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

timespec toTimespec(Micros d) {
    if (d < Micros(0)) d = Micros(0);
    return timespec{static_cast<time_t>(d.count() / 1'000'000),
                    static_cast<long>(d.count() % 1'000'000) * 1000};
}

bool makeLink(const std::string &linkPath, const std::string &target) {
    const std::string tmp = linkPath + ".tmp" + std::to_string(getpid());
    unlink(tmp.c_str());
    if (symlink(target.c_str(), tmp.c_str()) != 0) {
        complain(withErrno(tmp));
        return false;
    }
    if (rename(tmp.c_str(), linkPath.c_str()) != 0) {
        complain(withErrno(linkPath));
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

// Only our own link: another simulator may have taken the name over since.
void removeLink(const std::string &linkPath, const std::string &target) {
    char buf[4096];
    const ssize_t n = readlink(linkPath.c_str(), buf, sizeof buf);
    if (n >= 0 && std::string(buf, static_cast<std::size_t>(n)) == target)
        unlink(linkPath.c_str());
}

}  // namespace

int main(int argc, char **argv) {
    const ds::ParseResult parsed =
        ds::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        complain(parsed.error + " (see --help)");
        return 2;
    }
    const ds::Options &opt = parsed.options;
    if (opt.help) {
        std::fputs(ds::helpText().c_str(), stdout);
        return 0;
    }

    // A byte leaves every 8.33 ms at 1200 bit/s: the line's pace is kept to the microsecond,
    // not to the 50 us by which the system may let a sleeping program's timer run late.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    ds::Memory memory = ds::seededMemory(opt.seed);
    if (!opt.memoryFile.empty()) {
        std::string error;
        if (loadMemory(opt.memoryFile, memory, error) == Load::Failed) {
            complain(error);
            return 2;
        }
    }

    ByteLog log;
    if (!opt.logFile.empty() && !log.open(opt.logFile, opt.logTimestamps)) {
        complain(withErrno(opt.logFile));
        return 1;
    }

    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        complain(withErrno("pipe"));
        return 1;
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char slaveName[256];
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, slaveName, sizeof slaveName) != 0) {
        complain(withErrno("pseudo-terminal"));
        return 1;
    }
    const std::string slavePath = slaveName;
    // Raw before anyone can open the slave: the settings live with the pair,
    // so an echo can never turn the programmer's bytes back at it.
    termios tio{};
    if (tcgetattr(master, &tio) != 0) {
        complain(withErrno("tcgetattr"));
        return 1;
    }
    cfmakeraw(&tio);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(master, TCSANOW, &tio) != 0 ||
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK) != 0) {
        complain(withErrno("pseudo-terminal settings"));
        return 1;
    }
    discardSlaveInput(slavePath);

    if (!opt.linkPath.empty() && !makeLink(opt.linkPath, slavePath)) return 1;

    std::printf("%s\n", slavePath.c_str());
    std::fflush(stdout);

    ds::DeviceModel model(memory, ds::deviceConfig(opt));
    bool connected = false;
    std::uint64_t dropped = 0;
    std::string valueFlips;  // each value byte flipped, for the summary
    int status = 0;

    for (;;) {
        Micros now = monotonicNow();
        log.flushIfDue(now);

        pollfd fds[2] = {{g_signalPipe[0], POLLIN, 0}, {master, POLLIN, 0}};
        if (!connected) {
            if (!slaveClosed(master)) {
                connected = true;
                tcflush(master, TCIFLUSH);
                model.connect(now);
                continue;
            }
            const timespec ts = toTimespec(kClosedPollPeriod);
            if (ppoll(fds, 1, &ts, nullptr) > 0 && (fds[0].revents & POLLIN)) break;
            continue;
        }

        Micros wait = kMaxSleep;
        if (const auto wake = model.nextWakeup()) wait = std::min(wait, *wake - now);
        const timespec ts = toTimespec(wait);
        if (ppoll(fds, 2, &ts, nullptr) < 0) {
            if (errno == EINTR) continue;
            complain(withErrno("ppoll"));
            status = 1;
            break;
        }
        if (fds[0].revents & POLLIN) break;
        now = monotonicNow();

        bool hungUp = (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        if (!hungUp && (fds[1].revents & POLLIN)) {
            std::uint8_t buf[256];
            for (;;) {
                const ssize_t n = read(master, buf, sizeof buf);
                if (n > 0) {
                    for (ssize_t i = 0; i < n; ++i) {
                        log.add(now, "rx", buf[i]);
                        model.receive(buf[i], now);
                    }
                    continue;
                }
                if (n < 0 && errno == EINTR) continue;
                if (n == 0 || errno == EIO) hungUp = true;
                break;
            }
        }
        if (hungUp) {
            // The programmer closed the port: back to waiting, and nothing
            // of this session may leak into the next one.
            model.disconnect();
            tcflush(master, TCIFLUSH);
            discardSlaveInput(slavePath);
            connected = false;
            continue;
        }

        const ds::Output out = model.advance(now);
        if (!out.bytes.empty()) {
            for (const std::uint8_t b : out.bytes) log.add(now, "tx", b);
            // No flow control on the line: what does not fit is lost, as it
            // would be on a real wire with nobody listening.
            const ssize_t n = write(master, out.bytes.data(), out.bytes.size());
            if (n < static_cast<ssize_t>(out.bytes.size()))
                dropped += out.bytes.size() - static_cast<std::size_t>(std::max<ssize_t>(n, 0));
        }
        for (const ds::Flip &f : out.flips) {
            if (f.cell)
                valueFlips += ", object " + std::to_string(*f.cell) + " (" +
                              std::to_string(f.sent) + " -> " + std::to_string(f.flipped) + ")";
        }
        if (out.memoryWritten && !opt.memoryFile.empty()) saveMemory(opt.memoryFile, memory);
        if (out.hangup) {
            // Closing the master discards what the programmer has not read
            // yet; give the last bytes the time to get across first.
            pollfd sig{g_signalPipe[0], POLLIN, 0};
            const timespec linger = toTimespec(kHangupLinger);
            ppoll(&sig, 1, &linger, nullptr);
            break;
        }
    }

    close(master);
    if (!opt.linkPath.empty()) removeLink(opt.linkPath, slavePath);
    if (!opt.memoryFile.empty() && !saveMemory(opt.memoryFile, memory)) status = 1;
    log.flush();

    const ds::Counters &c = model.counters();
    std::fprintf(stderr,
                 "orvel-device-sim: bytes sent %llu, bytes received %llu, objects read %llu, "
                 "objects written %llu, noise %llu, commands given up %llu\n",
                 static_cast<unsigned long long>(c.bytesSent),
                 static_cast<unsigned long long>(c.bytesReceived),
                 static_cast<unsigned long long>(c.objectsRead),
                 static_cast<unsigned long long>(c.objectsWritten),
                 static_cast<unsigned long long>(c.noiseReceived),
                 static_cast<unsigned long long>(c.commandsGivenUp));
    if (opt.noise > 0.0)
        std::fprintf(stderr, "orvel-device-sim: noise bytes injected %llu\n",
                     static_cast<unsigned long long>(c.noiseSent));
    if (opt.flip > 0.0)
        std::fprintf(stderr, "orvel-device-sim: bytes flipped %llu, value bytes flipped %llu%s\n",
                     static_cast<unsigned long long>(c.flipped),
                     static_cast<unsigned long long>(c.flippedValues),
                     valueFlips.empty() ? "" : (":" + valueFlips.substr(1)).c_str());
    if (opt.stuckCell)
        std::fprintf(stderr, "orvel-device-sim: writes ignored by cell %u: %llu\n",
                     unsigned(*opt.stuckCell),
                     static_cast<unsigned long long>(c.writesIgnored));
    if (dropped > 0)
        std::fprintf(stderr, "orvel-device-sim: bytes lost on a full terminal buffer %llu\n",
                     static_cast<unsigned long long>(dropped));
    return status;
}
