#include "SignalWatcher.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
int g_pipe[2] = {-1, -1};

extern "C" void onSignal(int signo) {
    const int saved = errno;
    const char byte = static_cast<char>(signo);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}
} // namespace

void SignalWatcher::installHandlers() {
    if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    // A closed terminal or a service manager ends the program with SIGHUP: the same as SIGTERM.
    for (const int signo : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signo, &sa, nullptr);
}

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent) {
    installHandlers();
    if (g_pipe[0] < 0)
        return;
    // Level-triggered: a byte written before the watcher existed is seen at once.
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::readPipe);
}

SignalWatcher::~SignalWatcher() = default;

void SignalWatcher::readPipe() {
    char buf[16];
    bool any = false;
    while (::read(g_pipe[0], buf, sizeof buf) > 0)
        any = true;
    if (any)
        emit terminationRequested();
}
