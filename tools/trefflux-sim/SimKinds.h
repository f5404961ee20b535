#pragma once

#include "SimMachine.h"

#include <memory>
#include <string_view>
#include <vector>

// The machine kinds that trefflux-sim can play. Each kind lives in a file of its own; this table
// names them. A new kind adds one line to the table in SimKinds.cpp.
struct SimKind {
    const char* name;        // as typed on the command line ("sam")
    const char* title;       // as the club knows the machine ("SAM 4000")
    int baud;                // line speed on a real serial device
    const char* profileHint; // what to choose in Trefflux's settings window
    std::unique_ptr<SimMachine> (*make)();
};

const std::vector<SimKind>& simKinds();
const SimKind* findSimKind(std::string_view name);
