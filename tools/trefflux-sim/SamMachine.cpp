#include "SamMachine.h"

#include <cstdio>

namespace {
constexpr std::uint8_t kStart = 0xB2;
constexpr std::uint8_t kStop = 0xB0;
constexpr std::uint8_t kEnq = 0x05;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kNak = 0x15;
constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kEtb = 0x17;
} // namespace

SamMachine::SamMachine() : SimMachine(kNak) {}

void SamMachine::received(std::uint8_t byte, SimWriter& out) {
    switch (byte) {
    case kStart:
        out.note("Programm meldet sich an");
        break;
    case kStop:
        out.note("Programm meldet sich ab");
        break;
    case kEnq:
        answerPoll(kStx, kEtb, out);
        break;
    case kAck:
        confirmed(out);
        break;
    case kNak:
        refused(kStx, kEtb, out);
        break;
    default:
        break;
    }
}

std::string SamMachine::telegram(const SimSeries& series) const {
    char count[16];
    std::snprintf(count, sizeof count, "%02zu", series.shots.size());
    std::string text =
        layoutFields(31, {{0, "SAM 4000"}, {18, series.scheibentyp}, {24, series.teilerfaktor}, {28, count}});
    for (const SimShot& shot : series.shots)
        text += layoutFields(24, {{0, shot.ring}, {5, shot.teiler}, {12, shot.x}, {18, shot.y}});
    return text;
}

std::string SamMachine::trailer(const std::string& telegram) const {
    // The check byte is the XOR of every byte from STX through ETB; "$" ends the block.
    std::uint8_t check = kStx ^ kEtb;
    for (unsigned char c : telegram)
        check ^= c;
    return std::string{static_cast<char>(check), '$'};
}
