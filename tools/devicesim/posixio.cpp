#include "devicesim/posixio.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace orvel::devicesim {

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

Micros monotonicNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return Micros(static_cast<long long>(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000);
}

timespec toTimespec(Micros d) {
    if (d < Micros(0)) d = Micros(0);
    return timespec{static_cast<time_t>(d.count() / 1'000'000),
                    static_cast<long>(d.count() % 1'000'000) * 1000};
}

}  // namespace orvel::devicesim
