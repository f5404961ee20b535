// The settings window's side of the machine components: opening the machine of the active
// profile, closing all of them, and their error reports.

#include "TForm1.h"

#include <chrono>
#include <thread>

void TForm1::MaschinenSchliessen() {}

void TForm1::MaschineOeffnen() {}

void TForm1::MaschineAnmelden() {
    MaschinenSchliessen();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    MaschineOeffnen();
}
