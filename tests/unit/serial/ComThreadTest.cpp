// The port with its event thread: delivery by smNone and smThreadSync, closing while events are
// on their way, modem-line events, a device that goes away.
#include "SerialPort.h"

#include "PlainMainThread.h"
#include "PtyPair.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// What handlers running on another thread saw, with a way to wait for it.
class Recorder {
public:
    void add(const std::string& what) {
        {
            std::lock_guard lock(m_mutex);
            m_seen.push_back(what);
        }
        m_cv.notify_all();
    }
    bool waitFor(std::size_t count, std::chrono::milliseconds limit = 5s) {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, limit, [&] { return m_seen.size() >= count; });
    }
    std::vector<std::string> seen() const {
        std::lock_guard lock(m_mutex);
        return m_seen;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::string> m_seen;
};

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Tests whose handlers capture locals close the port before the locals go.
class ComThreadTest : public ::testing::Test {
protected:
    PlainMainThread mainThread;
    PtyPair pty;
    TCustomComPort port;

    ComThreadTest() { port.SetPort(pty.slavePath()); }
};

TEST_F(ComThreadTest, OpenAndCloseNotifyInTheirFixedOrder) {
    std::vector<std::string> seen;
    port.OnBeforeOpen = [&](TCustomComPort*) { seen.push_back("BeforeOpen"); };
    port.OnAfterOpen = [&](TCustomComPort*) { seen.push_back("AfterOpen"); };
    port.OnBeforeClose = [&](TCustomComPort*) { seen.push_back("BeforeClose"); };
    port.OnAfterClose = [&](TCustomComPort*) { seen.push_back("AfterClose"); };
    port.OnCTSChange = [&](TCustomComPort*, bool on) { seen.push_back(on ? "CTS 1" : "CTS 0"); };
    port.OnDSRChange = [&](TCustomComPort*, bool on) { seen.push_back(on ? "DSR 1" : "DSR 0"); };
    port.OnRLSDChange = [&](TCustomComPort*, bool on) { seen.push_back(on ? "RLSD 1" : "RLSD 0"); };
    port.Open();
    EXPECT_TRUE(port.ThreadCreated());
    port.Open(); // already open: nothing
    port.Close();
    port.Close(); // already closed: nothing
    EXPECT_FALSE(port.ThreadCreated());
    EXPECT_EQ(seen, (std::vector<std::string>{"BeforeOpen", "AfterOpen", "CTS 1", "DSR 1", "RLSD 1", "CTS 0",
                                              "DSR 0", "RLSD 0", "BeforeClose", "AfterClose"}));
}

TEST_F(ComThreadTest, ChangingThePortReopensOnTheNewDevice) {
    PtyPair other;
    std::vector<std::string> seen;
    port.OnAfterOpen = [&](TCustomComPort*) { seen.push_back("open"); };
    port.OnAfterClose = [&](TCustomComPort*) { seen.push_back("close"); };
    port.Open();
    port.SetPort(pty.slavePath()); // the same name: nothing
    port.SetPort(other.slavePath());
    EXPECT_EQ(seen, (std::vector<std::string>{"open", "close", "open"}));
    EXPECT_TRUE(port.Connected());
    TCustomComPort first;
    first.SetPort(pty.slavePath());
    first.Open(); // the old device was released
    other.send("x");
    EXPECT_EQ(port.WaitForInput(5s), wrInput);
    port.Close();
}

TEST_F(ComThreadTest, SmNoneDeliversOnTheEventThreadWithTheWaitingCount) {
    Recorder rec;
    port.SetEvents({evRxChar});
    port.SetSyncMethod(smNone);
    std::string received;
    port.OnRxChar = [&](TCustomComPort* sender, int count) {
        EXPECT_FALSE(MainThread::isMainThread());
        std::string part;
        sender->ReadStr(part, count);
        received += part; // only the event thread touches it until rec says so
        rec.add(std::to_string(count));
    };
    port.Open();
    pty.send("hello");
    ASSERT_TRUE(rec.waitFor(1));
    for (int i = 0; i < 50 &&
                    [&] {
                        std::size_t sum = 0;
                        for (auto& c : rec.seen())
                            sum += std::stoul(c);
                        return sum < 5;
                    }();
         ++i)
        rec.waitFor(rec.seen().size() + 1, 100ms);
    port.Close();
    EXPECT_EQ(received, "hello");
}

TEST_F(ComThreadTest, SmThreadSyncDeliversOnTheMainThread) {
    port.SetEvents({evRxChar, evRxFlag, evTxEmpty});
    port.SetEventChar('\r');
    std::string received;
    int flags = 0, txEmpty = 0;
    port.OnRxChar = [&](TCustomComPort* sender, int count) {
        EXPECT_TRUE(MainThread::isMainThread());
        std::string part;
        sender->ReadStr(part, count);
        received += part;
    };
    port.OnRxFlag = [&](TCustomComPort*) { ++flags; };
    port.OnTxEmpty = [&](TCustomComPort*) { ++txEmpty; };
    port.Open();
    pty.send("12 34\r");
    EXPECT_TRUE(mainThread.runUntil([&] { return received == "12 34\r" && flags > 0; }, 5s));
    port.WriteStr("ok");
    EXPECT_TRUE(mainThread.runUntil([&] { return txEmpty > 0; }, 5s));
    port.Close();
}

TEST_F(ComThreadTest, NoRxCharWhenTheBytesWereAlreadyRead) {
    port.SetEvents({evRxChar});
    int calls = 0;
    port.OnRxChar = [&](TCustomComPort*, int) { ++calls; };
    port.Open();
    pty.send("abc");
    std::this_thread::sleep_for(50ms); // the wake-up is handed over, not yet delivered
    std::string s;
    port.ReadStr(s, 10);
    EXPECT_EQ(s, "abc");
    mainThread.runFor(100ms);
    EXPECT_EQ(calls, 0);
    port.Close();
}

TEST_F(ComThreadTest, CloseDoesNotWaitForAHandOverTheMainThreadHasNotRun) {
    port.SetEvents({evRxChar});
    int calls = 0;
    port.OnRxChar = [&](TCustomComPort*, int) { ++calls; };
    port.Open();
    pty.send("abc");
    std::this_thread::sleep_for(50ms); // the event thread now waits for the main thread
    const auto start = std::chrono::steady_clock::now();
    port.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    mainThread.processPending();
    EXPECT_EQ(calls, 0) << "a hand-over of a closed port is dropped";
}

TEST_F(ComThreadTest, CloseFromAHandlerOnTheMainThread) {
    port.SetEvents({evRxChar, evRxFlag});
    port.SetEventChar('a');
    int rx = 0, flags = 0, closed = 0;
    port.OnRxChar = [&](TCustomComPort* sender, int) {
        ++rx;
        sender->Close();
    };
    port.OnRxFlag = [&](TCustomComPort*) { ++flags; };
    port.OnAfterClose = [&](TCustomComPort*) { ++closed; };
    port.Open();
    pty.send("abc");
    EXPECT_TRUE(mainThread.runUntil([&] { return closed > 0; }, 5s));
    mainThread.runFor(50ms);
    EXPECT_EQ(rx, 1);
    EXPECT_EQ(flags, 0) << "nothing is delivered after the port closed";
    EXPECT_FALSE(port.Connected());
    port.Open(); // and it opens again
    EXPECT_TRUE(port.ThreadCreated());
    port.Close();
}

TEST_F(ComThreadTest, CloseFromAHandlerOnTheEventThread) {
    port.SetEvents({evRxChar});
    port.SetSyncMethod(smNone);
    Recorder rec;
    port.OnRxChar = [&](TCustomComPort* sender, int) {
        sender->Close();
        rec.add("closed");
    };
    port.Open();
    pty.send("x");
    ASSERT_TRUE(rec.waitFor(1));
    EXPECT_FALSE(port.Connected());
    port.Open(); // joins the old thread, starts a new one
    EXPECT_TRUE(port.ThreadCreated());
    port.Close();
}

TEST_F(ComThreadTest, AFailingHandlerEndsTheEventThread) {
    port.SetEvents({evRxChar});
    port.SetSyncMethod(smNone);
    Recorder rec;
    port.OnRxChar = [&](TCustomComPort* sender, int count) {
        std::string s;
        sender->ReadStr(s, count);
        rec.add(s);
        throw std::runtime_error("handler fails");
    };
    port.Open();
    pty.send("1");
    ASSERT_TRUE(rec.waitFor(1));
    pty.send("2");
    EXPECT_FALSE(rec.waitFor(2, 200ms)) << "no further events until the port is opened again";
    EXPECT_EQ(port.InputCount(), 1);
    port.Close();
    port.Open();
    pty.send("3");
    EXPECT_TRUE(rec.waitFor(2));
    port.Close();
}

TEST_F(ComThreadTest, ModemLineChangesFromTheSimulator) {
    auto sim = std::make_shared<TComLineSimulator>();
    port.SetLineSimulator(sim);
    port.SetEvents({evDSR, evRing, evCTS});
    std::vector<std::string> seen;
    port.OnDSRChange = [&](TCustomComPort*, bool on) { seen.push_back(on ? "DSR 1" : "DSR 0"); };
    port.OnCTSChange = [&](TCustomComPort*, bool on) { seen.push_back(on ? "CTS 1" : "CTS 0"); };
    port.OnRing = [&](TCustomComPort*) { seen.push_back("Ring"); };
    port.Open();
    seen.clear();
    sim->SetSignals({csCTS, csRLSD}); // DSR drops
    EXPECT_TRUE(mainThread.runUntil([&] { return !seen.empty(); }, 5s));
    EXPECT_EQ(seen, std::vector<std::string>{"DSR 0"});
    seen.clear();
    sim->SetSignals({csCTS, csRLSD, csRing, csDSR});
    EXPECT_TRUE(mainThread.runUntil([&] { return seen.size() >= 2; }, 5s));
    EXPECT_EQ(seen, (std::vector<std::string>{"Ring", "DSR 1"})) << "ring comes before the lines";
    port.Close();
}

TEST_F(ComThreadTest, ADeviceThatGoesAwayStopsTheWatchWithoutSpinning) {
    port.SetEvents(AllComEvents);
    port.SetSyncMethod(smNone);
    Recorder rec;
    port.OnRxChar = [&](TCustomComPort* sender, int count) {
        std::string s;
        sender->ReadStr(s, count);
        rec.add(s);
    };
    std::atomic<int> lost{0};
    port.OnDeviceLost = [&](TCustomComPort*) { ++lost; };
    port.Open();
    pty.send("last");
    ASSERT_TRUE(rec.waitFor(1));
    pty.closeMaster();
    const double cpuBefore = cpuSeconds();
    std::this_thread::sleep_for(300ms);
    EXPECT_LT(cpuSeconds() - cpuBefore, 0.15) << "the event thread must sleep, not spin";
    EXPECT_EQ(lost.load(), 1) << "the owner hears of the loss once";
    const EComPort e = [&] {
        try {
            port.InputCount();
        } catch (const EComPort& e) {
            return e;
        }
        return EComPort(0);
    }();
    EXPECT_EQ(e.ErrorCode(), 10);
    EXPECT_EQ(e.WinCode(), EIO);
    port.Close();
}

TEST_F(ComThreadTest, WaitsEndAtAStopRequestAndWhenThePortCloses) {
    port.SetEvents({evRxChar});
    port.SetSyncMethod(smNone);
    port.Timeouts().SetReadInterval(0); // a read that waits without limit
    port.Open();

    TStopSignal stop;
    std::atomic<int> waitResult{-1};
    std::thread worker([&] { waitResult = port.WaitForInput(-1ms, &stop); });
    std::this_thread::sleep_for(20ms);
    stop.Signal();
    worker.join();
    EXPECT_EQ(waitResult.load(), wrStopped);

    std::atomic<int> readCode{0};
    port.OnBeforeClose = [&](TCustomComPort*) {}; // nothing stops the reader: Close aborts it
    std::thread reader([&] {
        char c;
        try {
            port.Read(&c, 1);
        } catch (const EComPort& e) {
            readCode = e.ErrorCode();
        }
    });
    std::this_thread::sleep_for(20ms);
    port.Close();
    reader.join();
    EXPECT_EQ(readCode.load(), 3);
}

TEST_F(ComThreadTest, InputArrivingWhileAnotherThreadWaitsIsSeen) {
    // The event thread moves bytes into the port's queue; a waiting worker still wakes.
    port.SetEvents({evRxChar});
    port.SetSyncMethod(smNone);
    port.Open();
    TStopSignal stop;
    std::atomic<int> waitResult{-1};
    std::thread worker([&] { waitResult = port.WaitForInput(5s, &stop); });
    std::this_thread::sleep_for(20ms);
    pty.send("z");
    worker.join();
    EXPECT_EQ(waitResult.load(), wrInput);
    EXPECT_EQ(port.InputCount(), 1);
    port.Close();
}

} // namespace
