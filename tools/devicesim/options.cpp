#include "devicesim/options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <limits>
#include <system_error>

namespace orvel::devicesim {

namespace {

template <typename T>
bool parseUnsigned(const std::string &text, T max, T &out) {
    std::uint64_t value = 0;
    const char *end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value > max) return false;
    out = static_cast<T>(value);
    return true;
}

bool parseProbability(const std::string &text, double &out) {
    double value = 0.0;
    const char *end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value) || value < 0.0 ||
        value > 1.0)
        return false;
    out = value;
    return true;
}

}  // namespace

ParseResult parseOptions(const std::vector<std::string> &args) {
    ParseResult result;
    Options &o = result.options;
    constexpr auto kU64Max = std::numeric_limits<std::uint64_t>::max();
    constexpr unsigned kMsMax = 24u * 3600u * 1000u;

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (name.rfind("--", 0) == 0) {
            if (auto eq = name.find('='); eq != std::string::npos) {
                inlineValue = name.substr(eq + 1);
                name.erase(eq);
            }
        }
        auto fail = [&](const std::string &why) {
            result.error = why;
            return result;
        };
        if (name == "--help" || name == "-h") {
            o.help = true;
            continue;
        }
        if (name == "--fast" || name == "--log-timestamps") {
            if (inlineValue) return fail("option " + name + " takes no value");
            (name == "--fast" ? o.fast : o.logTimestamps) = true;
            continue;
        }

        static const char *const withValue[] = {
            "--link",       "--memory",       "--log",          "--seed",
            "--baud",       "--idle-ms",      "--timeout-ms",   "--open-delay-ms",
            "--noise",      "--noise-seed",   "--silent-after", "--hangup-after",
            "--wrong-first-byte", "--pause-after",  "--pause-ms",     "--flip",
            "--stuck-cell",
        };
        if (std::find(std::begin(withValue), std::end(withValue), name) == std::end(withValue)) {
            if (name.rfind("-", 0) == 0) return fail("unknown option " + name);
            return fail("unexpected argument '" + name + "'");
        }

        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return fail("option " + name + " needs a value");
        }
        auto bad = [&]() { return fail("bad value '" + value + "' for " + name); };

        if (name == "--link") {
            if (value.empty()) return bad();
            o.linkPath = value;
        } else if (name == "--memory") {
            if (value.empty()) return bad();
            o.memoryFile = value;
        } else if (name == "--log") {
            if (value.empty()) return bad();
            o.logFile = value;
        } else if (name == "--seed") {
            if (!parseUnsigned(value, kU64Max, o.seed)) return bad();
        } else if (name == "--baud") {
            if (!parseUnsigned(value, 10'000'000u, o.baud) || o.baud == 0) return bad();
        } else if (name == "--idle-ms") {
            if (!parseUnsigned(value, kMsMax, o.idleMs) || o.idleMs == 0) return bad();
        } else if (name == "--timeout-ms") {
            if (!parseUnsigned(value, kMsMax, o.timeoutMs) || o.timeoutMs == 0) return bad();
        } else if (name == "--open-delay-ms") {
            if (!parseUnsigned(value, kMsMax, o.openDelayMs)) return bad();
        } else if (name == "--wrong-first-byte") {
            std::uint8_t b = 0;
            if (!parseUnsigned(value, std::uint8_t{255}, b)) return bad();
            o.wrongFirstByte = b;
        } else if (name == "--silent-after") {
            std::uint64_t n = 0;
            if (!parseUnsigned(value, kU64Max, n)) return bad();
            o.silentAfter = n;
        } else if (name == "--hangup-after") {
            std::uint64_t n = 0;
            if (!parseUnsigned(value, kU64Max, n)) return bad();
            o.hangupAfter = n;
        } else if (name == "--pause-after") {
            std::uint64_t n = 0;
            if (!parseUnsigned(value, kU64Max, n)) return bad();
            o.pauseAfter = n;
        } else if (name == "--pause-ms") {
            if (!parseUnsigned(value, kMsMax, o.pauseMs)) return bad();
        } else if (name == "--noise") {
            if (!parseProbability(value, o.noise)) return bad();
        } else if (name == "--flip") {
            if (!parseProbability(value, o.flip)) return bad();
        } else if (name == "--stuck-cell") {
            std::uint16_t cell = 0;
            if (!parseUnsigned(value, std::uint16_t{kMemorySize - 1}, cell)) return bad();
            o.stuckCell = cell;
        } else if (name == "--noise-seed") {
            if (!parseUnsigned(value, kU64Max, o.noiseSeed)) return bad();
        }
    }
    return result;
}

DeviceConfig deviceConfig(const Options &options) {
    DeviceConfig c;
    c.byteTime = options.fast ? Micros(0) : byteTimeForBaud(options.baud);
    c.idleWindow = std::chrono::milliseconds(options.idleMs);
    c.timeout = std::chrono::milliseconds(options.timeoutMs);
    c.openDelay = std::chrono::milliseconds(options.openDelayMs);
    c.wrongFirstByte = options.wrongFirstByte;
    c.silentAfter = options.silentAfter;
    c.hangupAfter = options.hangupAfter;
    c.pauseAfter = options.pauseAfter;
    c.pauseLength = std::chrono::milliseconds(options.pauseMs);
    c.noiseProbability = options.noise;
    c.noiseSeed = options.noiseSeed;
    c.flipProbability = options.flip;
    c.stuckCell = options.stuckCell;
    return c;
}

std::string helpText() {
    return R"(Usage: orvel-device-sim [options]

Plays the Orvel device on a pseudo-terminal. The first line on stdout is the
path of the terminal to open in the programmer (e.g. /dev/pts/5).

The device leads: while idle it sends the ready byte 172 twice and waits for a
command for the idle window, then sends the pair again. Read: 85 -> 202, high
byte -> 202, low byte -> the cell's value. Write: 170 -> 202, high -> 202,
low -> 202, value -> stored, 202. Addresses are taken modulo 8192. A command
left unanswered for the time-out is dropped. Nothing is sent while the
terminal is not open; closing it drops whatever was under way.

Options:
  --link PATH            also make the symbolic link PATH to the terminal;
                         removed on exit
  --memory FILE          load the 8192 cells from FILE if it exists (it must
                         hold exactly 8192 bytes), else seed them; FILE is
                         rewritten after every write and on exit
  --seed N               seed of the memory (default 1), see below
  --baud N               line speed for pacing (default 1200): each byte takes
                         10/N s on the line in each direction
  --fast                 no pacing at all
  --idle-ms N            idle window between ready pairs (default 100)
  --timeout-ms N         time-out inside a command (default 500)
  --open-delay-ms N      pause after the terminal is opened before the first
                         byte (default 10)
  --wrong-first-byte B   the first byte after the first opening is B, not
                         172 (later openings are normal)
  --silent-after N       after N bytes sent in all, send nothing and ignore
                         the programmer, but keep the terminal
  --hangup-after N       after N bytes sent in all, hang up and exit
  --pause-after N        after N bytes sent in all, once, send nothing and
                         ignore the programmer for --pause-ms, then drop the
                         command under way and announce readiness afresh
  --pause-ms N           length of that pause (default 1000)
  --noise P              before each byte sent, with probability P (0..1),
                         send one noise byte (never 172 or 202)
  --flip P               each byte sent is, with probability P (0..1),
                         replaced by another drawn from the 255 other values
                         (172 and 202 included): a line that flips bits
  --noise-seed S         seed of the noise and of the flips (default 1), same
                         generator (the flips from the seed's own stream)
  --stuck-cell N         cell N (0..8191) ignores writes: they are
                         acknowledged, and its value stays
  --log FILE             append one line per byte: "rx <byte>" for a byte
                         from the programmer, "tx <byte>" for a byte sent
  --log-timestamps       put the CLOCK_MONOTONIC time in microseconds in
                         front of each log line: "<usec> rx 85"
  -h, --help             this text

Memory seeding: a 64-bit linear congruential generator,
  state(0) = seed,  state(k+1) = state(k) * 6364136223846793005
                                 + 1442695040888963407  (mod 2^64),
cell i (i = 0..8191) gets the top byte of state(i+1).

On SIGINT or SIGTERM, or after --hangup-after, the memory is saved, the link
removed, and a summary line is printed on stderr:
  orvel-device-sim: bytes sent N, bytes received N, objects read N, objects written N,
                    noise N, commands given up N
where "noise" counts bytes from the programmer that were no command while the
device was idle ("bytes sent" includes injected noise bytes), and "commands
given up" the commands dropped at the time-out for want of an answer. With
--flip, a second line counts the bytes flipped and names each value byte
flipped, as object <cell> (<value> -> <sent instead>); with --stuck-cell, a
third counts the writes it ignored.
Exit status: 0 on a clean end, 1 on a system error, 2 on a bad command line
or memory file.
)";
}

}  // namespace orvel::devicesim
