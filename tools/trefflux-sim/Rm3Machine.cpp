#include "Rm3Machine.h"

#include <cstdio>

namespace {
constexpr std::uint8_t kCr = 0x0D;
constexpr std::size_t kMaxLine = 4096;
} // namespace

Rm3Machine::Rm3Machine() : SimMachine(0) {}

std::vector<std::string> Rm3Machine::seriesLines(const SimSeries& series) {
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

std::string Rm3Machine::telegram(const SimSeries& series) const {
    std::string text;
    for (const std::string& line : seriesLines(series))
        text += line + static_cast<char>(kCr);
    return text;
}

void Rm3Machine::sendSeries(const SimSeries& series, SimWriter& out) {
    if (silent())
        return;
    out.note("Serie gesendet (" + std::to_string(series.shots.size()) + " Sch\xC3\xBCsse)");
    out.send(telegram(series));
}

void Rm3Machine::talk(SimWriter& out) {
    if (m_settings.empty() || silent())
        return;
    for (const SimSeries& series : m_waiting)
        sendSeries(series, out);
    m_waiting.clear();
}

void Rm3Machine::received(std::uint8_t byte, SimWriter& out) {
    if (byte == kCr) {
        out.note("Einstellung: " + m_line);
        m_settings.push_back(std::move(m_line));
        m_line.clear();
        talk(out);
    } else if (m_line.size() < kMaxLine) {
        m_line += static_cast<char>(byte);
    }
}
