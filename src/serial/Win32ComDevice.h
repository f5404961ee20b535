#pragma once

#include "ComDevice.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// One open serial device on Windows: the file handle of "\\.\COMn", opened for overlapped I/O,
// and what the port keeps beside it (its own receive queue, the applied settings, the events
// that wake waiting threads).
//
// A reader thread takes every received byte off the device: an overlapped ReadFile of one byte
// that returns with the first byte or after ReaderLimitMs (read interval and multiplier at
// MAXDWORD, the constant as the limit), then ClearCommError for the line errors and the bytes
// queued behind it, which are read at once. The bytes go into the queue; the thread sets the
// rx-ready event and wakes the event thread. Modem-line changes come from an overlapped
// WaitCommEvent on a helper thread, started only when the events ask for them and the device
// has modem lines (GetCommModemStatus answers at opening; a device without them reports CTS,
// DSR and RLSD on).
class TWin32ComDevice final : public TComDevice {
public:
    using THandle = void*;
    // How long one read waits for a first byte before it is issued again.
    static constexpr std::uint32_t ReaderLimitMs = 5000;

    // Opens path ("\\.\COM3") exclusively for overlapped I/O. Raises code 1 with GetLastError().
    static std::shared_ptr<TWin32ComDevice> openPath(const std::string& path);
    ~TWin32ComDevice() override;
    TWin32ComDevice(const TWin32ComDevice&) = delete;
    TWin32ComDevice& operator=(const TWin32ComDevice&) = delete;

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
    TWin32ComDevice() = default;
    void markLost();
    void updateRxReady();
    // Line errors from ClearCommError, kept until takeErrors(); returns the bytes queued.
    std::uint32_t collectErrors();
    void addEvents(TComEvents events);
    // Bytes the reader took off the device: into the queue, with their events.
    void received(const char* data, std::size_t n);
    int outputQueue();
    int sendTimeMs(int n) const;
    void reader();
    void lineWatch(TComEvents events);

    THandle m_handle = nullptr;
    THandle m_abortEvent = nullptr;   // manual reset: set once abort() ran
    THandle m_rxReadyEvent = nullptr; // manual reset: set while the queue holds bytes or the device is gone
    THandle m_wakeEvent = nullptr;    // auto reset: ends a waitEvents
    THandle m_closeEvent = nullptr;   // manual reset: ends the reader and the line helper
    THandle m_lineStopEvent = nullptr;
    bool m_hasModemLines = false;
    std::atomic<bool> m_aborted{false};
    std::atomic<bool> m_lost{false};
    TComRxQueue m_queue;
    std::thread m_reader;
    std::thread m_lineThread;

    mutable std::mutex m_mutex; // everything below
    bool m_rxReady = false;
    bool m_parityCheck = false;
    int m_bitsPerChar = 10;
    std::uint32_t m_baud = 9600;
    std::uint32_t m_errorFlags = 0;
    TComTimeoutValues m_timeouts;

    // The event thread's watch.
    TComEvents m_watched;
    bool m_lostReported = false;
    std::atomic<std::uint32_t> m_pendingEvents{0};
    std::atomic<bool> m_txPending{false};
    std::atomic<bool> m_watchTx{false};
};
