#include "ComTypes.h"

#include <array>
#include <climits>

// ---------------------------------------------------------------------------------------------
// Enumerations and sets

int BaudRateToInt(TBaudRate rate) {
    static constexpr std::array<int, 16> values = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                                   14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
    return values.at(rate);
}

namespace {

// Event-mask bit of each TComEvent, by ordinal.
constexpr std::array<std::uint32_t, 10> EventMaskBits = {0x0001, 0x0004, 0x0002, 0x0100, 0x0040,
                                                         0x0008, 0x0010, 0x0080, 0x0020, 0x0400};
// Communications error flag of each TComError, by ordinal.
constexpr std::array<std::uint32_t, 8> ErrorFlagBits = {0x0008, 0x0004, 0x0002, 0x0010,
                                                        0x0400, 0x8000, 0x0001, 0x0100};

template <class E, std::size_t N>
std::uint32_t setToBits(TComSet<E> set, const std::array<std::uint32_t, N>& table) {
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < N; ++i)
        if (set.contains(static_cast<E>(i)))
            bits |= table[i];
    return bits;
}

template <class E, std::size_t N>
TComSet<E> bitsToSet(std::uint32_t bits, const std::array<std::uint32_t, N>& table) {
    TComSet<E> set;
    for (std::size_t i = 0; i < N; ++i)
        if (bits & table[i])
            set.include(static_cast<E>(i));
    return set;
}

} // namespace

std::uint32_t EventsToMask(TComEvents events) {
    return setToBits(events, EventMaskBits);
}
TComEvents MaskToEvents(std::uint32_t mask) {
    return bitsToSet<TComEvent>(mask, EventMaskBits);
}
std::uint32_t ErrorsToFlags(TComErrors errors) {
    return setToBits(errors, ErrorFlagBits);
}
TComErrors FlagsToErrors(std::uint32_t flags) {
    return bitsToSet<TComError>(flags, ErrorFlagBits);
}

// ---------------------------------------------------------------------------------------------
// Waiting

bool TStopSignal::WaitFor(std::chrono::milliseconds timeout) const {
    if (Signalled())
        return true;
    const long long ms = timeout.count();
    return m_flag.waitFor(ms < 0 || ms >= INT_MAX ? -1 : static_cast<int>(ms));
}
