#pragma once

// What the serial port component needs from the operating system: one open serial device behind
// a small interface. TCustomComPort, its event thread and the port list use nothing else of the
// system, so another platform is one more implementation of TComDevice (and of the few free
// functions at the end of this file).

#include "SerialPort.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
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

// One open serial device. Shared by the port and the threads that use it: an operation holds a
// reference for as long as it runs, so the device never closes under it. Every method may be
// called from any thread. Methods returning int return 0 or a system error code.
class TComDevice {
public:
    // Opens the port by its name ("ttyUSB0", "COM3", or a path) for reading and writing,
    // exclusively. Raises EComPort code 1 with the system error.
    static std::shared_ptr<TComDevice> open(const std::string& portName);
    virtual ~TComDevice() = default;

    // --- settings
    // Applies the line settings; with driveLines DTR and RTS follow the settings block too.
    virtual int applyDCB(const TComDCB& dcb, bool driveLines) = 0;
    virtual int setQueueSizes(int input, int output) = 0;
    virtual void setTimeouts(const TComTimeoutValues& values) = 0;
    virtual TComTimeoutValues timeouts() const = 0;

    // --- input: the device moves received bytes into its own queue
    // Moves what the system holds into the queue; returns the events the new bytes raise.
    virtual TComEvents fill() = 0;
    // fill(), then the number of bytes queued.
    virtual std::size_t available() = 0;
    // Takes up to n queued bytes.
    virtual std::size_t take(char* buffer, std::size_t n) = 0;
    // Sleeps until input may be there, the device aborts, stop is signalled, or timeoutMs (-1:
    // no limit) has passed.
    virtual TComWoken waitForInput(int timeoutMs, const TStopSignal* stop) = 0;

    // --- output
    // Writes up to n bytes before the deadline; with untilSent it then waits until they have left
    // the device (or the deadline passed). written is what was taken; returns 0 also when the
    // time ran out.
    virtual int write(const char* data, std::size_t n, const TComDeadline& deadline, bool untilSent,
                      std::size_t& written) = 0;

    // --- the event thread
    // Prepares waitEvents for the events the port watches (modem-line watching included).
    virtual void startEvents(TComEvents events) = 0;
    // Ends every waitEvents and stops the line watching; waits for the device's own helpers.
    virtual void stopEvents() = 0;
    // Sleeps until one of the started events happened, the device went away, or wake() ran.
    // Returns the events seen; false when the device cannot be watched any more.
    virtual bool waitEvents(TComEvents& events) = 0;
    // Ends the current (or next) waitEvents.
    virtual void wake() = 0;

    // --- state
    // Ends every wait of a transfer, now and later.
    virtual void abort() = 0;
    virtual bool aborted() const = 0;
    // The device went away (hang-up, read error): every later transfer fails.
    virtual bool lost() const = 0;

    // --- lines, errors, buffers
    // The modem lines; a device without them reports CTS, DSR and RLSD on.
    virtual int modemLines(TComSignals& lines) const = 0;
    // Line errors since the last call (frame, parity while checked, overrun, break, overflow).
    virtual TComErrors takeErrors() = 0;
    // Discards waiting input (the system's and the queue's) and/or pending output.
    virtual int purge(bool input, bool output) = 0;
};

// The serial ports the computer has, unsorted. root names where to look (the tty class directory
// on POSIX, the registry key below HKEY_LOCAL_MACHINE on Windows); empty: the system's own.
std::vector<std::string> ListComPorts(const std::string& root);
