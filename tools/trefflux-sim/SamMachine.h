#pragma once

#include "SimMachine.h"

// A SAM 4000: answers each enquiry (ENQ) with NAK, or with STX, the series telegram, ETB, a
// check byte (the XOR of every byte from STX through ETB) and "$"; the series counts as
// delivered when the program sends ACK. A NAK after a block makes it send the block again.
//
// Telegram: a 31-character header (target type at 18, divisor factor at 24, shot count at 28),
// then one 24-character block per shot (ring value at 0, divisor at 5, X at 12, Y at 18), each
// field ended by CR.
class SamMachine : public SimMachine {
public:
    SamMachine();
    void received(std::uint8_t byte, SimWriter& out) override;
    std::string telegram(const SimSeries& series) const override;
    std::string trailer(const std::string& telegram) const override;
};
