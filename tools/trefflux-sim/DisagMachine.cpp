#include "DisagMachine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

namespace {
constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kEnq = 0x05;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kNak = 0x15;
constexpr std::size_t kMaxCommand = 4096;

// The angle of a shot in degrees, from its X and Y as the user gave them.
std::string angleOf(const SimShot& shot) {
    const double x = std::strtod(shot.x.c_str(), nullptr);
    const double y = std::strtod(shot.y.c_str(), nullptr);
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", std::atan2(y, x) * 180.0 / std::numbers::pi);
    return text;
}

std::string printable(std::string_view text) {
    std::string s;
    for (const char c : text)
        s += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    return s;
}
} // namespace

DisagMachine::DisagMachine() : SimMachine(kStx) {}

std::uint8_t DisagMachine::checkChar(std::string_view text) {
    std::uint8_t x = 0;
    for (const char c : text)
        x ^= static_cast<std::uint8_t>(c);
    return x < 32 ? static_cast<std::uint8_t>(x + 32) : x;
}

std::string DisagMachine::frame(const std::string& line) const {
    std::string bytes = line;
    bytes += static_cast<char>(checkChar(line));
    bytes += static_cast<char>(kCr);
    return bytes;
}

std::vector<std::string> DisagMachine::seriesLines(const SimSeries& series) const {
    std::vector<std::string> lines{"STA"};
    bool review = false;
    std::size_t inLine = 0;
    for (std::size_t i = 0; i < series.shots.size(); ++i) {
        const SimShot& shot = series.shots[i];
        const int tenths = std::abs(tenthsOf(shot.ring).value_or(0));
        const std::string ring =
            std::to_string(tenths / 10) + (m_wholeRings ? "" : "." + std::to_string(tenths % 10));
        review = review || tenths == 0;
        const std::string group = std::to_string(i + 1) + ";" + ring + ";" + shot.teiler + ";" +
                                  angleOf(shot) + ";" + (tenths != 0 ? "G" : "K");
        if (inLine == 0 || inLine == m_shotsPerLine) {
            lines.push_back("SCH=" + group);
            inLine = 1;
        } else {
            lines.back() += ";" + group;
            ++inLine;
        }
    }
    if (review)
        lines.push_back("WSC=-" + std::to_string(inLine));
    lines.push_back("WSE");
    return lines;
}

std::string DisagMachine::telegram(const SimSeries& series) const {
    std::string text;
    for (const std::string& line : seriesLines(series))
        text += frame(line);
    return text;
}

void DisagMachine::queueSeries(const SimSeries& series) {
    m_out.push_back({{}, series}); // its lines follow the settings in force when it goes out
}

void DisagMachine::sendLines(const std::vector<std::string>& lines, SimWriter& out) {
    for (const std::string& line : lines)
        m_out.push_back({line, std::nullopt});
    sendNext(out);
}

void DisagMachine::transmit(const std::string& line, std::size_t number, SimWriter& out) {
    std::string bytes = frame(line);
    const auto damage = m_damage.find(number);
    if (damage != m_damage.end() && damage->second > 0) {
        --damage->second;
        // A bit lost on the line: the last character of the text, or the check character of an
        // empty text.
        const std::size_t at = line.empty() ? 0 : line.size() - 1;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
        out.note("Zeile " + std::to_string(number) +
                 " besch\xC3\xA4"
                 "digt gesendet");
    }
    out.send(bytes);
}

void DisagMachine::sendRaw(std::string_view bytes, SimWriter& out) {
    out.send(bytes);
}

void DisagMachine::sendNext(SimWriter& out) {
    if (silent() || m_waitingAck || m_inCommand || m_editPending || m_out.empty())
        return;
    if (m_out.front().series) {
        const std::vector<std::string> lines = seriesLines(*m_out.front().series);
        m_out.pop_front();
        for (auto line = lines.rbegin(); line != lines.rend(); ++line)
            m_out.push_front({*line, std::nullopt});
    }
    // A break-off ends the series before its "WSE": its shots never reach the end of a series.
    if (m_out.front().line == "WSE" && cutRequested()) {
        m_out.pop_front();
        cutDone();
        out.note(std::string("Serie vor WSE abgebrochen") + (silent() ? ", Maschine stumm" : ""));
        return;
    }
    m_current = std::move(m_out.front().line);
    m_out.pop_front();
    m_currentNumber = ++m_lines;
    m_waitingAck = true;
    out.note("Zeile " + std::to_string(m_currentNumber) + ": " + printable(m_current));
    transmit(m_current, m_currentNumber, out);
}

void DisagMachine::received(std::uint8_t byte, SimWriter& out) {
    if (silent())
        return;
    if (m_inCommand && byte != kEnq) {
        if (byte == kCr)
            commandEnd(out);
        else if (m_command.size() < kMaxCommand)
            m_command += static_cast<char>(byte);
        return;
    }
    switch (byte) {
    case kEnq:
        ++m_enquiries;
        m_replyAckDue = false; // the program has moved on from an answer it did not take
        if (idleReply() != kStx) {
            out.send(std::string(1, static_cast<char>(idleReply())));
            return;
        }
        m_inCommand = true;
        m_command.clear();
        out.send(std::string(1, static_cast<char>(kStx)));
        break;
    case kAck:
        if (m_replyAckDue) {
            m_replyAckDue = false;
        } else if (m_waitingAck) {
            m_waitingAck = false;
            ++m_acknowledged;
            if (m_current.rfind("WSC=-", 0) == 0) {
                m_editPending = true;
                out.note("Warte auf die Korrektur des Programms");
            }
            sendNext(out);
        } else {
            ++m_unexpectedAcks;
            out.note("ACK ohne Zeile");
        }
        break;
    case kNak:
        // The program found the check character wrong: the same line again, at once.
        if (m_replyAckDue) {
            ++m_refused;
            out.note("Antwort abgelehnt, noch einmal");
            transmit(m_reply, m_replyNumber, out);
        } else if (m_waitingAck) {
            ++m_refused;
            out.note("Zeile " + std::to_string(m_currentNumber) + " abgelehnt, noch einmal");
            transmit(m_current, m_currentNumber, out);
        } else {
            out.note("NAK ohne Zeile");
        }
        break;
    default:
        break;
    }
}

void DisagMachine::commandEnd(SimWriter& out) {
    m_inCommand = false;
    const std::string text = std::move(m_command);
    m_command.clear();
    if (text.empty() || checkChar(std::string_view(text).substr(0, text.size() - 1)) !=
                            static_cast<std::uint8_t>(text.back())) {
        ++m_badCommands;
        out.note("Befehl mit falschem Pr\xC3\xBC"
                 "fzeichen: " +
                 printable(text));
        out.send(std::string(1, static_cast<char>(kNak)));
    } else {
        out.send(std::string(1, static_cast<char>(kAck)));
        handleCommand(text.substr(0, text.size() - 1), out);
    }
    // A line the program did not take before its command comes again.
    if (m_waitingAck) {
        ++m_repeated;
        out.note("Zeile noch einmal (nicht best\xC3\xA4tigt): " + printable(m_current));
        transmit(m_current, m_currentNumber, out);
    } else {
        sendNext(out);
    }
}

void DisagMachine::handleCommand(const std::string& text, SimWriter& out) {
    m_commands.push_back(text);
    if (text == "TYP") {
        out.note("Modellabfrage");
        m_replyAckDue = true;
        m_reply = "TYP=" + m_model;
        m_replyNumber = ++m_lines;
        transmit(m_reply, m_replyNumber, out);
    } else if (text.rfind("EDI=", 0) == 0) {
        out.note("Korrektur: " + printable(text));
        m_editLines = static_cast<std::size_t>(std::max(0L, std::strtol(text.c_str() + 4, nullptr, 10)));
        m_editPending = m_editPending && m_editLines > 0;
    } else if (text.rfind("S=", 0) == 0) {
        out.note("Korrektur: " + printable(text));
        if (m_editLines > 0 && --m_editLines == 0)
            m_editPending = false;
    } else if (text.rfind("SCH=", 0) == 0) {
        out.note("Einstellung: " + printable(text));
        // "RIA=GR" asks for whole rings, "ZR" (and "KR") for tenths.
        if (const std::size_t ria = text.find(";RIA="); ria != std::string::npos)
            m_wholeRings = text.substr(ria + 5, text.find(';', ria + 5) - (ria + 5)) == "GR";
    } else {
        out.note("Befehl: " + printable(text));
    }
}
