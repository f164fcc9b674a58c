#include "devicesim/options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
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

using Text = const std::string &;
using Setter = bool (*)(Text value, Options &o);
struct OptionSpec {
    const char *name;
    Setter set;
    bool perUnit;  // may be given to one unit of a jig
};

constexpr auto kU64Max = std::numeric_limits<std::uint64_t>::max();
constexpr unsigned kMsMax = 24u * 3600u * 1000u;
constexpr unsigned kUnitsMax = 10'000;

bool nonEmpty(const std::string &value, std::string &out) {
    if (value.empty()) return false;
    out = value;
    return true;
}

template <typename T>
bool parseOptional(const std::string &text, T max, std::optional<T> &out) {
    T value{};
    if (!parseUnsigned(text, max, value)) return false;
    out = value;
    return true;
}

bool parsePositiveMs(const std::string &text, unsigned &out) {
    return parseUnsigned(text, kMsMax, out) && out != 0;
}

bool setUnitOptions(const std::string &value, Options &o);

// clang-format off
const OptionSpec kOptions[] = {
    {"--link", [](Text v, Options &o) { return nonEmpty(v, o.linkPath); }, false},
    {"--memory", [](Text v, Options &o) { return nonEmpty(v, o.memoryFile); }, false},
    {"--log", [](Text v, Options &o) { return nonEmpty(v, o.logFile); }, false},
    {"--seed", [](Text v, Options &o) { return parseUnsigned(v, kU64Max, o.seed); }, true},
    {"--baud", [](Text v, Options &o) {
        return parseUnsigned(v, 10'000'000u, o.baud) && o.baud != 0; }, false},
    {"--idle-ms", [](Text v, Options &o) { return parsePositiveMs(v, o.idleMs); }, true},
    {"--timeout-ms", [](Text v, Options &o) { return parsePositiveMs(v, o.timeoutMs); }, true},
    {"--open-delay-ms", [](Text v, Options &o) {
        return parseUnsigned(v, kMsMax, o.openDelayMs); }, true},
    {"--wrong-first-byte", [](Text v, Options &o) {
        return parseOptional(v, std::uint8_t{255}, o.wrongFirstByte); }, true},
    {"--silent-after", [](Text v, Options &o) {
        return parseOptional(v, kU64Max, o.silentAfter); }, true},
    {"--hangup-after", [](Text v, Options &o) {
        return parseOptional(v, kU64Max, o.hangupAfter); }, true},
    {"--pause-after", [](Text v, Options &o) { return parseOptional(v, kU64Max, o.pauseAfter); },
     true},
    {"--pause-ms", [](Text v, Options &o) { return parseUnsigned(v, kMsMax, o.pauseMs); }, true},
    {"--noise", [](Text v, Options &o) { return parseProbability(v, o.noise); }, true},
    {"--noise-seed", [](Text v, Options &o) { return parseUnsigned(v, kU64Max, o.noiseSeed); },
     true},
    {"--flip", [](Text v, Options &o) { return parseProbability(v, o.flip); }, true},
    {"--stuck-cell", [](Text v, Options &o) {
        return parseOptional(v, std::uint16_t{kMemorySize - 1}, o.stuckCell); }, true},
    {"--units", [](Text v, Options &o) {
        return parseUnsigned(v, kUnitsMax, o.units) && o.units != 0; }, false},
    {"--unit", setUnitOptions, false},
    {"--units-from", [](Text v, Options &o) { return nonEmpty(v, o.unitsFrom); }, false},
    {"--units-out", [](Text v, Options &o) { return nonEmpty(v, o.unitsOut); }, false},
    {"--away", [](Text v, Options &o) {
        if (v != "silence" && v != "hangup") return false;
        o.away = v == "silence" ? Away::Silence : Away::Hangup;
        return true; }, true},
    {"--away-after-ms", [](Text v, Options &o) { return parsePositiveMs(v, o.awayAfterMs); }, true},
    {"--gap-ms", [](Text v, Options &o) { return parseUnsigned(v, kMsMax, o.gapMs); }, false},
};
// clang-format on
constexpr const char *kJigOnly[] = {"--unit",  "--units-from",    "--units-out",
                                    "--away", "--away-after-ms", "--gap-ms"};

const OptionSpec *findOption(const std::string &name) {
    for (const OptionSpec &spec : kOptions)
        if (name == spec.name) return &spec;
    return nullptr;
}

// "N:name=value,name=value": options of unit N, checked here and applied when it comes.
bool setUnitOptions(const std::string &value, Options &o) {
    const auto colon = value.find(':');
    unsigned number = 0;
    if (colon == std::string::npos || !parseUnsigned(value.substr(0, colon), kUnitsMax, number) ||
        number == 0)
        return false;
    auto &own = o.unitOptions[number];
    std::size_t at = colon + 1;
    while (at < value.size()) {
        const std::size_t end = std::min(value.find(',', at), value.size());
        const std::string item = value.substr(at, end - at);
        const auto eq = item.find('=');
        const OptionSpec *spec =
            eq == std::string::npos ? nullptr : findOption("--" + item.substr(0, eq));
        Options scratch;
        if (!spec || !spec->perUnit || !spec->set(item.substr(eq + 1), scratch)) return false;
        own.emplace_back(spec->name, item.substr(eq + 1));
        at = end + 1;
    }
    return true;
}

// A flag, or an option and its value (after '=' or as the next argument).
struct Argument {
    std::string name;
    std::optional<std::string> value;
};

Argument splitArgument(const std::string &arg) {
    if (arg.rfind("--", 0) == 0)
        if (const auto eq = arg.find('='); eq != std::string::npos)
            return {arg.substr(0, eq), arg.substr(eq + 1)};
    return {arg, std::nullopt};
}

using Done = BasicOutcome<void, OptionFault, std::string>;
using Fault = Done::Failure;

// Whether `arg` is a flag: nullopt when it is none, else whether it was taken.
std::optional<Done> applyFlag(const Argument &arg, Options &o) {
    if (arg.name == "--help" || arg.name == "-h") {
        o.help = true;
        return Done();
    }
    if (arg.name != "--fast" && arg.name != "--log-timestamps") return std::nullopt;
    if (arg.value) return Done(Fault{OptionFault::Value, "option " + arg.name + " takes no value"});
    (arg.name == "--fast" ? o.fast : o.logTimestamps) = true;
    return Done();
}

Done checkJig(const Options &o, const std::vector<std::string> &given) {
    auto was = [&](const char *name) {
        return std::find(given.begin(), given.end(), name) != given.end();
    };
    if (o.units == 0) {
        for (const char *name : kJigOnly)
            if (was(name))
                return Fault{OptionFault::NotTogether, std::string("option ") + name +
                                                           " needs --units"};
        return {};
    }
    if (was("--memory"))
        return Fault{OptionFault::NotTogether,
                     "--memory is for one device: with --units, use --units-from"};
    if (!o.unitOptions.empty() && o.unitOptions.rbegin()->first > o.units)
        return Fault{OptionFault::NotTogether,
                     "--unit " + std::to_string(o.unitOptions.rbegin()->first) + " but only " +
                         std::to_string(o.units) + " units"};
    return {};
}

}  // namespace

ParseResult parseOptions(const std::vector<std::string> &args) {
    Options options;
    std::vector<std::string> given;
    for (std::size_t i = 0; i < args.size(); ++i) {
        Argument arg = splitArgument(args[i]);
        if (const auto flag = applyFlag(arg, options)) {
            if (!*flag) return flag->failure();
            continue;
        }
        const OptionSpec *spec = findOption(arg.name);
        if (!spec) {
            if (arg.name.rfind("-", 0) == 0)
                return Fault{OptionFault::Unknown, "unknown option " + arg.name};
            return Fault{OptionFault::Unknown, "unexpected argument '" + arg.name + "'"};
        }
        if (!arg.value && i + 1 == args.size())
            return Fault{OptionFault::Value, "option " + arg.name + " needs a value"};
        const std::string value = arg.value ? *arg.value : args[++i];
        if (!spec->set(value, options))
            return Fault{OptionFault::Value, "bad value '" + value + "' for " + arg.name};
        given.push_back(arg.name);
    }
    if (const Done checked = checkJig(options, given); !checked) return checked.failure();
    return options;
}

Options optionsOfUnit(const Options &options, unsigned number) {
    Options unit = options;
    unit.seed = options.seed + (number - 1);
    unit.noiseSeed = options.noiseSeed + (number - 1);
    if (const auto own = options.unitOptions.find(number); own != options.unitOptions.end())
        for (const auto &[name, value] : own->second) findOption(name)->set(value, unit);
    return unit;
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
  --hangup-after N       after N bytes sent in all, hang up and exit (with
                         --units, the unit goes by the hang-up)
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

A jig: units one after another on the same port, each its own device.
  --units N              play N units (1..10000), one at a time; unit K's
                         memory and noise seeds are --seed + K - 1 and
                         --noise-seed + K - 1, each fault counts its own bytes
  --units-from DIR       unit K starts with the memory in DIR/K.bin if that
                         exists (it must hold exactly 8192 bytes), else seeded
  --units-out DIR        unit K's memory is written whole to DIR/K.bin when it
                         is taken away, or at the end while it is there (mode
                         0600, never through a link; one folder per simulator)
  --away-after-ms N      take a unit away once the programmer has sent it
                         nothing for N ms (default 1000), counted from its
                         first opening of the port while the unit is there
  --away HOW             how a unit goes (default silence): "silence", it
                         falls silent with the terminal still open; "hangup",
                         the terminal hangs up and the link goes, as an adapter
                         unplugged, and the next unit comes on a new terminal
                         at the same link
  --gap-ms N             the next unit comes N ms after one went (default 500)
  --unit K:NAME=V,...    options of unit K alone, over those for all: seed,
                         idle-ms, timeout-ms, open-delay-ms, wrong-first-byte,
                         silent-after, hangup-after (the unit goes at once, by
                         a hang-up), pause-after, pause-ms, noise, noise-seed,
                         flip, stuck-cell, away, away-after-ms
                         e.g. --unit 3:stuck-cell=15,away=hangup
  On stdout, after the terminal's path: "unit K here" when unit K comes (after
  the new terminal's path, after a hang-up), "unit K away" once it went and its
  memory is written; its summary then goes to stderr, each line starting
  "orvel-device-sim: unit K:". After the last unit the simulator waits, with no
  unit, for SIGINT or SIGTERM. --memory does not go with --units.

Memory seeding: a 64-bit linear congruential generator,
  state(0) = seed,  state(k+1) = state(k) * 6364136223846793005
                                 + 1442695040888963407  (mod 2^64),
cell i (i = 0..8191) gets the top byte of state(i+1).

On SIGINT or SIGTERM, or after --hangup-after of the one device, the memory
is saved, the link removed, and a summary line is printed on stderr:
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
