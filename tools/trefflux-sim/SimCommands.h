#pragma once

#include "SimLine.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

// One line typed while trefflux-sim runs, or read from a script: a series, or a command.
struct SimCommand {
    enum Kind {
        Series,
        Silent,
        Talk,
        Garbage,
        Cut,
        Endless,
        Reply,
        DsrOn,
        DsrOff,
        Wait,
        Quit,
        Empty,
        Invalid
    } kind = Empty;
    SimSeries series;
    std::size_t count = 0;             // Garbage, Endless: bytes; Reply: the byte
    std::chrono::milliseconds wait{0}; // Wait
    std::string error;                 // Invalid
};

SimCommand parseSimCommand(std::string_view line);

// Hands a command to the machine on its line (not Wait, Quit, Empty, Invalid).
void applySimCommand(SimLine& line, const SimCommand& command);

// The help text for the commands, shared by --help and the "hilfe" command.
extern const char* const SimCommandHelp;
