// orvel-device-sim: the Orvel device on a pseudo-terminal, or units one after another on it
// as on a production jig. All protocol decisions are made by DeviceModel, every arrival and
// departure by UnitSequence; the rest only moves bytes and time.

#include "devicesim/bytelog.h"
#include "devicesim/memoryfile.h"
#include "devicesim/options.h"
#include "devicesim/posixio.h"
#include "devicesim/simulator.h"
#include "devicesim/units.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace ds = orvel::devicesim;

namespace {

int g_signalPipe[2] = {-1, -1};

extern "C" void onSignal(int) {
    const int saved = errno;
    const char c = 1;
    [[maybe_unused]] const ssize_t n = write(g_signalPipe[1], &c, 1);
    errno = saved;
}

// SIGINT and SIGTERM as a byte on a pipe the loop waits on: its read end, or -1.
int catchSignals() {
    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        ds::complain(ds::withErrno("pipe"));
        return -1;
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return g_signalPipe[0];
}

// The one device of old: its memory from --memory if that exists, and it never leaves.
bool oneDevice(const ds::Options &opt, std::vector<ds::Unit> &units, std::string &error) {
    ds::Unit unit{ds::seededMemory(opt.seed), ds::deviceConfig(opt), ds::Away::Silence, {}};
    if (!opt.memoryFile.empty() && ds::loadMemory(opt.memoryFile, unit.memory, error) ==
                                       ds::Load::Failed)
        return false;
    units.push_back(std::move(unit));
    return true;
}

bool jigUnits(const ds::Options &opt, std::vector<ds::Unit> &units, std::string &error) {
    for (unsigned number = 1; number <= opt.units; ++number) {
        const ds::Options own = ds::optionsOfUnit(opt, number);
        ds::Unit unit{ds::seededMemory(own.seed), ds::deviceConfig(own), own.away,
                      std::chrono::milliseconds(own.awayAfterMs)};
        const std::string file = opt.unitsFrom + "/" + std::to_string(number) + ".bin";
        if (!opt.unitsFrom.empty() && ds::loadMemory(file, unit.memory, error) == ds::Load::Failed)
            return false;
        units.push_back(std::move(unit));
    }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    const ds::ParseResult parsed =
        ds::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed) {
        ds::complain(parsed.words() + " (see --help)");
        return 2;
    }
    const ds::Options &opt = *parsed;
    if (opt.help) {
        std::fputs(ds::helpText().c_str(), stdout);
        return 0;
    }

    // A byte leaves every 8.33 ms at 1200 bit/s: the line's pace is kept to the microsecond,
    // not to the 50 us by which the system may let a sleeping program's timer run late.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    std::vector<ds::Unit> units;
    std::string error;
    if (!(opt.units > 0 ? jigUnits(opt, units, error) : oneDevice(opt, units, error))) {
        ds::complain(error);
        return 2;
    }

    ds::ByteLog log;
    if (!opt.logFile.empty() && !log.open(opt.logFile, opt.logTimestamps)) {
        ds::complain(ds::withErrno(opt.logFile));
        return 1;
    }
    const int signalFd = catchSignals();
    if (signalFd < 0) return 1;

    ds::UnitSequence sequence(std::move(units), std::chrono::milliseconds(opt.gapMs));
    ds::Simulator simulator(opt, std::move(sequence), log, signalFd);
    return simulator.run();
}
