#pragma once

#include "ComDevice.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// ---------------------------------------------------------------------------------------------
// What the POSIX device needs of its system beyond POSIX. One file per system implements these,
// with TComFlag's constructor and ListComPorts (PosixLinux.cpp).

// The driver's counters of line errors and modem-line changes.
struct TComLineCounters {
    int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
    int cts = 0, dsr = 0, dcd = 0, ring = 0;
};
// False where the driver keeps none.
bool readLineCounters(int fd, TComLineCounters& counters);
// Sleeps until one of the modem lines in mask (TIOCM_ bits) changes. Returns 0, or the errno:
// EINTR when interruptModemLineWait ended it, ENOTTY or EINVAL where the system or the driver
// cannot wait for the lines.
int waitModemLines(int fd, int mask);
// Ends waitModemLines on the thread helper (a wake-up that comes too early is lost: the caller
// repeats it until the helper has answered).
void interruptModemLineWait(std::thread& helper);
// Sets a bit rate that has no B constant. Returns 0 or an errno.
int setCustomBaudRate(int fd, std::uint32_t rate);

// ---------------------------------------------------------------------------------------------
// The device

// One open serial device on POSIX: the descriptor, read and written non-blocking and waited on
// with poll() beside the device's flags. The event thread reads the received bytes itself when
// poll() finds them.
//
// Optional driver features (modem lines, error counters, modem-line wait) are probed once at
// opening; a device without them (a pseudo-terminal) works with the fallbacks. Modem-line
// changes come from the helper thread blocked in the system's modem-line wait (TIOCMGET every
// 50 ms where the system or the driver has none), started only when the events ask for CTS,
// DSR, RLSD or ring.
class TPosixComDevice final : public TComDevice {
public:
    // Opens path non-blocking, not as controlling terminal, and takes it exclusively. Throws
    // std::system_error with errno (ENOTTY for something that is not a terminal, EBUSY for a
    // device another port or program holds).
    static std::shared_ptr<TPosixComDevice> openPath(const std::string& path);
    ~TPosixComDevice() override;

    TComEvents fill() override;
    TComWoken waitForInput(int timeoutMs, const TStopSignal* stop) override;

protected:
    int setLineSettings(const TComDCB& dcb, bool driveLines) override;
    int writeBytes(const char* data, std::size_t n, const TComDeadline& deadline,
                   std::size_t& written) override;
    int outputQueue() override;
    TSlept sleepForEvents(int timeoutMs, TComEvents watched, TComEvents& found) override;
    void watchLines(TComEvents watched) override;
    void interruptLineWatch(std::thread& helper) override;
    int readModemLines(TComSignals& lines) const override;
    TComErrors lineErrors() override;
    int purgeSystem(bool input, bool output) override;

private:
    TPosixComDevice() = default;
    // Line errors the driver counted since base, which moves on.
    TComErrors countedErrors(TComLineCounters& base);
    // Events that the error counters raised since the last call (evError, evBreak).
    TComEvents takeErrorEvents();
    // Sleeps until the device takes output, the port aborts, or timeoutMs has passed.
    TComWoken waitForOutput(int timeoutMs);

    int m_fd = -1;
    bool m_hasCounters = false;
    std::mutex m_fillMutex;
    std::mutex m_countersMutex;   // the two bases
    TComLineCounters m_errorBase; // for takeErrors()
    TComLineCounters m_eventBase; // for the event thread's evError and evBreak
};
