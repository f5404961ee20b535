// Trefflux without a window: the entry of the service.

#include "Headless.h"

int main(int argc, char* argv[]) {
    return runHeadless(argc, argv);
}
