#include "ComDevice.h"

namespace {

// The receive queue holds at least this much, whatever Buffer.InputSize says: the system's own
// buffer is larger than the old default, and a slow handler must not lose bytes to it.
constexpr std::size_t MinQueueCapacity = 64 * 1024;

} // namespace

TComEvents ComLineChanges(TComSignals before, TComSignals after) {
    TComEvents events;
    if (before.contains(csCTS) != after.contains(csCTS))
        events.include(evCTS);
    if (before.contains(csDSR) != after.contains(csDSR))
        events.include(evDSR);
    if (before.contains(csRLSD) != after.contains(csRLSD))
        events.include(evRLSD);
    if (!before.contains(csRing) && after.contains(csRing))
        events.include(evRing);
    return events;
}

void TComRxQueue::configure(bool discardNull, char eventChar) {
    std::lock_guard lock(m_mutex);
    m_discardNull = discardNull;
    m_eventChar = eventChar;
}

void TComRxQueue::setInputSize(int size) {
    std::lock_guard lock(m_mutex);
    m_inputSize = size;
}

TComEvents TComRxQueue::push(const char* data, std::size_t n) {
    TComEvents events;
    std::lock_guard lock(m_mutex);
    const std::size_t before = m_bytes.size();
    const std::size_t capacity =
        std::max<std::size_t>(MinQueueCapacity, static_cast<std::size_t>(m_inputSize));
    for (std::size_t i = 0; i < n; ++i) {
        const char c = data[i];
        if (c == 0 && m_discardNull)
            continue;
        if (m_bytes.size() >= capacity) {
            if (!m_overflow)
                events.include(evError);
            m_overflow = true;
            continue;
        }
        m_bytes.push_back(c);
        if (c == m_eventChar)
            events.include(evRxFlag);
    }
    if (m_bytes.size() > before) {
        events.include(evRxChar);
        const std::size_t full80 = static_cast<std::size_t>(m_inputSize) * 8 / 10;
        if (before < full80 && m_bytes.size() >= full80)
            events.include(evRx80Full);
    }
    return events;
}

std::size_t TComRxQueue::take(char* buffer, std::size_t n) {
    std::lock_guard lock(m_mutex);
    const std::size_t count = std::min(n, m_bytes.size());
    std::copy_n(m_bytes.begin(), count, buffer);
    m_bytes.erase(m_bytes.begin(), m_bytes.begin() + static_cast<std::ptrdiff_t>(count));
    return count;
}

std::size_t TComRxQueue::size() const {
    std::lock_guard lock(m_mutex);
    return m_bytes.size();
}

void TComRxQueue::clear() {
    std::lock_guard lock(m_mutex);
    m_bytes.clear();
}

bool TComRxQueue::takeOverflow() {
    std::lock_guard lock(m_mutex);
    const bool overflow = m_overflow;
    m_overflow = false;
    return overflow;
}

int ComSendTimeMs(int n, std::uint32_t baud, int bitsPerChar) {
    const std::uint64_t bits = static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(bitsPerChar);
    return static_cast<int>(std::min<std::uint64_t>(bits * 1000 / std::max<std::uint32_t>(baud, 1), 60000)) +
           1;
}

int ComBitsPerChar(const TComDCB& dcb) {
    return 1 + dcb.ByteSize + (dcb.Parity != prNone ? 1 : 0) + (dcb.StopBits != sbOneStopBit ? 2 : 1);
}
