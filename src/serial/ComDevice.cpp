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

// ---------------------------------------------------------------------------------------------
// TComDevice: settings

int TComDevice::applyDCB(const TComDCB& dcb, bool driveLines) {
    if (dcb.BaudRate == 0)
        return ComSystemCodes().invalid;
    if (int err = setLineSettings(dcb, driveLines))
        return err;
    m_queue.configure(dcb.fNull, dcb.EvtChar);
    std::lock_guard lock(m_mutex);
    m_parityCheck = dcb.fParity;
    m_baud = dcb.BaudRate;
    m_bitsPerChar = ComBitsPerChar(dcb);
    return 0;
}

int TComDevice::setQueueSizes(int input, int output) {
    if (int err = setSystemQueues(input, output))
        return err;
    m_queue.setInputSize(input);
    return 0;
}

void TComDevice::setTimeouts(const TComTimeoutValues& values) {
    std::lock_guard lock(m_mutex);
    m_timeouts = values;
}

TComTimeoutValues TComDevice::timeouts() const {
    std::lock_guard lock(m_mutex);
    return m_timeouts;
}

bool TComDevice::parityChecked() const {
    std::lock_guard lock(m_mutex);
    return m_parityCheck;
}

int TComDevice::sendTimeMs(int n) const {
    std::lock_guard lock(m_mutex);
    return ComSendTimeMs(n, m_baud, m_bitsPerChar);
}

// ---------------------------------------------------------------------------------------------
// TComDevice: input and state

TComEvents TComDevice::received(const char* data, std::size_t n) {
    if (n == 0)
        return {};
    const TComEvents events = m_queue.push(data, n);
    updateRxReady();
    return events;
}

std::size_t TComDevice::available() {
    fill();
    return m_queue.size();
}

std::size_t TComDevice::take(char* buffer, std::size_t n) {
    const std::size_t count = m_queue.take(buffer, n);
    updateRxReady();
    return count;
}

void TComDevice::markLost() {
    m_lost.store(true);
    updateRxReady();
    wake();
}

// The rx-ready flag is set while the queue holds bytes or the device is gone.
void TComDevice::updateRxReady() {
    std::lock_guard lock(m_mutex);
    const bool ready = m_lost.load() || m_queue.size() > 0;
    if (ready == m_rxReady)
        return;
    m_rxReady = ready;
    if (ready)
        m_rxReadyFlag.set();
    else
        m_rxReadyFlag.reset();
}

int TComDevice::purge(bool input, bool output) {
    if (int err = purgeSystem(input, output))
        return err;
    if (input) {
        m_queue.clear();
        updateRxReady();
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// TComDevice: output

int TComDevice::write(const char* data, std::size_t n, const TComDeadline& deadline, bool untilSent,
                      std::size_t& written) {
    written = 0;
    if (lost())
        return ComSystemCodes().io;
    if (int err = writeBytes(data, n, deadline, written))
        return err;
    if (written > 0 && m_watchTx.load()) {
        m_txPending.store(true);
        wake();
    }
    // The transfer ends when the bytes have left the device (or the time is up).
    for (int queued; untilSent && (queued = outputQueue()) > 0 && !deadline.passed();) {
        int wait = sendTimeMs(queued);
        if (!deadline.unlimited())
            wait = std::min(wait, deadline.remainingMs());
        if (m_abortFlag.waitFor(wait))
            break;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// TComDevice: lines and errors

int TComDevice::modemLines(TComSignals& lines) const {
    if (!m_hasModemLines) {
        // No modem lines (a pseudo-terminal, some virtual ports): as if a looped-back cable
        // were there.
        lines = {csCTS, csDSR, csRLSD};
        return 0;
    }
    return readModemLines(lines);
}

TComErrors TComDevice::takeErrors() {
    TComErrors errors = lineErrors();
    if (m_queue.takeOverflow())
        errors.include(ceRxOver);
    return errors;
}

// ---------------------------------------------------------------------------------------------
// TComDevice: the event thread's wait

void TComDevice::addEvents(TComEvents events) {
    if (events.empty())
        return;
    m_pendingEvents.fetch_or(events.bits());
    wake();
}

void TComDevice::startEvents(TComEvents events) {
    m_watched = events;
    m_watchTx.store(events.contains(evTxEmpty));
    const TComEvents lines = events & ComLineEvents;
    if (lines.empty() || !m_hasModemLines || m_lineThread.joinable())
        return;
    m_lineStopFlag.reset();
    {
        std::lock_guard lock(m_mutex);
        m_lineDone = false;
    }
    m_lineThread = std::thread([this, lines] {
        watchLines(lines);
        {
            std::lock_guard lock(m_mutex);
            m_lineDone = true;
        }
        m_lineDoneCv.notify_all();
    });
}

void TComDevice::stopEvents() {
    m_watchTx.store(false);
    if (!m_lineThread.joinable())
        return;
    m_lineStopFlag.set();
    {
        std::unique_lock lock(m_mutex);
        while (!m_lineDone) {
            interruptLineWatch(m_lineThread);
            m_lineDoneCv.wait_for(lock, std::chrono::milliseconds(10));
        }
    }
    m_lineThread.join();
}

bool TComDevice::waitEvents(TComEvents& result) {
    for (;;) {
        // A time limit only while sent bytes are still on their way, for evTxEmpty.
        const bool txPending = m_watchTx.load() && m_txPending.load();
        const int queuedBefore = txPending ? outputQueue() : 0;
        const int timeout = queuedBefore > 0 ? sendTimeMs(queuedBefore) : txPending ? 0 : -1;
        TComEvents events;
        const TSlept slept = sleepForEvents(timeout, m_watched, events);
        if (slept == TSlept::Failed)
            return false;
        const bool woken = slept == TSlept::Woken;
        if (woken)
            m_wakeFlag.reset();
        events = events | TComEvents::fromBits(m_pendingEvents.exchange(0));
        if (txPending && outputQueue() <= 0 && m_txPending.exchange(false))
            events.include(evTxEmpty);
        result = events & m_watched;
        const bool lostNow = m_lost.load() && !m_lostReported;
        m_lostReported = m_lostReported || lostNow;
        if (!result.empty() || woken || lostNow)
            return true;
    }
}
