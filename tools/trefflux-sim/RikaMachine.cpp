#include "RikaMachine.h"

#include <cstdio>

namespace {
constexpr std::uint8_t kStart = 0xD3;
constexpr std::uint8_t kStop = 0xD0;
constexpr std::uint8_t kSyn = 0x16;
constexpr std::uint8_t kSoh = 0x01;
constexpr std::uint8_t kEot = 0x04;
constexpr std::uint8_t kFf = 0x0C;
constexpr std::uint8_t kEsc = 0x1B;
constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kAck = 0x06;
constexpr std::size_t kMaxCommand = 32;

std::string tenths(const std::string& decimal, const char* format) {
    char text[16];
    std::snprintf(text, sizeof text, format, tenthsOf(decimal).value_or(0));
    return text;
}
} // namespace

RikaMachine::RikaMachine() : SimMachine(0x00) {}

void RikaMachine::received(std::uint8_t byte, SimWriter& out) {
    if (m_inCommand) {
        if (byte == kCr || m_command.size() >= kMaxCommand) {
            m_inCommand = false;
            m_commands.push_back(m_command);
            out.note("Einstellung " + m_command);
            if (!silent())
                out.send(std::string(1, static_cast<char>(kAck)));
        } else {
            m_command += static_cast<char>(byte);
        }
        return;
    }
    switch (byte) {
    case kEsc:
        m_inCommand = true;
        m_command.clear();
        break;
    case kStart:
        out.note("Programm meldet sich an");
        if (!silent())
            out.send(m_version);
        break;
    case kStop:
        out.note("Programm meldet sich ab");
        break;
    case kSyn:
        answerPoll(kSoh, kEot, out);
        break;
    case kFf:
        confirmed(out);
        break;
    default:
        break;
    }
}

std::string RikaMachine::telegram(const SimSeries& series) const {
    char count[16];
    std::snprintf(count, sizeof count, "%02zu", series.shots.size());
    std::string text = layoutFields(
        32, {{0, "RIKA SAG-1"}, {22, series.scheibentyp}, {25, series.teilerfaktor}, {28, count}});
    for (const SimShot& shot : series.shots)
        text += layoutFields(
            24,
            {{0, tenths(shot.ring, "%03d")}, {4, tenths(shot.teiler, "%05d")}, {10, shot.x}, {17, shot.y}});
    return text;
}

std::string RikaMachine::trailer(const std::string& telegram) const {
    unsigned check = 0;
    for (unsigned char c : telegram)
        check ^= c;
    // Never one of the protocol's own bytes.
    return std::string(1, static_cast<char>(0x20 | (check & 0x5F)));
}
