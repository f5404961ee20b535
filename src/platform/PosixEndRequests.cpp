#include "EndRequests.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <unistd.h>

namespace platform {
namespace {
int g_pipe[2] = {-1, -1};

// Only writes one byte into a pipe, which is safe in a signal handler.
extern "C" void onSignal(int signo) {
    const int saved = errno;
    const char byte = static_cast<char>(signo);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}
} // namespace

void installEndRequestHandlers() {
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

std::intptr_t endRequestNotifier() {
    return g_pipe[0];
}

bool takeEndRequests() {
    char buf[16];
    bool any = false;
    while (g_pipe[0] >= 0 && ::read(g_pipe[0], buf, sizeof buf) > 0)
        any = true;
    return any;
}

} // namespace platform
