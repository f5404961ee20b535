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
    if (static_cast<std::int8_t>(x) < 32)
        x = static_cast<std::uint8_t>(x + 32);
    return x;
}

std::string DisagMachine::frame(const std::string& line) const {
    std::string bytes = line;
    bytes += static_cast<char>(checkChar(line));
    bytes += static_cast<char>(kCr);
    return bytes;
}

std::vector<std::string> DisagMachine::seriesLines(const SimSeries& series) {
    std::vector<std::string> lines{"STA"};
    bool review = false;
    int number = 0;
    for (const SimShot& shot : series.shots) {
        const bool scored = tenthsOf(shot.ring).value_or(0) != 0;
        review = review || !scored;
        lines.push_back("SCH=" + std::to_string(++number) + ";" + shot.ring + ";" + shot.teiler + ";" +
                        angleOf(shot) + ";" + (scored ? "G" : "F"));
    }
    if (review)
        lines.push_back("WSC=-");
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
    const std::vector<std::string> lines = seriesLines(series);
    m_out.insert(m_out.end(), lines.begin(), lines.end());
}

void DisagMachine::sendLines(const std::vector<std::string>& lines, SimWriter& out) {
    m_out.insert(m_out.end(), lines.begin(), lines.end());
    sendNext(out);
}

void DisagMachine::sendRaw(std::string_view bytes, SimWriter& out) {
    out.send(bytes);
}

void DisagMachine::sendNext(SimWriter& out) {
    if (silent() || m_waitingAck || m_inCommand || m_editPending || m_out.empty())
        return;
    // A break-off ends the series before its "WSE": its shots never reach the end of a series.
    if (m_out.front() == "WSE" && cutRequested()) {
        m_out.pop_front();
        cutDone();
        out.note(std::string("Serie vor WSE abgebrochen") + (silent() ? ", Maschine stumm" : ""));
        return;
    }
    m_current = std::move(m_out.front());
    m_out.pop_front();
    m_waitingAck = true;
    out.note("Zeile: " + printable(m_current));
    out.send(frame(m_current));
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
            if (m_current == "WSC=-") {
                m_editPending = true;
                out.note("Warte auf die Korrektur des Programms");
            }
            sendNext(out);
        } else {
            ++m_unexpectedAcks;
            out.note("ACK ohne Zeile");
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
        out.send(frame(m_current));
    } else {
        sendNext(out);
    }
}

void DisagMachine::handleCommand(const std::string& text, SimWriter& out) {
    m_commands.push_back(text);
    if (text == "TYP") {
        out.note("Modellabfrage");
        m_replyAckDue = true;
        out.send(frame("TYP=" + m_model));
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
    } else {
        out.note("Befehl: " + printable(text));
    }
}
