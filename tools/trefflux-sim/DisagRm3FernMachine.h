#pragma once

#include "SimMachine.h"
#include "SimTalker.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A Disag RM III in its older remote program (display "FERN"), at 2400 baud. It sends plain lines
// ended by CR, without handshake or check character: "START", one line per shot (number, ring
// value, divisor) and "ENDE" at the end of a series. The program answers every "ENDE" (and its own
// start) with the settings text and CR, which the machine logs.
class DisagRm3FernMachine : public SimMachine, public SimTalker {
public:
    DisagRm3FernMachine();

    void received(std::uint8_t byte, SimWriter& out) override;
    std::string telegram(const SimSeries& series) const override;
    std::string trailer(const std::string&) const override { return {}; }

    static std::vector<std::string> seriesLines(const SimSeries& series);
    // Series wait until the program has sent its settings once (it has opened the port).
    void queueSeries(const SimSeries& series) override { m_waiting.push_back(series); }
    void talk(SimWriter& out) override;
    // Sends the lines of a series at once.
    void sendSeries(const SimSeries& series, SimWriter& out);

    // The settings texts the program sent, in order.
    const std::vector<std::string>& settings() const { return m_settings; }

private:
    std::string m_line;
    std::vector<std::string> m_settings;
    std::vector<SimSeries> m_waiting;
};
