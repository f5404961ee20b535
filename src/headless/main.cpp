// Trefflux without a window: the entry of the service.

#include "Headless.h"

#include <csignal>

int main(int argc, char* argv[]) {
    // A reader that goes away (a protocol file that is a pipe, a closed standard error) is a write
    // error the program reports or passes over, never the end of the service.
    std::signal(SIGPIPE, SIG_IGN);
    return runHeadless(argc, argv);
}
