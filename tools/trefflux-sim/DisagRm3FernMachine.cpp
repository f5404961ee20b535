#include "DisagRm3FernMachine.h"

#include <cstdio>

namespace {
constexpr std::uint8_t kCr = 0x0D;
constexpr std::size_t kMaxLine = 4096;
} // namespace

DisagRm3FernMachine::DisagRm3FernMachine() : SimMachine(0) {}

std::vector<std::string> DisagRm3FernMachine::seriesLines(const SimSeries& series) {
    std::vector<std::string> lines{"START"};
    int number = 0;
    for (const SimShot& shot : series.shots) {
        char text[64];
        std::snprintf(text, sizeof text, "%02d %s %s", ++number, shot.ring.c_str(), shot.teiler.c_str());
        lines.push_back(text);
    }
    lines.push_back("ENDE");
    return lines;
}

std::string DisagRm3FernMachine::telegram(const SimSeries& series) const {
    std::string text;
    for (const std::string& line : seriesLines(series))
        text += line + static_cast<char>(kCr);
    return text;
}

void DisagRm3FernMachine::sendSeries(const SimSeries& series, SimWriter& out) {
    if (silent())
        return;
    out.note("Serie gesendet (" + std::to_string(series.shots.size()) + " Sch\xC3\xBCsse)");
    out.send(telegram(series));
}

void DisagRm3FernMachine::talk(SimWriter& out) {
    if (m_settings.empty() || silent())
        return;
    for (const SimSeries& series : m_waiting)
        sendSeries(series, out);
    m_waiting.clear();
}

void DisagRm3FernMachine::received(std::uint8_t byte, SimWriter& out) {
    if (byte == kCr) {
        out.note("Einstellung: " + m_line);
        m_settings.push_back(std::move(m_line));
        m_line.clear();
        talk(out);
    } else if (m_line.size() < kMaxLine) {
        m_line += static_cast<char>(byte);
    }
}
