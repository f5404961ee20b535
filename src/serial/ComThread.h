#pragma once

#include "ComTypes.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TComDevice;
class TComLineSimulator;

// The port's notifications of one wake-up (TCustomComPort::dispatchEvents): they stop early when
// cancelled becomes true; deviceLost tells that the device went away.
using TComDispatch =
    std::function<void(TComEvents events, const std::atomic<bool>* cancelled, bool deviceLost)>;

// The event thread of an open port. It sleeps in the device's event wait until the device
// reports something or the port stops it, and hands the port's events to dispatch: itself
// (smNone) or through the main thread (smThreadSync), waiting there until the notifications ran
// or the port is stopping it.
//
// Modem-line changes come from the device; from a TComLineSimulator, the simulator wakes the
// thread directly.
class TComThread {
public:
    TComThread(TComDispatch dispatch, std::shared_ptr<TComDevice> device,
               std::shared_ptr<TComLineSimulator> simulator, TComEvents events, TSyncMethod syncMethod);
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
    void addLineEvents(TComSignals before, TComSignals after);

    const TComDispatch m_dispatch;
    std::shared_ptr<TComDevice> m_device;
    std::shared_ptr<TComLineSimulator> m_simulator;
    const TComEvents m_events;
    const TSyncMethod m_syncMethod;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<std::uint32_t> m_lineEvents{0};

    std::mutex m_mutex;
    std::shared_ptr<THandOver> m_handOver; // the hand-over in progress
};
