#include "cli/interruptwatcher.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <iterator>
#include <utility>

namespace orvel::cli {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kCount = int(std::size(kSignals));

int g_pipe[2] = {-1, -1};
struct sigaction g_before[kCount] = {};
bool g_watched[kCount] = {};

extern "C" void onInterrupt(int signal) {
    const int saved = errno;
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    for (int i = 0; i < kCount; ++i)  // the second one is not caught
        if (g_watched[i]) ::signal(kSignals[i], SIG_DFL);
    errno = saved;
}

}  // namespace

InterruptWatcher::InterruptWatcher(QObject *parent) : QObject(parent) {
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &InterruptWatcher::onPipe);
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals) sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < kCount; ++i) {
        g_watched[i] = sigaction(kSignals[i], nullptr, &g_before[i]) == 0 &&
                       g_before[i].sa_handler != SIG_IGN;
        if (g_watched[i]) sigaction(kSignals[i], &action, nullptr);
    }
}

InterruptWatcher::~InterruptWatcher() {
    if (!m_notifier) return;
    for (int i = 0; i < kCount; ++i)
        if (std::exchange(g_watched[i], false)) sigaction(kSignals[i], &g_before[i], nullptr);
}

void InterruptWatcher::onPipe() {
    char bytes[16];
    int first = 0;
    for (ssize_t n; (n = ::read(g_pipe[0], bytes, sizeof bytes)) > 0;)
        if (!first) first = bytes[0];
    if (first) emit interrupted(first);
}

}  // namespace orvel::cli
