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
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace {

constexpr int waitMs = 3000;

struct Child {
    pid_t pid = -1;
    int out = -1;
    int err = -1;
};

Child startSimulator(const std::vector<std::string> &args)
{
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<std::string> all = {ORVEL_DEVICE_SIM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    Child c;
    if (posix_spawn(&c.pid, ORVEL_DEVICE_SIM, &actions, nullptr, argv.data(), environ) != 0)
        c.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    c.out = out[0];
    c.err = err[0];
    return c;
}

// -1 on time-out or end of file.
int readByte(int fd, int timeoutMs = waitMs)
{
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLIN)) return -1;
    std::uint8_t b = 0;
    return read(fd, &b, 1) == 1 ? b : -1;
}

// The device may have repeated its ready pair before it saw our command.
int readSkippingReady(int fd)
{
    int b;
    do b = readByte(fd);
    while (b == 172);
    return b;
}

std::string readLine(int fd)
{
    std::string line;
    for (int b; (b = readByte(fd)) >= 0 && b != '\n';) line += static_cast<char>(b);
    return line;
}

std::string readToEnd(int fd)
{
    std::string text;
    for (int b; (b = readByte(fd)) >= 0;) text += static_cast<char>(b);
    return text;
}

bool sendByte(int fd, std::uint8_t b)
{
    return write(fd, &b, 1) == 1;
}

std::vector<std::uint8_t> readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Exit status, or -1 if it did not end in time.
int waitForExit(pid_t pid)
{
    for (int i = 0; i < waitMs / 10; ++i) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

TEST(DeviceSimPty, ReadAndWriteOverTheTerminal)
{
    char dirTemplate[] = "/tmp/orvel-devsim-test-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    const std::string dir = dirTemplate;
    const std::string memoryFile = dir + "/memory.bin";
    const std::string linkPath = dir + "/port";

    // 13 and 10 are the bytes a cooked terminal would mangle (CR to LF, LF to CR LF).
    std::vector<std::uint8_t> before(8192);
    for (std::size_t i = 0; i < before.size(); ++i) before[i] = static_cast<std::uint8_t>(i * 7 + 3);
    before[0x0123] = 13;
    ASSERT_NE(before[0x100A], 10);
    {
        std::ofstream out(memoryFile, std::ios::binary);
        out.write(reinterpret_cast<const char *>(before.data()),
                  static_cast<std::streamsize>(before.size()));
    }

    Child sim = startSimulator(
        {"--fast", "--memory", memoryFile, "--link", linkPath, "--idle-ms", "1000"});
    ASSERT_GT(sim.pid, 0);
    const std::string slavePath = readLine(sim.out);
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

    // Read of cell 0x0123.
    EXPECT_EQ(readByte(fd), 172);
    EXPECT_EQ(readByte(fd), 172);
    ASSERT_TRUE(sendByte(fd, 0x55));
    EXPECT_EQ(readSkippingReady(fd), 202);
    ASSERT_TRUE(sendByte(fd, 0x01));
    EXPECT_EQ(readByte(fd), 202);
    ASSERT_TRUE(sendByte(fd, 0x23));
    EXPECT_EQ(readByte(fd), 13);

    // Write of 10 into cell 0x100A.
    EXPECT_EQ(readByte(fd), 172);
    EXPECT_EQ(readByte(fd), 172);
    ASSERT_TRUE(sendByte(fd, 0xAA));
    EXPECT_EQ(readSkippingReady(fd), 202);
    ASSERT_TRUE(sendByte(fd, 0x10));
    EXPECT_EQ(readByte(fd), 202);
    ASSERT_TRUE(sendByte(fd, 0x0A));
    EXPECT_EQ(readByte(fd), 202);
    ASSERT_TRUE(sendByte(fd, 0x0A));
    EXPECT_EQ(readByte(fd), 202);

    // Saved after the write already, not only at the end.
    std::vector<std::uint8_t> saved;
    for (int i = 0; i < waitMs / 10; ++i) {
        saved = readFile(memoryFile);
        if (saved.size() == 8192 && saved[0x100A] == 10) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(saved.size(), 8192u);
    EXPECT_EQ(saved[0x100A], 10);

    ASSERT_EQ(kill(sim.pid, SIGTERM), 0);
    EXPECT_EQ(waitForExit(sim.pid), 0);
    close(fd);

    const std::string summary = readToEnd(sim.err);
    EXPECT_NE(summary.find("orvel-device-sim: bytes sent "), std::string::npos) << summary;
    EXPECT_NE(summary.find("bytes received 7, objects read 1, objects written 1, noise 0"),
              std::string::npos)
        << summary;

    struct stat st {};
    EXPECT_NE(lstat(linkPath.c_str(), &st), 0) << "link left behind";

    std::vector<std::uint8_t> expected = before;
    expected[0x100A] = 10;
    EXPECT_EQ(readFile(memoryFile), expected);

    close(sim.out);
    close(sim.err);
    unlink(memoryFile.c_str());
    rmdir(dir.c_str());
}

}  // namespace
