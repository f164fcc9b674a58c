#pragma once

#include "devicesim/devicemodel.h"

#include <cstdint>
#include <optional>
#include <string>
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
};

struct ParseResult {
    Options options;
    std::string error;  // empty when the command line was fine
};

// `args` without the program name.
ParseResult parseOptions(const std::vector<std::string> &args);

std::string helpText();

DeviceConfig deviceConfig(const Options &options);

}  // namespace orvel::devicesim
