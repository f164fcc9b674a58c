// The floor: the program's answers with nothing around them. Blocking reads and writes
// on the terminal, the same steps as the dialogue (the first 172 of a pair only arms,
// the second is answered; every written object is read back), and no Qt.
//
//   bench_bare_responder PATH read FIRST LAST
//   bench_bare_responder PATH write FIRST LAST VALUE
//
// Prints key=value lines: the wall time from the first command sent to the last value
// taken, and how many values differ from the simulator's seeded memory (seed 1).
#include "devicesim/devicemodel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

long long nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

int g_fd = -1;
long long g_firstCommandNs = 0;

void put(unsigned char byte) {
    if (!g_firstCommandNs) g_firstCommandNs = nowNs();
    while (write(g_fd, &byte, 1) != 1) {
        std::perror("write");
        std::exit(1);
    }
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 5 || (std::strcmp(argv[2], "read") && std::strcmp(argv[2], "write")) ||
        (!std::strcmp(argv[2], "write") && argc < 6)) {
        std::fprintf(stderr, "usage: %s PATH read FIRST LAST | PATH write FIRST LAST VALUE\n",
                     argv[0]);
        return 2;
    }
    const bool writing = !std::strcmp(argv[2], "write");
    const int first = std::atoi(argv[3]);
    const int last = std::atoi(argv[4]);
    const unsigned char value = writing ? (std::atoi(argv[5]) ? 1 : 0) : 0;

    g_fd = open(argv[1], O_RDWR | O_NOCTTY);
    if (g_fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    termios tio{};
    tcgetattr(g_fd, &tio);
    cfmakeraw(&tio);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    tcsetattr(g_fd, TCSANOW, &tio);

    unsigned char buf[256];
    // Link check: the first byte must be the ready byte; the rest of that burst is
    // taken while idle, as the window does before the operator clicks.
    if (read(g_fd, buf, 1) != 1 || buf[0] != 172) {
        std::fprintf(stderr, "link check failed\n");
        return 1;
    }
    for (pollfd p{g_fd, POLLIN, 0}; poll(&p, 1, 0) > 0 && (p.revents & POLLIN);)
        if (read(g_fd, buf, sizeof buf) <= 0) break;

    const long long clickNs = nowNs();
    const orvel::devicesim::Memory expected = orvel::devicesim::seededMemory(1);
    int phase = writing ? 2 : 1, readStep = 0, writeStep = 0, object = first, wrong = 0;
    while (phase != 0) {
        const ssize_t n = read(g_fd, buf, sizeof buf);
        if (n <= 0) {
            std::perror("read");
            return 1;
        }
        for (ssize_t i = 0; i < n && phase != 0; ++i) {
            const unsigned char b = buf[i];
            const bool ready = b == 172, ack = b == 202;
            if (phase == 2) {
                if (ready && writeStep == 0) writeStep = 1;
                else if (ready && writeStep == 1) put(0xAA), writeStep = 2;
                else if (ack && writeStep == 2) put(object >> 8), writeStep = 3;
                else if (ack && writeStep == 3) put(object & 0xFF), writeStep = 4;
                else if (ack && writeStep == 4) put(value), writeStep = 5;
                else if (ack && writeStep == 5) writeStep = 0, phase = 1;
                continue;
            }
            if (readStep == 4) {  // at the last step every byte is the value
                if (b != (writing ? value : expected[size_t(object)])) ++wrong;
                readStep = 0;
                if (object == last) phase = 0;
                else ++object, phase = writing ? 2 : 1;
            } else if (ready && readStep == 0) readStep = 1;
            else if (ready && readStep == 1) put(0x55), readStep = 2;
            else if (ack && readStep == 2) put(object >> 8), readStep = 3;
            else if (ack && readStep == 3) put(object & 0xFF), readStep = 4;
        }
    }
    const long long endNs = nowNs();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const long long cpuUs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1'000'000LL +
                            usage.ru_utime.tv_usec + usage.ru_stime.tv_usec;
    std::printf("objects=%d\nclick_to_idle_us=%lld\ntransfer_us=%lld\nwrong_values=%d\n"
                "cpu_us=%lld\n",
                last - first + 1, (endNs - clickNs) / 1000, (endNs - g_firstCommandNs) / 1000,
                wrong, cpuUs);
    close(g_fd);
    return wrong == 0 ? 0 : 3;
}
