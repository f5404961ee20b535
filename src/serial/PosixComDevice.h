#pragma once

#include "ComDevice.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// One open serial device on POSIX: the descriptor and what the port keeps beside it while it is
// open (its own receive queue, the applied settings, the line-error counters, the eventfds that
// wake waiting threads).
//
// Optional driver features (modem lines, error counters, modem-line wait) are probed once at
// opening; a device without them (a pseudo-terminal) works with the fallbacks. Modem-line
// changes come from a helper thread blocked in TIOCMIWAIT (TIOCMGET every 50 ms where the driver
// lacks it), started only when the events ask for CTS, DSR, RLSD or ring.
class TPosixComDevice final : public TComDevice {
public:
    // Opens path non-blocking, not as controlling terminal, and takes it exclusively. Raises
    // code 1 with errno (ENOTTY for something that is not a terminal, EBUSY for a device another
    // port or program holds).
    static std::shared_ptr<TPosixComDevice> openPath(const std::string& path);
    ~TPosixComDevice() override;
    TPosixComDevice(const TPosixComDevice&) = delete;
    TPosixComDevice& operator=(const TPosixComDevice&) = delete;

    int applyDCB(const TComDCB& dcb, bool driveLines) override;
    int setQueueSizes(int input, int output) override;
    void setTimeouts(const TComTimeoutValues& values) override;
    TComTimeoutValues timeouts() const override;

    TComEvents fill() override;
    std::size_t available() override;
    std::size_t take(char* buffer, std::size_t n) override;
    TComWoken waitForInput(int timeoutMs, const TStopSignal* stop) override;

    int write(const char* data, std::size_t n, const TComDeadline& deadline, bool untilSent,
              std::size_t& written) override;

    void startEvents(TComEvents events) override;
    void stopEvents() override;
    bool waitEvents(TComEvents& events) override;
    void wake() override;

    void abort() override;
    bool aborted() const override { return m_aborted.load(); }
    bool lost() const override { return m_lost.load(); }

    int modemLines(TComSignals& lines) const override;
    TComErrors takeErrors() override;
    int purge(bool input, bool output) override;

private:
    struct TCounters {
        int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
    };
    TPosixComDevice() = default;
    void markLost();
    void updateRxReady();
    // The driver's line-error counters; false where it has none.
    static bool readCounters(int fd, TCounters& counters);
    // Events that the error counters raised since the last call (evError, evBreak).
    TComEvents takeErrorEvents();
    // Sleeps until the device takes output, the port aborts, or timeoutMs has passed.
    TComWoken waitForOutput(int timeoutMs);
    int outputQueue() const;
    int sendTimeMs(int n) const;
    void lineWatch(TComEvents events);

    int m_fd = -1;
    int m_abortFd = -1;
    int m_rxReadyFd = -1;
    int m_wakeFd = -1;
    bool m_hasModemLines = false;
    bool m_hasCounters = false;
    std::atomic<bool> m_aborted{false};
    std::atomic<bool> m_lost{false};
    TComRxQueue m_queue;
    std::mutex m_fillMutex;

    mutable std::mutex m_mutex; // everything below
    bool m_rxReady = false;
    bool m_parityCheck = false;
    int m_bitsPerChar = 10;
    std::uint32_t m_baud = 9600;
    TComTimeoutValues m_timeouts;
    TCounters m_errorBase;
    TCounters m_eventBase;

    // The event thread's watch (only that thread calls waitEvents).
    TComEvents m_watched;
    bool m_lostReported = false;
    std::atomic<bool> m_txPending{false};
    std::atomic<bool> m_watchTx{false};
    std::atomic<std::uint32_t> m_lineEvents{0};
    std::atomic<bool> m_lineStop{false};
    std::thread m_lineThread;
    int m_lineStopFd = -1;
    bool m_lineDone = false; // under m_mutex
    std::condition_variable m_lineDoneCv;
};

// Sets a bit rate that has no B constant (Linux termios2 with BOTHER). Returns 0 or an errno.
int setCustomBaudRate(int fd, std::uint32_t rate);
