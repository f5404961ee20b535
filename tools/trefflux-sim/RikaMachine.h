#pragma once

#include "SimMachine.h"

#include <string>

// A Rika SAG-1: answers the start byte (0xD3) with its version text, each poll (SYN) with 0x00,
// or with SOH, the series telegram, EOT and a check byte; the series counts as delivered when
// the program sends FF. Settings commands (ESC, text, CR) are answered with ACK and noted.
//
// Telegram: a 32-character header (target type at 22, divisor factor at 25, shot count at 28),
// then one 24-character block per shot (ring value in tenths at 0, divisor in tenths at 4, X at
// 10, Y at 17), each field ended by CR.
class RikaMachine : public SimMachine {
public:
    RikaMachine();
    void received(std::uint8_t byte, SimWriter& out) override;
    std::string telegram(const SimSeries& series) const override;
    std::string trailer(const std::string& telegram) const override;

    void setVersion(std::string version) { m_version = std::move(version); }
    // The settings commands received so far, in order ("S010", "T0000", ...).
    const std::vector<std::string>& commands() const { return m_commands; }

private:
    std::string m_version = "0150";
    bool m_inCommand = false;
    std::string m_command;
    std::vector<std::string> m_commands;
};
