#pragma once

#include "ComDevice.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// One open serial device on Windows: the file handle of "\\.\COMn", opened for overlapped I/O.
//
// A reader thread takes every received byte off the device: an overlapped ReadFile of one byte
// that returns with the first byte or after ReaderLimitMs (read interval and multiplier at
// MAXDWORD, the constant as the limit), then ClearCommError for the line errors and the bytes
// queued behind it, which are read at once. The bytes go into the device's queue, which wakes
// the waiting threads. Modem-line changes come from an overlapped WaitCommEvent on the helper
// thread, started only when the events ask for them and the device has modem lines
// (GetCommModemStatus answers at opening).
class TWin32ComDevice final : public TComDevice {
public:
    using THandle = void*;
    // How long one read waits for a first byte before it is issued again.
    static constexpr std::uint32_t ReaderLimitMs = 5000;

    // Opens path ("\\.\COM3") exclusively for overlapped I/O. Throws std::system_error with
    // GetLastError().
    static std::shared_ptr<TWin32ComDevice> openPath(const std::string& path);
    ~TWin32ComDevice() override;

    TComWoken waitForInput(int timeoutMs, const TStopSignal* stop) override;

protected:
    int setLineSettings(const TComDCB& dcb, bool driveLines) override;
    int setSystemQueues(int input, int output) override;
    int writeBytes(const char* data, std::size_t n, const TComDeadline& deadline,
                   std::size_t& written) override;
    int outputQueue() override;
    TSlept sleepForEvents(int timeoutMs, TComEvents watched, TComEvents& found) override;
    void watchLines(TComEvents watched) override;
    int readModemLines(TComSignals& lines) const override;
    TComErrors lineErrors() override;
    int purgeSystem(bool input, bool output) override;

private:
    TWin32ComDevice() = default;
    // Line errors from ClearCommError, kept until lineErrors(); returns the bytes queued.
    std::uint32_t collectErrors();
    void reader();

    THandle m_handle = nullptr;
    TComFlag m_closeFlag; // ends the reader and the line helper
    std::thread m_reader;
    std::mutex m_errorMutex;
    std::uint32_t m_errorFlags = 0; // under m_errorMutex
};
