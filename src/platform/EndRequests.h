#pragma once

#include <cstdint>

// Requests from outside to end the program (on POSIX SIGTERM, SIGINT and SIGHUP; on Windows
// the console's close, log-off and shutdown events), made into something the main loop watches.
// The handlers only note the request; nothing else runs in them.
namespace platform {

// Installs the handlers, once. A request that arrives before anyone watches is kept.
void installEndRequestHandlers();
// What becomes ready when a request arrived: a readable descriptor on POSIX, an event's handle
// on Windows; -1 when the handlers could not be installed.
std::intptr_t endRequestNotifier();
// Takes the requests that arrived; true when there was at least one.
bool takeEndRequests();

} // namespace platform
