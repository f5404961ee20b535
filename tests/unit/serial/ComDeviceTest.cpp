// The device's state machine around a platform's modem-line helper: what the helper reports
// reaches the event thread's wait, and stopping ends a helper that only an interruption wakes,
// also when the first interruption comes before it waits (as a signal for TIOCMIWAIT can).
// Pseudo-terminals have no modem lines, so no test reaches this through a real device.
#include "ComDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

class TLineDevice final : public TComDevice {
public:
    TLineDevice() { m_hasModemLines = true; }
    ~TLineDevice() override { stopEvents(); }

    // A pulse on CTS, as the driver would report it to the helper.
    void pulse() {
        {
            std::lock_guard lock(m_mutex);
            ++m_pulses;
        }
        m_cv.notify_all();
    }
    int interruptions() {
        std::lock_guard lock(m_mutex);
        return m_interruptions;
    }

    TComWoken waitForInput(int, const TStopSignal*) override { return TComWoken::Timeout; }

protected:
    int setLineSettings(const TComDCB&, bool) override { return 0; }
    int writeBytes(const char*, std::size_t n, const TComDeadline&, std::size_t& written) override {
        written = n;
        return 0;
    }
    int outputQueue() override { return 0; }
    TSlept sleepForEvents(int timeoutMs, TComEvents, TComEvents&) override {
        return m_wakeFlag.waitFor(timeoutMs) ? TSlept::Woken : TSlept::TimedOut;
    }
    // Blocks like a driver's modem-line wait: the stop flag alone does not end it, and the first
    // interruption is missed.
    void watchLines(TComEvents watched) override {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_cv.wait(lock, [&] { return m_pulses > 0 || m_interruptions >= 2; });
            if (m_interruptions >= 2)
                return;
            --m_pulses;
            lock.unlock();
            addEvents(TComEvents{evCTS} & watched);
            lock.lock();
        }
    }
    void interruptLineWatch(std::thread&) override {
        {
            std::lock_guard lock(m_mutex);
            ++m_interruptions;
        }
        m_cv.notify_all();
    }
    int readModemLines(TComSignals& lines) const override {
        lines = {csCTS};
        return 0;
    }
    TComErrors lineErrors() override { return {}; }
    int purgeSystem(bool, bool) override { return 0; }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_pulses = 0;
    int m_interruptions = 0;
};

TEST(ComDeviceTest, LineChangesReachTheEventWaitAndStoppingEndsAHelperThatMissedItsFirstWakeUp) {
    TLineDevice device;
    device.startEvents({evRxChar, evCTS, evDSR});
    device.pulse();
    TComEvents events;
    ASSERT_TRUE(device.waitEvents(events));
    EXPECT_EQ(events, TComEvents{evCTS});

    const auto start = std::chrono::steady_clock::now();
    device.stopEvents();
    EXPECT_GE(device.interruptions(), 2);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

} // namespace
