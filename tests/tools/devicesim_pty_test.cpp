// Runs the built simulator and talks to it over its pseudo-terminal the way
// the programmer does: open the printed path, answer the device's bytes.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace {

constexpr int waitMs = 3000;

struct Child {
    pid_t pid = -1;
    int out = -1, err = -1;  // its standard output and error
};

Child startSimulator(std::vector<std::string> args)
{
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    args.insert(args.begin(), ORVEL_DEVICE_SIM);
    std::vector<char *> argv;
    for (auto &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    Child c{-1, out[0], err[0]};
    if (posix_spawn(&c.pid, ORVEL_DEVICE_SIM, &actions, nullptr, argv.data(), environ) != 0)
        c.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    return c;
}

// -1 on time-out or end of file.
int readByte(int fd)
{
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, waitMs) <= 0 || !(p.revents & POLLIN)) return -1;
    std::uint8_t b = 0;
    return read(fd, &b, 1) == 1 ? b : -1;
}

// Up to the end of the line, or of the stream.
std::string readText(int fd, bool line)
{
    std::string text;
    for (int b; (b = readByte(fd)) >= 0 && !(line && b == '\n');) text += static_cast<char>(b);
    return text;
}

// Sends each byte and expects the device's answer to it.
void exchange(int fd, std::initializer_list<std::pair<std::uint8_t, int>> steps)
{
    bool first = true;
    for (auto [out, in] : steps) {
        ASSERT_EQ(write(fd, &out, 1), 1);
        int b = readByte(fd);
        // The device may have repeated its ready pair before it saw our command.
        while (first && b == 172) b = readByte(fd);
        EXPECT_EQ(b, in) << int(out);
        first = false;
    }
}

std::string readFile(const std::string &path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

TEST(DeviceSimPty, ReadAndWriteOverTheTerminal)
{
    char dirTemplate[] = "/tmp/orvel-devsim-test-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    const std::string dir = dirTemplate, memoryFile = dir + "/memory.bin", linkPath = dir + "/port";

    // 13 and 10 are the bytes a cooked terminal would mangle (CR to LF, LF to CR LF).
    std::string before(8192, '\0');
    for (std::size_t i = 0; i < before.size(); ++i) before[i] = static_cast<char>(i * 7 + 3);
    before[0x0123] = 13;
    ASSERT_NE(before[0x100A], 10);
    std::ofstream(memoryFile, std::ios::binary) << before;

    Child sim = startSimulator(
        {"--fast", "--memory", memoryFile, "--link", linkPath, "--idle-ms", "1000"});
    ASSERT_GT(sim.pid, 0);
    const std::string slavePath = readText(sim.out, true);
    ASSERT_EQ(slavePath.rfind("/dev/", 0), 0u) << slavePath;
    char target[256] = {};
    ASSERT_GT(readlink(linkPath.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(slavePath, target);

    const int fd = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    // Left as the simulator set it up: raw, no echo.
    termios tio{};
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    EXPECT_EQ(tio.c_lflag & (ECHO | ICANON | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_iflag & (ICRNL | IXON), 0u);

    // Read of cell 0x0123, then a write of 10 into cell 0x100A.
    EXPECT_EQ(readByte(fd), 172);
    EXPECT_EQ(readByte(fd), 172);
    exchange(fd, {{0x55, 202}, {0x01, 202}, {0x23, 13}});
    EXPECT_EQ(readByte(fd), 172);
    EXPECT_EQ(readByte(fd), 172);
    exchange(fd, {{0xAA, 202}, {0x10, 202}, {0x0A, 202}, {0x0A, 202}});

    // Saved after the write already, not only at the end.
    std::string expected = before;
    expected[0x100A] = 10;
    std::string saved;
    for (int i = 0; i < waitMs / 10 && (saved = readFile(memoryFile)) != expected; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(saved, expected);

    // A signal ends it cleanly (should it hang, the test's time limit ends the run).
    ASSERT_EQ(kill(sim.pid, SIGTERM), 0);
    int status = -1;
    ASSERT_EQ(waitpid(sim.pid, &status, 0), sim.pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    close(fd);
    const std::string summary = readText(sim.err, false);
    EXPECT_NE(summary.find("orvel-device-sim: bytes sent "), std::string::npos) << summary;
    EXPECT_NE(summary.find("bytes received 7, objects read 1, objects written 1, noise 0"),
              std::string::npos) << summary;
    struct stat st {};
    EXPECT_NE(lstat(linkPath.c_str(), &st), 0) << "link left behind";
    EXPECT_EQ(readFile(memoryFile), expected);

    close(sim.out);
    close(sim.err);
    unlink(memoryFile.c_str());
    rmdir(dir.c_str());
}

}  // namespace
