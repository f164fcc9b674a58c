#include "cli/interruptwatcher.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace orvel::cli {
namespace {

int g_pipe[2] = {-1, -1};
struct sigaction g_before = {};
struct sigaction g_beforeTerm = {};

extern "C" void onInterrupt(int number) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    signal(number, SIG_DFL);  // the second one is not caught
    errno = saved;
}

}  // namespace

InterruptWatcher::InterruptWatcher(bool terminate, QObject *parent) : QObject(parent) {
    // A program started with SIGINT ignored (in the background of a script) keeps it so,
    // and SIGTERM alike.
    const bool interrupt =
        sigaction(SIGINT, nullptr, &g_before) == 0 && g_before.sa_handler != SIG_IGN;
    m_term = terminate && sigaction(SIGTERM, nullptr, &g_beforeTerm) == 0 &&
             g_beforeTerm.sa_handler != SIG_IGN;
    if (!interrupt && !m_term) return;
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_term = false;
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &InterruptWatcher::onPipe);
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (interrupt) sigaction(SIGINT, &action, nullptr);
    if (m_term) sigaction(SIGTERM, &action, nullptr);
}

InterruptWatcher::~InterruptWatcher() {
    if (!m_notifier) return;
    if (g_before.sa_handler != SIG_IGN) sigaction(SIGINT, &g_before, nullptr);
    if (m_term) sigaction(SIGTERM, &g_beforeTerm, nullptr);
}

void InterruptWatcher::onPipe() {
    char bytes[16];
    while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {
    }
    emit interrupted();
}

}  // namespace orvel::cli
