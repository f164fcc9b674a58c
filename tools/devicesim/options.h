#pragma once

#include "devicesim/devicemodel.h"
#include "devicesim/units.h"
#include "outcome/basicoutcome.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orvel::devicesim {

struct Options {
    std::string linkPath;
    std::string memoryFile;
    std::string logFile;
    bool logTimestamps = false;
    std::uint64_t seed = 1;
    unsigned baud = 1200;
    bool fast = false;
    unsigned idleMs = 100;
    unsigned timeoutMs = 500;
    unsigned openDelayMs = 10;
    std::optional<std::uint8_t> wrongFirstByte;
    std::optional<std::uint64_t> silentAfter;
    std::optional<std::uint64_t> hangupAfter;
    std::optional<std::uint64_t> pauseAfter;
    unsigned pauseMs = 1000;
    double noise = 0.0;
    std::uint64_t noiseSeed = 1;
    double flip = 0.0;
    std::optional<std::uint16_t> stuckCell;
    bool help = false;

    // A jig: units one after another (0: the one device of old, which never leaves).
    unsigned units = 0;
    std::string unitsFrom;  // folder of N.bin memories to start from
    std::string unitsOut;   // folder for each unit's final memory as N.bin
    Away away = Away::Silence;
    unsigned awayAfterMs = 1000;
    unsigned gapMs = 500;
    // Options of one unit (its number from 1), over those of all: ("--name", value) pairs.
    std::map<unsigned, std::vector<std::pair<std::string, std::string>>> unitOptions;
};

// What is wrong with a command line; the words name the option or argument.
enum class OptionFault {
    Unknown,     // an unknown option or an unexpected argument
    Value,       // a value missing, not allowed, or not one the option takes
    NotTogether, // options that do not go together, or that need another
};

using ParseResult = BasicOutcome<Options, OptionFault, std::string>;

// `args` without the program name.
ParseResult parseOptions(const std::vector<std::string> &args);

std::string helpText();

// The options of unit `number` (from 1): those of all, its seed the number's step from
// --seed, then its own.
Options optionsOfUnit(const Options &options, unsigned number);

DeviceConfig deviceConfig(const Options &options);

}  // namespace orvel::devicesim
