#include "Win32ComDevice.h"

// Lean: the full header set defines SetPort as a macro of the printer API.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <system_error>

namespace {

DWORD waitMs(int timeoutMs) {
    return timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
}

HANDLE handle(const TComFlag& flag) {
    return reinterpret_cast<HANDLE>(flag.native());
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
    TOverlapped() : event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) { ov.hEvent = event; }
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
// TComFlag: a manual-reset event

TComFlag::TComFlag()
    : m_handle(reinterpret_cast<std::intptr_t>(::CreateEventW(nullptr, TRUE, FALSE, nullptr))) {
    if (m_handle == 0)
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), "CreateEvent");
    m_signalHandle = m_handle;
}

TComFlag::~TComFlag() {
    ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

void TComFlag::set() {
    m_isSet.store(true);
    ::SetEvent(reinterpret_cast<HANDLE>(m_signalHandle));
}

void TComFlag::reset() {
    ::ResetEvent(reinterpret_cast<HANDLE>(m_handle));
    m_isSet.store(false);
}

bool TComFlag::waitFor(int timeoutMs) const {
    return ::WaitForSingleObject(reinterpret_cast<HANDLE>(m_handle), waitMs(timeoutMs)) == WAIT_OBJECT_0;
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

std::shared_ptr<TWin32ComDevice> TWin32ComDevice::openPath(const std::string& path) {
    auto fail = [] {
        const DWORD err = ::GetLastError();
        throw std::system_error(static_cast<int>(err), std::system_category(), "open");
    };
    std::shared_ptr<TWin32ComDevice> dev(new TWin32ComDevice); // its flags first: nothing to undo
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        fail();
    dev->m_handle = h; // from here on the destructor closes what was opened

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
    dev->m_reader = std::thread(&TWin32ComDevice::reader, dev.get());
    return dev;
}

TWin32ComDevice::~TWin32ComDevice() {
    stopEvents();
    if (m_reader.joinable()) {
        m_closeFlag.set();
        m_reader.join();
    }
    if (m_handle) {
        // Unsent bytes are dropped, so closing never waits for a line held by flow control.
        ::PurgeComm(m_handle, PURGE_TXABORT | PURGE_TXCLEAR);
        ::CloseHandle(m_handle);
    }
}

// ---------------------------------------------------------------------------------------------
// Settings

int TWin32ComDevice::setLineSettings(const TComDCB& in, bool driveLines) {
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
    return 0;
}

int TWin32ComDevice::setSystemQueues(int input, int output) {
    if (!::SetupComm(m_handle, static_cast<DWORD>(input), static_cast<DWORD>(output)))
        return static_cast<int>(::GetLastError());
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Input

std::uint32_t TWin32ComDevice::collectErrors() {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!::ClearCommError(m_handle, &errors, &stat))
        return 0;
    if (errors != 0) {
        {
            std::lock_guard lock(m_errorMutex);
            m_errorFlags |= errors;
        }
        TComEvents events;
        if (errors & (CE_FRAME | CE_OVERRUN | CE_RXOVER | (parityChecked() ? CE_RXPARITY : 0)))
            events.include(evError);
        if (errors & CE_BREAK)
            events.include(evBreak);
        addEvents(events);
    }
    return stat.cbInQue;
}

void TWin32ComDevice::reader() {
    using Clock = std::chrono::steady_clock;
    // A read that ends at once without a byte, again and again, is a device that has gone
    // (a hang-up): the reader stops instead of spinning.
    int quickEmpty = 0;
    char buf[4096];
    TOverlapped transfer;
    while (!lost()) {
        DWORD done = 0, err = 0;
        const auto begun = Clock::now();
        const DWORD start = started(::ReadFile(m_handle, buf, 1, nullptr, transfer.next()));
        const DWORD ended = transfer.finish(m_handle, start, {handle(m_closeFlag)}, INFINITE, done, err);
        addEvents(received(buf, done));
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
        for (std::uint32_t queued; !lost() && (queued = collectErrors()) > 0;) {
            const DWORD want = std::min<DWORD>(queued, sizeof buf);
            const DWORD startRest = started(::ReadFile(m_handle, buf, want, nullptr, transfer.next()));
            const DWORD endedRest =
                transfer.finish(m_handle, startRest, {handle(m_closeFlag)}, INFINITE, done, err);
            addEvents(received(buf, done));
            if (endedRest != 0 || err != 0 || done == 0)
                break;
        }
        if (m_closeFlag.isSet())
            break;
    }
}

TComWoken TWin32ComDevice::waitForInput(int timeoutMs, const TStopSignal* stop) {
    HANDLE waits[3];
    DWORD n = 0;
    if (stop)
        waits[n++] = reinterpret_cast<HANDLE>(stop->NativeHandle());
    waits[n++] = handle(m_abortFlag);
    waits[n++] = handle(m_rxReadyFlag);
    const DWORD w = ::WaitForMultipleObjects(n, waits, FALSE, waitMs(timeoutMs));
    if (w == WAIT_TIMEOUT)
        return TComWoken::Timeout;
    if (w == WAIT_FAILED)
        return TComWoken::Aborted;
    HANDLE which = waits[w - WAIT_OBJECT_0];
    if (which == handle(m_rxReadyFlag))
        return TComWoken::Ready;
    return which == handle(m_abortFlag) ? TComWoken::Aborted : TComWoken::Stopped;
}

int TWin32ComDevice::purgeSystem(bool input, bool output) {
    const DWORD flags = (input ? PURGE_RXCLEAR : 0u) | (output ? PURGE_TXCLEAR : 0u);
    if (flags && !::PurgeComm(m_handle, flags))
        return static_cast<int>(::GetLastError());
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Output

int TWin32ComDevice::writeBytes(const char* data, std::size_t n, const TComDeadline& deadline,
                                std::size_t& written) {
    TOverlapped transfer;
    DWORD done = 0, err = 0;
    const DWORD start = started(::WriteFile(
        m_handle, data, static_cast<DWORD>(std::min<std::size_t>(n, MAXDWORD)), nullptr, transfer.next()));
    const DWORD ended =
        transfer.finish(m_handle, start, {handle(m_abortFlag)}, waitMs(deadline.remainingMs()), done, err);
    written = done;
    if (ended == 1)
        return ERROR_OPERATION_ABORTED;
    if (err != 0 && !(ended == WAIT_TIMEOUT && err == ERROR_OPERATION_ABORTED)) {
        if (deviceGone(err))
            markLost();
        return static_cast<int>(err);
    }
    return 0;
}

int TWin32ComDevice::outputQueue() {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!::ClearCommError(m_handle, &errors, &stat))
        return -1;
    if (errors != 0) {
        std::lock_guard lock(m_errorMutex);
        m_errorFlags |= errors; // kept for lineErrors(), as the reader keeps them
    }
    return static_cast<int>(std::min<DWORD>(stat.cbOutQue, INT_MAX));
}

// ---------------------------------------------------------------------------------------------
// Lines and errors

int TWin32ComDevice::readModemLines(TComSignals& lines) const {
    DWORD status = 0;
    if (!::GetCommModemStatus(m_handle, &status))
        return static_cast<int>(::GetLastError());
    // MS_CTS_ON, MS_DSR_ON, MS_RING_ON and MS_RLSD_ON are bits 4 to 7, in the order of TComSignal.
    static_assert(MS_CTS_ON >> 4 == 1u << csCTS && MS_DSR_ON >> 4 == 1u << csDSR &&
                  MS_RING_ON >> 4 == 1u << csRing && MS_RLSD_ON >> 4 == 1u << csRLSD);
    lines = TComSignals::fromBits((status >> 4) & 0xF);
    return 0;
}

TComErrors TWin32ComDevice::lineErrors() {
    collectErrors();
    std::uint32_t flags;
    {
        std::lock_guard lock(m_errorMutex);
        flags = m_errorFlags;
        m_errorFlags = 0;
    }
    if (!parityChecked())
        flags &= ~static_cast<std::uint32_t>(CE_RXPARITY);
    return FlagsToErrors(flags);
}

// ---------------------------------------------------------------------------------------------
// The event thread's sleep and the modem-line helper

TComDevice::TSlept TWin32ComDevice::sleepForEvents(int timeoutMs, TComEvents /*watched*/,
                                                   TComEvents& /*found*/) {
    // The reader and the line helper hand over what they saw with addEvents().
    const DWORD w = ::WaitForSingleObject(handle(m_wakeFlag), waitMs(timeoutMs));
    if (w == WAIT_FAILED)
        return TSlept::Failed;
    return w == WAIT_OBJECT_0 ? TSlept::Woken : TSlept::TimedOut;
}

void TWin32ComDevice::watchLines(TComEvents watched) {
    // The event-mask bits of the line events are those of EV_CTS, EV_DSR, EV_RLSD and EV_RING.
    if (!::SetCommMask(m_handle, EventsToMask(watched)))
        return; // the driver cannot watch its lines
    TOverlapped wait;
    for (;;) {
        DWORD what = 0, done = 0, err = 0;
        const DWORD start = started(::WaitCommEvent(m_handle, &what, wait.next()));
        if (wait.finish(m_handle, start, {handle(m_lineStopFlag), handle(m_closeFlag)}, INFINITE, done,
                        err) != 0)
            break;
        // An empty mask, or a failure, ends the watch rather than repeating it at once.
        if (err != 0 || what == 0)
            break;
        addEvents(MaskToEvents(what) & watched);
    }
    ::SetCommMask(m_handle, 0);
}
