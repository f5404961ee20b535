#pragma once

#include "SerialPort.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class TPosixComDevice;

// The event thread of an open port. It sleeps in poll() on the device and a wake-up eventfd
// until the device reports something or the port stops it, turns what happened into the port's
// event set and delivers it: itself (smNone) or through the main thread (smThreadSync), waiting
// there until the notifications ran or the port is stopping it.
//
// Modem-line changes come from a helper thread blocked in TIOCMIWAIT (TIOCMGET every 50 ms
// where the driver lacks it), started only when the event set asks for CTS, DSR, RLSD or ring
// and the device has modem lines; from a TComLineSimulator, the simulator wakes it directly.
class TComThread {
public:
    TComThread(TCustomComPort& port, std::shared_ptr<TPosixComDevice> device, TComEvents events,
               TSyncMethod syncMethod);
    ~TComThread();
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    void Start();
    // Asks the thread to end, from any thread; a hand-over still waiting for the main thread is
    // cancelled (it will not run) and one that is running stops after its current handler.
    void RequestStop();
    // RequestStop(), then waits until the thread has ended (unless called on the thread itself).
    void Stop();
    bool IsCurrentThread() const;

private:
    struct THandOver;

    void execute();
    bool deliver(TComEvents events, bool deviceLost);
    void lineWatch();
    void stopLineWatch();
    void addLineEvents(TComSignals before, TComSignals after);

    TCustomComPort& m_port;
    std::shared_ptr<TPosixComDevice> m_device;
    const TComEvents m_events;
    const TSyncMethod m_syncMethod;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<std::uint32_t> m_lineEvents{0};

    std::mutex m_mutex;
    std::shared_ptr<THandOver> m_handOver; // the hand-over in progress

    std::thread m_lineThread;
    int m_lineStopFd = -1;
    bool m_lineDone = false; // under m_mutex
    std::condition_variable m_lineDoneCv;
};
