#include "MachineComponent.h"

#include "PlainMainThread.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

using namespace std::chrono_literals;

namespace {

// A component without a machine: the test plays its worker.
class TFakeMachine : public TMachineComponent {
public:
    TFakeMachine() { ApplyMachineLineSettings(br9600, false, TComEvents{}, smThreadSync); }
    ~TFakeMachine() override { Shutdown(); }
    bool Test() override {
        Close();
        TTestGuard guard(*this, true);
        Open();
        return true;
    }
    using TMachineComponent::PostData;
    using TMachineComponent::PostEdit;
    using TMachineComponent::PostError;
    int edits = 0;

protected:
    void OnAfterOpenEvent(TCustomComPort*) override {}
    void OnBeforeCloseEvent(TCustomComPort*) override {}
    void ProcessEdit() override { ++edits; }
};

TEST(MachineComponent, EventsArriveOnTheMainThreadInPostingOrder) {
    PlainMainThread main;
    TFakeMachine com;
    std::vector<std::string> events;
    std::thread::id handlerThread;
    com.OnData = [&](TCustomComPort* sender, std::string data) {
        EXPECT_EQ(sender, &com);
        handlerThread = std::this_thread::get_id();
        events.push_back("D:" + data);
    };
    com.OnError = [&](TCustomComPort*, std::int32_t code) { events.push_back("E:" + std::to_string(code)); };
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) {
            com.PostData(std::to_string(i));
            if (i % 10 == 0)
                com.PostError(0);
        }
        com.PostEdit();
    });
    worker.join();
    EXPECT_TRUE(events.empty()); // nothing runs on the worker
    main.processPending();
    EXPECT_EQ(handlerThread, std::this_thread::get_id());
    std::vector<std::string> expected;
    for (int i = 0; i < 50; ++i) {
        expected.push_back("D:" + std::to_string(i));
        if (i % 10 == 0)
            expected.push_back("E:0");
    }
    EXPECT_EQ(events, expected);
    EXPECT_EQ(com.edits, 1);
}

TEST(MachineComponent, DataWithoutHandlerIsConsumedAndPostsForAGoneComponentAreDropped) {
    PlainMainThread main;
    int calls = 0;
    {
        TFakeMachine com;
        com.PostData("ohne Handler");
        EXPECT_EQ(main.processPending(), 1);
        com.OnData = [&](TCustomComPort*, std::string) { ++calls; };
        com.OnError = [&](TCustomComPort*, std::int32_t) { ++calls; };
        com.PostData("zu spaet");
        com.PostError(0);
        com.PostEdit();
    }
    EXPECT_EQ(main.processPending(), 3);
    EXPECT_EQ(calls, 0);
}

TEST(MachineComponent, TestGuardPutsEveryHookBackWhenOpeningRaises) {
    TFakeMachine com;
    int rxCalls = 0;
    com.OnRxChar = [&](TCustomComPort*, int) { ++rxCalls; };
    com.SetPort("/dev/trefflux-no-such-port");
    EXPECT_THROW(com.Test(), EComPort);
    EXPECT_TRUE(com.OnAfterOpen);
    EXPECT_TRUE(com.OnBeforeClose);
    EXPECT_TRUE(com.OnRxChar);
    EXPECT_FALSE(com.Connected());
    com.OnRxChar(&com, 1);
    EXPECT_EQ(rxCalls, 1);
}

TEST(MachineComponent, LineSettingsAreTheMachineDefaults) {
    TFakeMachine com;
    EXPECT_EQ(com.BaudRate(), br9600);
    EXPECT_EQ(com.DataBits(), dbEight);
    EXPECT_EQ(com.StopBits(), sbOneStopBit);
    EXPECT_EQ(com.Parity().Bits(), prNone);
    EXPECT_TRUE(com.Events().empty());
    EXPECT_EQ(com.FlowControl().ControlDTR(), dtrEnable);
    EXPECT_EQ(com.FlowControl().ControlRTS(), rtsEnable);
    EXPECT_TRUE(com.FlowControl().TxContinueOnXoff());
    EXPECT_FALSE(com.FlowControl().OutCTSFlow());
    EXPECT_FALSE(com.FlowControl().XonXoffIn());
}

TEST(MachineCommandQueue, TakesInOrderAndAWaitEndsOnAPostOrAStop) {
    TMachineCommandQueue queue;
    EXPECT_FALSE(queue.TryTake());
    EXPECT_FALSE(queue.WaitTake(10ms));
    queue.Post("a");
    queue.Post("b");
    EXPECT_EQ(queue.TryTake(), "a");
    EXPECT_EQ(queue.WaitTake(0ms), "b");

    std::thread poster([&] {
        std::this_thread::sleep_for(20ms);
        queue.Post("c");
    });
    EXPECT_EQ(queue.WaitTake(-1ms), "c");
    poster.join();

    std::thread stopper([&] {
        std::this_thread::sleep_for(20ms);
        queue.Stop();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(queue.WaitTake(10s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    stopper.join();
    EXPECT_TRUE(queue.Stopped());
}

class TSleeper final : public TMachineThread {
public:
    explicit TSleeper(bool fail) : m_fail(fail) {}
    ~TSleeper() override { Stop(); }
    std::atomic<bool> sleptFully{true};
    std::atomic<int> failures{0};

protected:
    void Execute() override {
        if (m_fail)
            throw std::runtime_error("port gone");
        sleptFully = Sleep(10s);
    }
    void Failed() override { ++failures; }

private:
    bool m_fail;
};

TEST(MachineThread, StopEndsASleepAtOnceAndAFailureIsReportedOnce) {
    TSleeper sleeper(false);
    sleeper.Start();
    std::this_thread::sleep_for(20ms);
    const auto start = std::chrono::steady_clock::now();
    sleeper.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_FALSE(sleeper.sleptFully);
    EXPECT_TRUE(sleeper.Terminated());

    TSleeper failing(true);
    failing.Start();
    failing.WaitFor();
    EXPECT_EQ(failing.failures, 1);
}

} // namespace
