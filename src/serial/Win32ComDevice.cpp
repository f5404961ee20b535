#include "Win32ComDevice.h"

// Lean: the full header set defines SetPort as a macro of the printer API.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <system_error>

namespace {

constexpr TComEvents LineEvents{evCTS, evDSR, evRLSD, evRing};

DWORD waitMs(int timeoutMs) {
    return timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
}

HANDLE newEvent(bool manualReset) {
    return ::CreateEventW(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr);
}

// Errors after which the device is not there any more (an adapter pulled, the driver gone).
bool deviceGone(DWORD err) {
    return err == ERROR_ACCESS_DENIED || err == ERROR_BAD_COMMAND || err == ERROR_GEN_FAILURE ||
           err == ERROR_DEVICE_REMOVED || err == ERROR_INVALID_HANDLE || err == ERROR_HANDLE_EOF ||
           err == ERROR_BROKEN_PIPE;
}

// The outcome of starting an overlapped transfer: 0 (done at once), ERROR_IO_PENDING, or the
// error. Taken right after the call, before anything else can change the thread's last error.
DWORD started(BOOL ok) {
    return ok ? 0 : ::GetLastError();
}

// One overlapped transfer on the device at a time, with its own event (reused).
struct TOverlapped {
    OVERLAPPED ov{};
    HANDLE event;
    TOverlapped() : event(newEvent(true)) { ov.hEvent = event; }
    ~TOverlapped() {
        if (event)
            ::CloseHandle(event);
    }
    TOverlapped(const TOverlapped&) = delete;
    TOverlapped& operator=(const TOverlapped&) = delete;

    // Ready for the next transfer.
    OVERLAPPED* next() {
        ov = OVERLAPPED{};
        ov.hEvent = event;
        return &ov;
    }
    // Waits for a transfer that started with startError, together with the stop events and up to
    // timeout; a stop or the timeout cancels the transfer. Returns what ended the wait: 0 the
    // transfer, n the n-th stop event, WAIT_TIMEOUT the time; done and err tell the outcome.
    DWORD finish(HANDLE device, DWORD startError, std::initializer_list<HANDLE> stops, DWORD timeout,
                 DWORD& done, DWORD& err) {
        done = 0;
        err = startError;
        if (err != 0 && err != ERROR_IO_PENDING)
            return 0;
        HANDLE waits[4] = {event};
        DWORD n = 1;
        for (HANDLE h : stops)
            waits[n++] = h;
        DWORD w = ::WaitForMultipleObjects(n, waits, FALSE, timeout);
        if (w == WAIT_FAILED)
            w = 0; // then wait for the transfer alone
        else if (w != WAIT_TIMEOUT)
            w -= WAIT_OBJECT_0;
        if (w != 0)
            ::CancelIoEx(device, &ov);
        err = ::GetOverlappedResult(device, &ov, &done, TRUE) ? 0 : ::GetLastError();
        return w;
    }
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Platform entry points

const TComSystemCodes& ComSystemCodes() {
    static constexpr TComSystemCodes codes{ERROR_INVALID_HANDLE, ERROR_GEN_FAILURE, ERROR_OPERATION_ABORTED,
                                           ERROR_TIMEOUT, ERROR_INVALID_PARAMETER};
    return codes;
}

std::shared_ptr<TComDevice> TComDevice::open(const std::string& portName) {
    // "COM3" is \\.\COM3 (the only form that reaches COM10 and above); "\\..." is a path.
    return TWin32ComDevice::openPath(portName.rfind("\\\\", 0) == 0 ? portName : "\\\\.\\" + portName);
}

std::vector<std::string> ListComPorts(const std::string& root) {
    std::vector<std::string> names;
    HKEY key = nullptr;
    const std::string path = root.empty() ? "HARDWARE\\DEVICEMAP\\SERIALCOMM" : root;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        char valueName[256];
        DWORD valueNameSize = sizeof valueName;
        BYTE data[256];
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        const LSTATUS status =
            ::RegEnumValueA(key, i, valueName, &valueNameSize, nullptr, &type, data, &dataSize);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        data[dataSize] = 0; // a value stored without its terminating zero
        std::string name(reinterpret_cast<const char*>(data));
        if (!name.empty())
            names.push_back(std::move(name));
    }
    ::RegCloseKey(key);
    return names;
}

// ---------------------------------------------------------------------------------------------
// TStopSignal: a manual-reset event

TStopSignal::TStopSignal() : m_handle(reinterpret_cast<std::intptr_t>(newEvent(true))) {
    if (m_handle == 0)
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), "CreateEvent");
}

TStopSignal::~TStopSignal() {
    ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

void TStopSignal::Signal() {
    m_signalled.store(true);
    ::SetEvent(reinterpret_cast<HANDLE>(m_handle));
}

void TStopSignal::Reset() {
    ::ResetEvent(reinterpret_cast<HANDLE>(m_handle));
    m_signalled.store(false);
}

bool TStopSignal::WaitFor(std::chrono::milliseconds timeout) const {
    if (m_signalled.load())
        return true;
    const DWORD limit = timeout.count() < 0
                            ? INFINITE
                            : static_cast<DWORD>(std::min<long long>(timeout.count(), INFINITE - 1));
    return ::WaitForSingleObject(reinterpret_cast<HANDLE>(m_handle), limit) == WAIT_OBJECT_0;
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

std::shared_ptr<TWin32ComDevice> TWin32ComDevice::openPath(const std::string& path) {
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw EComPort(ecOpen, static_cast<int>(::GetLastError()));
    std::shared_ptr<TWin32ComDevice> dev(new TWin32ComDevice);
    dev->m_handle = h; // from here on the destructor closes what was opened
    auto fail = [] { throw EComPort(ecOpen, static_cast<int>(::GetLastError())); };

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(h, &dcb)) // not a serial device
        fail();
    // The reader's wait: one byte, back with the first byte or at the limit. Writes have no
    // limit of the driver's; the port cancels them at its own deadline.
    COMMTIMEOUTS ct{MAXDWORD, MAXDWORD, ReaderLimitMs, 0, 0};
    if (!::SetCommTimeouts(h, &ct))
        fail();
    // A port starts with an empty input queue: bytes left over from before it was opened (a late
    // answer to whoever had the port last) answer nothing this program asks.
    ::PurgeComm(h, PURGE_RXCLEAR);
    DWORD status = 0;
    dev->m_hasModemLines = ::GetCommModemStatus(h, &status) != 0;

    dev->m_abortEvent = newEvent(true);
    dev->m_rxReadyEvent = newEvent(true);
    dev->m_wakeEvent = newEvent(false);
    dev->m_closeEvent = newEvent(true);
    dev->m_lineStopEvent = newEvent(true);
    if (!dev->m_abortEvent || !dev->m_rxReadyEvent || !dev->m_wakeEvent || !dev->m_closeEvent ||
        !dev->m_lineStopEvent)
        fail();
    try {
        dev->m_reader = std::thread(&TWin32ComDevice::reader, dev.get());
    } catch (const std::system_error& e) {
        throw EComPort(ecOpen, e.code().value());
    }
    return dev;
}

TWin32ComDevice::~TWin32ComDevice() {
    stopEvents();
    if (m_reader.joinable()) {
        ::SetEvent(m_closeEvent);
        m_reader.join();
    }
    if (m_handle) {
        // Unsent bytes are dropped, so closing never waits for a line held by flow control.
        ::PurgeComm(m_handle, PURGE_TXABORT | PURGE_TXCLEAR);
        ::CloseHandle(m_handle);
    }
    for (HANDLE h : {m_abortEvent, m_rxReadyEvent, m_wakeEvent, m_closeEvent, m_lineStopEvent})
        if (h)
            ::CloseHandle(h);
}

void TWin32ComDevice::abort() {
    if (!m_aborted.exchange(true))
        ::SetEvent(m_abortEvent);
}

void TWin32ComDevice::markLost() {
    m_lost.store(true);
    updateRxReady();
    wake();
}

void TWin32ComDevice::updateRxReady() {
    std::lock_guard lock(m_mutex);
    const bool ready = m_lost.load() || m_queue.size() > 0;
    if (ready == m_rxReady)
        return;
    m_rxReady = ready;
    if (ready)
        ::SetEvent(m_rxReadyEvent);
    else
        ::ResetEvent(m_rxReadyEvent);
}

// ---------------------------------------------------------------------------------------------
// Settings

int TWin32ComDevice::applyDCB(const TComDCB& in, bool driveLines) {
    if (in.BaudRate == 0)
        return ERROR_INVALID_PARAMETER;
    DCB d{};
    d.DCBlength = sizeof d;
    if (!::GetCommState(m_handle, &d))
        return static_cast<int>(::GetLastError());
    d.BaudRate = in.BaudRate;
    d.fBinary = TRUE;
    d.fParity = in.fParity;
    d.fOutxCtsFlow = in.fOutxCtsFlow;
    d.fOutxDsrFlow = in.fOutxDsrFlow;
    if (driveLines) {
        // The orders of both enumerations are those of the DTR_CONTROL_ and RTS_CONTROL_ values.
        d.fDtrControl = in.fDtrControl;
        d.fRtsControl = in.fRtsControl;
    } else {
        d.fDtrControl = DTR_CONTROL_DISABLE;
        d.fRtsControl = in.fRtsControl == rtsHandshake ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_DISABLE;
    }
    d.fDsrSensitivity = in.fDsrSensitivity;
    d.fTXContinueOnXoff = in.fTXContinueOnXoff;
    d.fOutX = in.fOutX;
    d.fInX = in.fInX;
    d.fErrorChar = in.fErrorChar;
    d.fNull = FALSE; // the receive queue drops NUL bytes itself, as on every platform
    d.fAbortOnError = FALSE;
    d.XonLim = in.XonLim;
    d.XoffLim = in.XoffLim;
    d.ByteSize = in.ByteSize;
    d.Parity = static_cast<BYTE>(in.Parity);     // NOPARITY .. SPACEPARITY in the same order
    d.StopBits = static_cast<BYTE>(in.StopBits); // ONESTOPBIT .. TWOSTOPBITS in the same order
    d.XonChar = in.XonChar;
    d.XoffChar = in.XoffChar;
    d.ErrorChar = in.ErrorChar;
    d.EofChar = in.EofChar;
    d.EvtChar = in.EvtChar;
    if (!::SetCommState(m_handle, &d))
        return static_cast<int>(::GetLastError());

    m_queue.configure(in.fNull, in.EvtChar);
    std::lock_guard lock(m_mutex);
    m_parityCheck = in.fParity;
    m_baud = in.BaudRate;
    m_bitsPerChar = ComBitsPerChar(in);
    return 0;
}

int TWin32ComDevice::setQueueSizes(int input, int output) {
    if (!::SetupComm(m_handle, static_cast<DWORD>(input), static_cast<DWORD>(output)))
        return static_cast<int>(::GetLastError());
    m_queue.setInputSize(input);
    return 0;
}

void TWin32ComDevice::setTimeouts(const TComTimeoutValues& values) {
    std::lock_guard lock(m_mutex);
    m_timeouts = values;
}

TComTimeoutValues TWin32ComDevice::timeouts() const {
    std::lock_guard lock(m_mutex);
    return m_timeouts;
}

// ---------------------------------------------------------------------------------------------
// Input

std::uint32_t TWin32ComDevice::collectErrors() {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!::ClearCommError(m_handle, &errors, &stat))
        return 0;
    if (errors != 0) {
        TComEvents events;
        {
            std::lock_guard lock(m_mutex);
            m_errorFlags |= errors;
            if (errors & (CE_FRAME | CE_OVERRUN | CE_RXOVER | (m_parityCheck ? CE_RXPARITY : 0)))
                events.include(evError);
        }
        if (errors & CE_BREAK)
            events.include(evBreak);
        addEvents(events);
    }
    return stat.cbInQue;
}

void TWin32ComDevice::addEvents(TComEvents events) {
    if (events.empty())
        return;
    m_pendingEvents.fetch_or(events.bits());
    wake();
}

void TWin32ComDevice::received(const char* data, std::size_t n) {
    if (n == 0)
        return;
    addEvents(m_queue.push(data, n));
    updateRxReady();
}

void TWin32ComDevice::reader() {
    using Clock = std::chrono::steady_clock;
    // A read that ends at once without a byte, again and again, is a device that has gone
    // (a hang-up): the reader stops instead of spinning.
    int quickEmpty = 0;
    char buf[4096];
    TOverlapped transfer;
    while (!m_lost.load()) {
        DWORD done = 0, err = 0;
        const auto begun = Clock::now();
        const DWORD start = started(::ReadFile(m_handle, buf, 1, nullptr, transfer.next()));
        const DWORD ended = transfer.finish(m_handle, start, {m_closeEvent}, INFINITE, done, err);
        received(buf, done);
        if (ended != 0)
            break; // closing
        if (err != 0 && err != ERROR_OPERATION_ABORTED) {
            markLost();
            break;
        }
        if (done == 0) {
            quickEmpty = Clock::now() - begun < std::chrono::milliseconds(100) ? quickEmpty + 1 : 0;
            if (quickEmpty >= 3) {
                markLost();
                break;
            }
            continue;
        }
        quickEmpty = 0;
        // What arrived behind the first byte is read at once: it is in the driver's queue, so
        // the read returns without waiting.
        for (std::uint32_t queued; !m_lost.load() && (queued = collectErrors()) > 0;) {
            const DWORD want = std::min<DWORD>(queued, sizeof buf);
            const DWORD startRest = started(::ReadFile(m_handle, buf, want, nullptr, transfer.next()));
            const DWORD endedRest = transfer.finish(m_handle, startRest, {m_closeEvent}, INFINITE, done, err);
            received(buf, done);
            if (endedRest != 0 || err != 0 || done == 0)
                break;
        }
        if (::WaitForSingleObject(m_closeEvent, 0) == WAIT_OBJECT_0)
            break;
    }
    updateRxReady();
}

TComEvents TWin32ComDevice::fill() {
    return {}; // the reader moves every byte into the queue as it arrives
}

std::size_t TWin32ComDevice::available() {
    return m_queue.size();
}

std::size_t TWin32ComDevice::take(char* buffer, std::size_t n) {
    const std::size_t count = m_queue.take(buffer, n);
    updateRxReady();
    return count;
}

TComWoken TWin32ComDevice::waitForInput(int timeoutMs, const TStopSignal* stop) {
    HANDLE waits[3];
    DWORD n = 0;
    if (stop)
        waits[n++] = reinterpret_cast<HANDLE>(stop->NativeHandle());
    waits[n++] = m_abortEvent;
    waits[n++] = m_rxReadyEvent;
    const DWORD w = ::WaitForMultipleObjects(n, waits, FALSE, waitMs(timeoutMs));
    if (w == WAIT_TIMEOUT)
        return TComWoken::Timeout;
    if (w == WAIT_FAILED)
        return TComWoken::Aborted;
    HANDLE which = waits[w - WAIT_OBJECT_0];
    if (which == m_rxReadyEvent)
        return TComWoken::Ready;
    return which == m_abortEvent ? TComWoken::Aborted : TComWoken::Stopped;
}

int TWin32ComDevice::purge(bool input, bool output) {
    const DWORD flags = (input ? PURGE_RXCLEAR : 0u) | (output ? PURGE_TXCLEAR : 0u);
    if (flags && !::PurgeComm(m_handle, flags))
        return static_cast<int>(::GetLastError());
    if (input) {
        m_queue.clear();
        updateRxReady();
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Output

int TWin32ComDevice::write(const char* data, std::size_t n, const TComDeadline& deadline, bool untilSent,
                           std::size_t& written) {
    written = 0;
    if (m_lost.load())
        return ERROR_GEN_FAILURE;
    TOverlapped transfer;
    DWORD done = 0, err = 0;
    const DWORD start = started(::WriteFile(
        m_handle, data, static_cast<DWORD>(std::min<std::size_t>(n, MAXDWORD)), nullptr, transfer.next()));
    const DWORD ended =
        transfer.finish(m_handle, start, {m_abortEvent}, waitMs(deadline.remainingMs()), done, err);
    written = done;
    if (ended == 1)
        return ERROR_OPERATION_ABORTED;
    if (err != 0 && !(ended == WAIT_TIMEOUT && err == ERROR_OPERATION_ABORTED)) {
        if (deviceGone(err))
            markLost();
        return static_cast<int>(err);
    }
    if (written > 0 && m_watchTx.load()) {
        m_txPending.store(true);
        wake();
    }
    // The transfer ends when the bytes have left the device (or the time is up).
    for (int queued; untilSent && (queued = outputQueue()) > 0 && !deadline.passed();) {
        int wait = sendTimeMs(queued);
        if (!deadline.unlimited())
            wait = std::min(wait, deadline.remainingMs());
        if (::WaitForSingleObject(m_abortEvent, waitMs(wait)) == WAIT_OBJECT_0)
            break;
    }
    return 0;
}

int TWin32ComDevice::outputQueue() {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!::ClearCommError(m_handle, &errors, &stat))
        return -1;
    if (errors != 0) {
        std::lock_guard lock(m_mutex);
        m_errorFlags |= errors; // kept for takeErrors(), as the reader keeps them
    }
    return static_cast<int>(std::min<DWORD>(stat.cbOutQue, INT_MAX));
}

int TWin32ComDevice::sendTimeMs(int n) const {
    std::lock_guard lock(m_mutex);
    return ComSendTimeMs(n, m_baud, m_bitsPerChar);
}

// ---------------------------------------------------------------------------------------------
// Lines and errors

int TWin32ComDevice::modemLines(TComSignals& lines) const {
    if (!m_hasModemLines) {
        // No modem lines (a pseudo-terminal under a compatibility layer, some virtual ports): as
        // if a looped-back cable were there.
        lines = {csCTS, csDSR, csRLSD};
        return 0;
    }
    DWORD status = 0;
    if (!::GetCommModemStatus(m_handle, &status))
        return static_cast<int>(::GetLastError());
    lines = {};
    if (status & MS_CTS_ON)
        lines.include(csCTS);
    if (status & MS_DSR_ON)
        lines.include(csDSR);
    if (status & MS_RING_ON)
        lines.include(csRing);
    if (status & MS_RLSD_ON)
        lines.include(csRLSD);
    return 0;
}

TComErrors TWin32ComDevice::takeErrors() {
    collectErrors();
    TComErrors errors;
    if (m_queue.takeOverflow())
        errors.include(ceRxOver);
    std::lock_guard lock(m_mutex);
    std::uint32_t flags = m_errorFlags;
    if (!m_parityCheck)
        flags &= ~static_cast<std::uint32_t>(CE_RXPARITY);
    m_errorFlags = 0;
    return errors | FlagsToErrors(flags);
}

// ---------------------------------------------------------------------------------------------
// The event thread's wait

void TWin32ComDevice::wake() {
    ::SetEvent(m_wakeEvent);
}

void TWin32ComDevice::startEvents(TComEvents events) {
    m_watched = events;
    m_watchTx.store(events.contains(evTxEmpty));
    const TComEvents lines = events & LineEvents;
    if (!lines.empty() && m_hasModemLines && !m_lineThread.joinable()) {
        ::ResetEvent(m_lineStopEvent);
        m_lineThread = std::thread(&TWin32ComDevice::lineWatch, this, lines);
    }
}

void TWin32ComDevice::stopEvents() {
    m_watchTx.store(false);
    if (!m_lineThread.joinable())
        return;
    ::SetEvent(m_lineStopEvent);
    m_lineThread.join();
}

bool TWin32ComDevice::waitEvents(TComEvents& result) {
    for (;;) {
        // A time limit only while sent bytes are still on their way, for evTxEmpty.
        const bool txPending = m_watchTx.load() && m_txPending.load();
        const int queuedBefore = txPending ? outputQueue() : 0;
        const int timeout = queuedBefore > 0 ? sendTimeMs(queuedBefore) : txPending ? 0 : -1;
        const DWORD w = ::WaitForSingleObject(m_wakeEvent, waitMs(timeout));
        if (w == WAIT_FAILED)
            return false;
        const bool woken = w == WAIT_OBJECT_0;
        TComEvents events = TComEvents::fromBits(m_pendingEvents.exchange(0));
        if (txPending && outputQueue() <= 0 && m_txPending.exchange(false))
            events.include(evTxEmpty);
        result = events & m_watched;
        const bool lostNow = m_lost.load() && !m_lostReported;
        m_lostReported = m_lostReported || lostNow;
        if (!result.empty() || woken || lostNow)
            return true;
    }
}

void TWin32ComDevice::lineWatch(TComEvents watched) {
    DWORD mask = 0;
    if (watched.contains(evCTS))
        mask |= EV_CTS;
    if (watched.contains(evDSR))
        mask |= EV_DSR;
    if (watched.contains(evRLSD))
        mask |= EV_RLSD;
    if (watched.contains(evRing))
        mask |= EV_RING;
    if (!::SetCommMask(m_handle, mask))
        return; // the driver cannot watch its lines
    TOverlapped wait;
    for (;;) {
        DWORD what = 0, done = 0, err = 0;
        const DWORD start = started(::WaitCommEvent(m_handle, &what, wait.next()));
        if (wait.finish(m_handle, start, {m_lineStopEvent, m_closeEvent}, INFINITE, done, err) != 0)
            break;
        // An empty mask, or a failure, ends the watch rather than repeating it at once.
        if (err != 0 || what == 0)
            break;
        TComEvents events;
        if (what & EV_CTS)
            events.include(evCTS);
        if (what & EV_DSR)
            events.include(evDSR);
        if (what & EV_RLSD)
            events.include(evRLSD);
        if (what & EV_RING)
            events.include(evRing);
        addEvents(events & watched);
    }
    ::SetCommMask(m_handle, 0);
}
