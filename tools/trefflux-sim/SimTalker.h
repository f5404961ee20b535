#pragma once

#include "SimMachine.h"

#include <string>

// A machine that sends on its own instead of only answering the program's polls (the Disag
// machines): a series given to it goes out as soon as the line lets it.
class SimTalker {
public:
    virtual ~SimTalker() = default;
    // Takes a series to send (any time before or while the line runs, on the line's thread).
    virtual void queueSeries(const SimSeries& series) = 0;
    // Sends what is waiting, as far as the protocol allows now (line thread). The line calls it
    // after every request.
    virtual void talk(SimWriter& out) = 0;
};

// Switches the DTR line of the machine's device, which the program sees as DSR through the
// null-modem cable. portName is the device as SimLine names it. A pseudo-terminal has no
// modem lines: false, and error says so.
bool simSetDtr(const std::string& portName, bool on, std::string& error);
