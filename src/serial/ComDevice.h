#pragma once

// What the serial port component needs from the operating system: one open serial device.
// TComDevice is the device's state machine, written once for every platform: its receive queue,
// the applied settings, the deadlines of the transfers, the event thread's wait with its
// transmit-empty timing and its one report of a device that went away, and the life of the
// modem-line helper. A platform derives from it and adds only its system calls: opening, line
// settings, reading, writing, the waits with a stop, the modem lines, purging, and the port list
// (TPosixComDevice, TWin32ComDevice).

#include "ComTypes.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Timeouts as the device keeps them: -1 becomes the largest value.
struct TComTimeoutValues {
    std::uint32_t readInterval = 0xFFFFFFFF;
    std::uint32_t readTotalMultiplier = 0;
    std::uint32_t readTotalConstant = 0;
    std::uint32_t writeTotalMultiplier = 100;
    std::uint32_t writeTotalConstant = 1000;
};
inline constexpr std::uint32_t ComMaxDword = 0xFFFFFFFF;

// A point in time on the monotonic clock, or none.
class TComDeadline {
public:
    using Clock = std::chrono::steady_clock;
    static TComDeadline never() { return TComDeadline(); }
    static TComDeadline in(std::uint64_t ms) {
        TComDeadline d;
        d.m_unlimited = ms >= static_cast<std::uint64_t>(INT_MAX);
        if (!d.m_unlimited)
            d.m_at = Clock::now() + std::chrono::milliseconds(ms);
        return d;
    }
    bool unlimited() const { return m_unlimited; }
    bool passed() const { return !m_unlimited && Clock::now() >= m_at; }
    // Milliseconds left, rounded up so that a wait never returns early; -1 without a limit.
    int remainingMs() const {
        if (m_unlimited)
            return -1;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_at - Clock::now()).count();
        return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
    }

private:
    bool m_unlimited = true;
    Clock::time_point m_at{};
};

// How a wait of the device ended.
enum class TComWoken { Ready, Timeout, Aborted, Stopped };

// The system error codes the port raises for failures it finds itself, in the numbering of the
// platform (errno values on POSIX, GetLastError values on Windows).
struct TComSystemCodes {
    int closed;    // the port is not open
    int io;        // the device went away
    int cancelled; // the port aborted the transfer (it is being closed)
    int timedOut;  // a single character could not be sent in time
    int invalid;   // a setting the device cannot take
};
const TComSystemCodes& ComSystemCodes();

// The receive queue a device keeps beside the system's: received bytes wait here until the port
// takes them, whatever the driver's own buffer holds. NUL bytes are dropped with DiscardNull; a
// full queue drops further bytes and reports the overflow once. Thread-safe.
class TComRxQueue {
public:
    void configure(bool discardNull, char eventChar);
    void setInputSize(int size);
    // Appends received bytes; returns the events they raise (evRxChar, evRxFlag, evRx80Full, and
    // evError for the first byte lost to a full queue).
    TComEvents push(const char* data, std::size_t n);
    std::size_t take(char* buffer, std::size_t n);
    std::size_t size() const;
    void clear();
    // Whether bytes were lost to a full queue since the last call.
    bool takeOverflow();

private:
    mutable std::mutex m_mutex;
    std::deque<char> m_bytes;
    bool m_overflow = false;
    bool m_discardNull = false;
    char m_eventChar = 0;
    int m_inputSize = 1024;
};

// Estimated milliseconds to send n bytes at baud with bitsPerChar bits a character (at least 1).
int ComSendTimeMs(int n, std::uint32_t baud, int bitsPerChar);
// The line events a change of the modem lines raises: CTS, DSR and RLSD on any change, Ring when
// it comes on.
TComEvents ComLineChanges(TComSignals before, TComSignals after);
// Bits a character takes on the line for the settings block (start, data, parity, stop).
int ComBitsPerChar(const TComDCB& dcb);

// The events of the modem lines.
inline constexpr TComEvents ComLineEvents{evCTS, evDSR, evRLSD, evRing};

// One open serial device. Shared by the port and the threads that use it: an operation holds a
// reference for as long as it runs, so the device never closes under it. Every public method
// may be called from any thread. Methods returning int return 0 or a system error code.
class TComDevice {
public:
    // Opens the port by its name ("ttyUSB0", "COM3", or a path) for reading and writing,
    // exclusively. Throws std::system_error with the system's error (the platform's own).
    static std::shared_ptr<TComDevice> open(const std::string& portName);
    // A platform's destructor calls stopEvents() first, while the modem-line helper can still
    // run the platform's watchLines().
    virtual ~TComDevice() = default;
    TComDevice(const TComDevice&) = delete;
    TComDevice& operator=(const TComDevice&) = delete;

    // --- settings
    // Applies the line settings; with driveLines DTR and RTS follow the settings block too.
    int applyDCB(const TComDCB& dcb, bool driveLines);
    int setQueueSizes(int input, int output);
    void setTimeouts(const TComTimeoutValues& values);
    TComTimeoutValues timeouts() const;

    // --- input: received bytes wait in the device's own queue
    // Moves what the system holds into the queue; returns the events the new bytes raise. A
    // device whose own reader moves every byte as it arrives has nothing to do here.
    virtual TComEvents fill() { return {}; }
    // fill(), then the number of bytes queued.
    std::size_t available();
    // Takes up to n queued bytes.
    std::size_t take(char* buffer, std::size_t n);
    // Sleeps until input may be there, the device aborts, stop is signalled, or timeoutMs (-1:
    // no limit) has passed.
    virtual TComWoken waitForInput(int timeoutMs, const TStopSignal* stop) = 0;

    // --- output
    // Writes up to n bytes before the deadline; with untilSent it then waits until they have left
    // the device (or the deadline passed). written is what was taken; returns 0 also when the
    // time ran out.
    int write(const char* data, std::size_t n, const TComDeadline& deadline, bool untilSent,
              std::size_t& written);

    // --- the event thread
    // Prepares waitEvents for the events the port watches (modem-line watching included).
    void startEvents(TComEvents events);
    // Ends every waitEvents and stops the line watching; waits for the device's own helpers.
    void stopEvents();
    // Sleeps until one of the started events happened, the device went away (told once), or
    // wake() ran. Returns the events seen; false when the device cannot be watched any more.
    bool waitEvents(TComEvents& events);
    // Ends the current (or next) waitEvents.
    void wake() { m_wakeFlag.set(); }

    // --- state
    // Ends every wait of a transfer, now and later.
    void abort() { m_abortFlag.set(); }
    bool aborted() const { return m_abortFlag.isSet(); }
    // The device went away (hang-up, read error): every later transfer fails.
    bool lost() const { return m_lost.load(); }

    // --- lines, errors, buffers
    // The modem lines; a device without them reports CTS, DSR and RLSD on.
    int modemLines(TComSignals& lines) const;
    // Line errors since the last call (frame, parity while checked, overrun, break, overflow).
    TComErrors takeErrors();
    // Discards waiting input (the system's and the queue's) and/or pending output.
    int purge(bool input, bool output);

protected:
    TComDevice() = default;

    // --- the platform's system calls
    virtual int setLineSettings(const TComDCB& dcb, bool driveLines) = 0;
    // The system's queue sizes; a driver that sizes its own has nothing to do.
    virtual int setSystemQueues(int /*input*/, int /*output*/) { return 0; }
    // Writes up to n bytes before the deadline (written: how many); 0 also when the time ran out.
    virtual int writeBytes(const char* data, std::size_t n, const TComDeadline& deadline,
                           std::size_t& written) = 0;
    // Bytes still waiting to be sent; -1 when the system cannot tell.
    virtual int outputQueue() = 0;
    enum class TSlept { Woken, TimedOut, Failed };
    // The event thread's sleep, up to timeoutMs (-1: no limit): Woken once m_wakeFlag is set,
    // Failed when the system cannot wait any more. A platform that watches the device itself
    // here (the POSIX descriptor) reads what arrived and puts the events it raised into found.
    virtual TSlept sleepForEvents(int timeoutMs, TComEvents watched, TComEvents& found) = 0;
    // Runs on the modem-line helper until m_lineStopFlag is set: reports each change of the
    // lines among watched with addEvents().
    virtual void watchLines(TComEvents watched) = 0;
    // Ends a wait of the helper that m_lineStopFlag cannot end; stopEvents() calls it again
    // every 10 ms until the helper has returned, holding the device's lock (it must not call
    // back into the device).
    virtual void interruptLineWatch(std::thread& /*helper*/) {}
    virtual int readModemLines(TComSignals& lines) const = 0;
    // Line errors the system has seen since the last call (overflow of the queue aside).
    virtual TComErrors lineErrors() = 0;
    virtual int purgeSystem(bool input, bool output) = 0;

    // --- for the platform
    // Received bytes into the queue; returns the events they raise.
    TComEvents received(const char* data, std::size_t n);
    // Events seen beside the event thread's own sleep: the next waitEvents returns them.
    void addEvents(TComEvents events);
    void markLost();
    bool parityChecked() const;

    TComFlag m_abortFlag;         // set once abort() ran
    TComFlag m_rxReadyFlag;       // set while the queue holds bytes or the device is gone
    TComFlag m_wakeFlag;          // ends a waitEvents
    TComFlag m_lineStopFlag;      // ends the modem-line helper
    bool m_hasModemLines = false; // found at opening

private:
    void updateRxReady();
    int sendTimeMs(int n) const;

    std::atomic<bool> m_lost{false};
    TComRxQueue m_queue;

    mutable std::mutex m_mutex; // everything below
    bool m_rxReady = false;
    bool m_parityCheck = false;
    int m_bitsPerChar = 10;
    std::uint32_t m_baud = 9600;
    TComTimeoutValues m_timeouts;
    bool m_lineDone = false;
    std::condition_variable m_lineDoneCv;

    // The event thread's watch: set by startEvents before the thread starts, then only that
    // thread calls waitEvents.
    TComEvents m_watched;
    bool m_lostReported = false;
    std::atomic<std::uint32_t> m_pendingEvents{0}; // from addEvents()
    std::atomic<bool> m_txPending{false};
    std::atomic<bool> m_watchTx{false};
    std::thread m_lineThread; // started by startEvents, ended by stopEvents
};

// The serial ports the computer has, unsorted. root names where to look (the tty class directory
// on POSIX, the registry key below HKEY_LOCAL_MACHINE on Windows); empty: the system's own.
std::vector<std::string> ListComPorts(const std::string& root);
