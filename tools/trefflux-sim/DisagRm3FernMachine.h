#pragma once

#include "SimMachine.h"
#include "SimTalker.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A Disag RM III in its older remote program (display "FERN"), at 2400 baud, as its manual
// describes it. It is in that program from the start: "V" (which on the machine reloads the
// program from its diskette) and "EXIT" are only logged. Every text ends with CR.
//
// - A settings string (nine digits, up to ten characters of printed text) that the machine can
//   take becomes its settings and starts a new series; a wrong one is kept for "F".
// - "E" is answered with the settings, eight values separated by ";" ("1;1;1;5;07;2;2;1");
//   "F" with the position of the wrong digit of the last refused string and that string
//   ("3;127111111"), or "0;" and the settings when none was refused; "S" with the shots of the
//   series so far and their total ("20;185.4").
// - A series goes out once the program has sent settings: one line per shot,
//   "<shot>;<ring>;<divisor>;<X>;<Y>;N", "SCHEIBE" after each target but the last (as many shots
//   per target as the settings say), and "ENDE". A ring "?.?" or a divisor "-" goes out as given:
//   the machine's way of saying that it could not score the shot.
class DisagRm3FernMachine : public SimMachine, public SimTalker {
public:
    DisagRm3FernMachine();

    void received(std::uint8_t byte, SimWriter& out) override;
    std::string telegram(const SimSeries& series) const override;
    std::string trailer(const std::string&) const override { return {}; }

    // The lines of a series (without CR) with the given number of shots per target.
    static std::vector<std::string> seriesLines(const SimSeries& series, int shotsPerTarget);
    // Series wait until the program has sent its settings once (it has opened the port).
    void queueSeries(const SimSeries& series) override { m_waiting.push_back(series); }
    void talk(SimWriter& out) override;
    // Sends the lines of a series at once.
    void sendSeries(const SimSeries& series, SimWriter& out);

    // The settings texts the program sent, in order (also those the machine refused).
    const std::vector<std::string>& settings() const { return m_settings; }
    // Where a settings string is wrong: the position (1..9) of its first wrong digit, 10 when its
    // printed text is too long or its digits too few, 0 when the machine can take it.
    static int wrongDigit(std::string_view settings);

private:
    void command(std::string line, SimWriter& out);

    std::string m_line;
    std::vector<std::string> m_settings;
    std::vector<SimSeries> m_waiting;
    std::string m_current = "131507221"; // the digits in force
    bool m_taken = false;                // the program has sent settings the machine took
    std::string m_refused;               // the last refused string, for "F"
    int m_refusedAt = 0;
    std::size_t m_seriesShots = 0; // the running series, for "S"
    int m_seriesTenths = 0;
};
