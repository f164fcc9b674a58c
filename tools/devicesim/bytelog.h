#pragma once

#include "devicesim/devicemodel.h"

#include <cstdint>
#include <string>

namespace orvel::devicesim {

// One line per byte, "rx 85" or "tx 172" (with the time in front if asked), written in
// batches so that the line's pace does not wait on the disk.
class ByteLog {
public:
    ByteLog() = default;
    ByteLog(const ByteLog &) = delete;
    ByteLog &operator=(const ByteLog &) = delete;
    ~ByteLog();

    bool open(const std::string &path, bool timestamps);
    void add(Micros at, const char *direction, std::uint8_t byte);
    void flushIfDue(Micros now);
    void flush();

private:
    int m_fd = -1;
    bool m_timestamps = false;
    std::string m_buffer;
    Micros m_lastFlush{0};
};

}  // namespace orvel::devicesim
