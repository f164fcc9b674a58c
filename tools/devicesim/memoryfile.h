#pragma once

#include "devicesim/devicemodel.h"

#include <string>

namespace orvel::devicesim {

enum class Load { Loaded, Missing, Failed };

// A file of exactly 8192 bytes; `error` says why when Failed.
Load loadMemory(const std::string &path, Memory &memory, std::string &error);

// Through a temporary file and rename, so a reader never sees half a memory.
bool saveMemory(const std::string &path, const Memory &memory);

// As `folder`/`number`.bin, whole: never through a link, never over anything but a regular
// file of ours, mode 0600. Several simulators may share no folder, but their temporary
// names never meet.
bool saveUnitMemory(const std::string &folder, unsigned number, const Memory &memory);

}  // namespace orvel::devicesim
