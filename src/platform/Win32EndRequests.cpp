#include "EndRequests.h"

#include <atomic>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// The console's control events. The session-end messages of a program with windows
// (WM_QUERYENDSESSION, WM_ENDSESSION) belong to its window and are handled there.
namespace platform {
namespace {
HANDLE g_event = nullptr;
std::atomic<bool> g_requested{false};

BOOL WINAPI onControl(DWORD type) {
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        g_requested = true;
        ::SetEvent(g_event);
        return TRUE;
    default:
        return FALSE;
    }
}
} // namespace

void installEndRequestHandlers() {
    if (g_event)
        return;
    g_event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (g_event)
        ::SetConsoleCtrlHandler(onControl, TRUE);
}

std::intptr_t endRequestNotifier() {
    return g_event ? reinterpret_cast<std::intptr_t>(g_event) : -1;
}

bool takeEndRequests() {
    if (!g_event)
        return false;
    ::ResetEvent(g_event);
    return g_requested.exchange(false);
}

} // namespace platform
