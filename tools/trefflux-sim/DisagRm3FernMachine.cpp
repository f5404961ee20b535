#include "DisagRm3FernMachine.h"

#include <cstdio>
#include <utility>

namespace {
constexpr std::uint8_t kCr = 0x0D;
constexpr std::size_t kMaxLine = 4096;
constexpr std::size_t kDigits = 9;
constexpr std::size_t kMaxText = 10;

// X or Y as the machine prints it: hundredths of a ring with a point; a bare number is taken as
// whole rings.
std::string coordinate(const std::string& text) {
    return text.find('.') == std::string::npos ? text + ".00" : text;
}
} // namespace

DisagRm3FernMachine::DisagRm3FernMachine() : SimMachine(0) {}

int DisagRm3FernMachine::wrongDigit(std::string_view s) {
    // The values each digit may take (weapon, target, series, evaluation, divisor limit in two
    // digits, divisor mode, printer, shots per target).
    static constexpr const char* allowed[kDigits] = {"12456",      "123",    "0123456789", "124578", "01",
                                                     "0123456789", "123456", "123",        "125"};
    for (std::size_t i = 0; i < kDigits; ++i) {
        if (i >= s.size())
            return 10;
        if (std::string_view(allowed[i]).find(s[i]) == std::string_view::npos)
            return static_cast<int>(i) + 1;
    }
    const int limit = (s[4] - '0') * 10 + (s[5] - '0');
    if (limit < 1 || limit > 16)
        return 6;
    if (s[8] == '5' && s[1] != '1')
        return 9;                                  // five shots only on single targets
    return s.size() - kDigits > kMaxText ? 10 : 0; // the printed text is too long
}

std::vector<std::string> DisagRm3FernMachine::seriesLines(const SimSeries& series, int shotsPerTarget) {
    std::vector<std::string> lines;
    const std::size_t perTarget = shotsPerTarget > 0 ? static_cast<std::size_t>(shotsPerTarget) : 1;
    for (std::size_t i = 0; i < series.shots.size(); ++i) {
        const SimShot& shot = series.shots[i];
        if (i > 0 && i % perTarget == 0)
            lines.push_back("SCHEIBE");
        lines.push_back(std::to_string(i + 1) + ";" + shot.ring + ";" + shot.teiler + ";" +
                        coordinate(shot.x) + ";" + coordinate(shot.y) + ";N");
    }
    lines.push_back("ENDE");
    return lines;
}

std::string DisagRm3FernMachine::telegram(const SimSeries& series) const {
    std::string text;
    for (const std::string& line : seriesLines(series, m_current[8] - '0'))
        text += line + static_cast<char>(kCr);
    return text;
}

void DisagRm3FernMachine::sendSeries(const SimSeries& series, SimWriter& out) {
    if (silent())
        return;
    out.note("Serie gesendet (" + std::to_string(series.shots.size()) + " Sch\xC3\xBCsse)");
    out.send(telegram(series));
    m_seriesShots = series.shots.size();
    m_seriesTenths = 0;
    for (const SimShot& shot : series.shots)
        m_seriesTenths += tenthsOf(shot.ring).value_or(0);
}

void DisagRm3FernMachine::talk(SimWriter& out) {
    if (!m_taken || silent())
        return;
    for (const SimSeries& series : m_waiting)
        sendSeries(series, out);
    m_waiting.clear();
}

void DisagRm3FernMachine::received(std::uint8_t byte, SimWriter& out) {
    if (byte == kCr) {
        command(std::exchange(m_line, std::string()), out);
    } else if (m_line.size() < kMaxLine) {
        m_line += static_cast<char>(byte);
    }
}

void DisagRm3FernMachine::command(std::string line, SimWriter& out) {
    const auto answer = [&](const std::string& text) {
        if (!silent())
            out.send(text + static_cast<char>(kCr));
    };
    if (line == "E") {
        const std::string& s = m_current;
        answer(std::string{s[0], ';', s[1], ';', s[2], ';', s[3], ';', s[4], s[5], ';', s[6], ';', s[7], ';',
                           s[8]});
    } else if (line == "F") {
        answer(m_refusedAt ? std::to_string(m_refusedAt) + ";" + m_refused : "0;" + m_current);
    } else if (line == "S") {
        char total[32];
        std::snprintf(total, sizeof total, "%d.%d", m_seriesTenths / 10, m_seriesTenths % 10);
        answer(std::to_string(m_seriesShots) + ";" + total);
    } else if (line == "V") {
        out.note("V: die Maschine l\xC3\xA4"
                 "dt ihr Programm neu von der Diskette");
    } else if (line == "EXIT") {
        out.note("EXIT: zur\xC3\xBC"
                 "ck in den Handbetrieb");
    } else {
        m_settings.push_back(line);
        if (const int wrong = wrongDigit(line)) {
            out.note("Einstellung abgelehnt (Stelle " + std::to_string(wrong) + "): " + line);
            m_refused = line;
            m_refusedAt = wrong;
            return;
        }
        out.note("Einstellung: " + line);
        m_current = line.substr(0, kDigits);
        m_taken = true;
        m_refusedAt = 0;
        m_seriesShots = 0; // a new series begins
        m_seriesTenths = 0;
        talk(out);
    }
}
