#pragma once

#include "SerialPort.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

// One open serial device on POSIX: the descriptor and what the port keeps beside it while it is
// open (its own receive queue, the applied settings, the line-error counters, the descriptors
// that wake waiting threads). Shared by the port and by the threads that use it: an operation
// holds a reference for as long as it runs, so the descriptors never close under it.
//
// Optional driver features (modem lines, error counters, modem-line wait) are probed once at
// opening; a device without them (a pseudo-terminal) works with the fallbacks.
class TPosixComDevice {
public:
    // Timeouts as the device keeps them: -1 becomes the largest value.
    struct TTimeoutValues {
        std::uint32_t readInterval = 0xFFFFFFFF;
        std::uint32_t readTotalMultiplier = 0;
        std::uint32_t readTotalConstant = 0;
        std::uint32_t writeTotalMultiplier = 100;
        std::uint32_t writeTotalConstant = 1000;
    };
    static constexpr std::uint32_t MaxDword = 0xFFFFFFFF;

    // Opens path for reading and writing, non-blocking, not as controlling terminal, and takes it
    // exclusively. Raises code 1 with errno (ENOTTY for something that is not a terminal, EBUSY
    // for a device another port or program holds).
    static std::shared_ptr<TPosixComDevice> open(const std::string& path,
                                                 std::shared_ptr<TComLineSimulator> simulator);
    ~TPosixComDevice();
    TPosixComDevice(const TPosixComDevice&) = delete;
    TPosixComDevice& operator=(const TPosixComDevice&) = delete;

    int handle() const { return m_fd; }
    // Readable once abort() ran: every wait of a transfer ends.
    int abortHandle() const { return m_abortFd; }
    // Readable while the receive queue holds bytes, or the device is gone.
    int rxReadyHandle() const { return m_rxReadyFd; }
    // An eventfd that the event thread sleeps on beside the device.
    int wakeHandle() const { return m_wakeFd; }
    void wake();

    void abort();
    bool aborted() const { return m_aborted.load(); }
    // The device went away (hang-up, read error): every later transfer fails.
    bool lost() const { return m_lost.load(); }
    void markLost();

    // Settings. Each returns 0 or an errno.
    int applyDCB(const TComDCB& dcb);
    void setQueueSizes(int input, int output);
    void setTimeouts(const TTimeoutValues& values);
    TTimeoutValues timeouts() const;

    // Modem lines (or the simulator's). Returns 0 or an errno.
    int modemLines(TComSignals& lines) const;
    bool hasModemLines() const { return m_hasModemLines; }
    const std::shared_ptr<TComLineSimulator>& simulator() const { return m_simulator; }

    // Receive queue. fill() moves what the device holds into the queue (dropping NUL bytes with
    // DiscardNull) and returns the events the new bytes raise: evRxChar, evRxFlag, evRx80Full.
    // It marks the device lost on a hang-up.
    TComEvents fill();
    // fill(), then the number of bytes queued.
    std::size_t available();
    // Takes up to n queued bytes.
    std::size_t take(char* buffer, std::size_t n);
    // Discards waiting input (the device's and the queue's) and/or pending output. 0 or an errno.
    int purge(bool input, bool output);

    // Line errors since the last call (frame, parity while checked, overrun, break, own queue
    // overflow).
    TComErrors takeErrors();
    // Events that the error counters raised since the last call (evError, evBreak).
    TComEvents takeErrorEvents();
    bool hasErrorCounters() const { return m_hasCounters; }

    // Output
    std::uint32_t baudRate() const;
    // Estimated milliseconds to send n bytes at the applied line settings (at least 1).
    int sendTimeMs(int n) const;
    // Bytes waiting to be sent, or -1 where the driver can't tell.
    int outputQueue() const;

    // Tx-empty bookkeeping for the event thread.
    void setWatchTxEmpty(bool watch) { m_watchTx.store(watch); }
    void noteWrite();
    bool takeTxPending() { return m_txPending.exchange(false); }
    bool txPending() const { return m_txPending.load(); }

private:
    struct TCounters {
        int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
    };
    TPosixComDevice() = default;
    void setRxReady(bool ready);
    // The driver's line-error counters; false where it has none.
    static bool readCounters(int fd, TCounters& counters);

    int m_fd = -1;
    int m_abortFd = -1;
    int m_rxReadyFd = -1;
    int m_wakeFd = -1;
    bool m_hasModemLines = false;
    bool m_hasCounters = false;
    std::shared_ptr<TComLineSimulator> m_simulator;
    std::atomic<bool> m_aborted{false};
    std::atomic<bool> m_lost{false};
    std::atomic<bool> m_watchTx{false};
    std::atomic<bool> m_txPending{false};

    mutable std::mutex m_mutex; // everything below
    std::deque<char> m_queue;
    bool m_rxReady = false;
    bool m_overflow = false;
    bool m_discardNull = false;
    char m_eventChar = 0;
    bool m_parityCheck = false;
    int m_bitsPerChar = 10;
    std::uint32_t m_baud = 9600;
    int m_inputSize = 1024;
    TTimeoutValues m_timeouts;
    TCounters m_errorBase;
    TCounters m_eventBase;
};

// Sets a bit rate that has no B constant (Linux termios2 with BOTHER). Returns 0 or an errno.
int setCustomBaudRate(int fd, std::uint32_t rate);
