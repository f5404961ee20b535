#include "SamCom.h"
#include "MachineBench.h"
#include "SamMachine.h"

namespace {

using SamBench = MachineBench<TSamCom, SamMachine>;

constexpr char ENQ = 0x05, ACK = 0x06;

TEST(SamCom, BlockBecomesOneTextWithSemicolonsForLineEndsAndIsAcknowledgedAfterIt) {
    SamBench bench;
    bench.machine([](SamMachine& m) {
        m.queueTelegram("A\rB");
        m.queueTelegram("");
    });
    bench.com.Open();
    ASSERT_TRUE(bench.runUntil([&] { return bench.data.size() == 2; }));
    EXPECT_EQ(bench.data[0], "A;B");
    EXPECT_EQ(bench.data[1], "");
    // Both blocks were acknowledged, so the machine counts them as delivered.
    ASSERT_TRUE(bench.waitSent(ACK, 2));
    EXPECT_EQ(bench.ask<std::size_t>([](SamMachine& m) { return m.delivered(); }), 2u);
    EXPECT_TRUE(bench.errors.empty());
    // The start byte went out first.
    EXPECT_EQ(static_cast<unsigned char>(bench.line->received().at(0)), 0xB2);
}

TEST(SamCom, MachineAnsweringNakRaisesNoEventsAndClosingSendsTheStopByte) {
    SamBench bench;
    bench.com.Open();
    ASSERT_TRUE(bench.waitSent(ENQ, 20));
    bench.main.runFor(50ms);
    EXPECT_TRUE(bench.data.empty());
    EXPECT_TRUE(bench.errors.empty());
    bench.com.Close();
    EXPECT_FALSE(bench.com.ReaderRunning());
    ASSERT_TRUE(
        bench.line->waitReceived([](const std::string& s) { return !s.empty() && s.back() == '\xB0'; }, 2s));
}

TEST(SamCom, SilentMachineRaisesErrorZeroOncePerEnquiryAndPollsOn) {
    SamBench bench;
    bench.machine([](SamMachine& m) { m.setSilent(true); });
    bench.com.Open();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(bench.runUntil([&] { return !bench.errors.empty(); }, 12s));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, 9s);
    EXPECT_EQ(bench.errors, std::vector<std::int32_t>{0});
    // The next enquiry follows at once (10 ms later).
    ASSERT_TRUE(bench.waitSent(ENQ, 2, 1s));
    EXPECT_EQ(bench.sent(ENQ), 2u);
}

TEST(SamCom, ClosingInsideABlockReturnsPromptlyAndDropsTheHalfBlock) {
    SamBench bench;
    bench.machine([](SamMachine& m) {
        m.queueTelegram(std::string(200, 'Z'));
        m.cutNextBlock();
    });
    bench.com.Open();
    ASSERT_TRUE(bench.waitSent(ENQ, 1));
    bench.main.runFor(200ms); // the reader is inside the block now, waiting for the rest
    const auto start = std::chrono::steady_clock::now();
    bench.com.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    bench.main.runFor(100ms);
    EXPECT_TRUE(bench.data.empty());
    EXPECT_EQ(bench.sent(ACK), 0u);
}

TEST(SamCom, BlockWithoutEndIsDiscardedAfter64KiBAndTheNextSeriesIsRead) {
    SamBench bench;
    bench.machine([](SamMachine& m) {
        m.endlessNextBlock(70000);
        m.queueTelegram("A\rB");
    });
    bench.com.Open();
    ASSERT_TRUE(bench.runUntil([&] { return !bench.data.empty(); }, 20s));
    EXPECT_EQ(bench.data, std::vector<std::string>{"A;B"});
}

TEST(SamCom, GarbageOnTheLineIsSkipped) {
    SamBench bench;
    bench.com.Open();
    ASSERT_TRUE(bench.waitSent(ENQ, 1));
    bench.line->post([](SimMachine&, SimWriter& out) {
        std::string garbage;
        for (int i = 0; i < 3000; ++i)
            garbage += static_cast<char>((i * 37 + 11) & 0xFF);
        out.send(garbage);
    });
    bench.machine([](SamMachine& m) { m.queueTelegram("OK"); });
    ASSERT_TRUE(bench.runUntil([&] { return !bench.data.empty() && bench.data.back() == "OK"; }, 20s));
}

TEST(SamCom, PulledAdapterIsReportedOnceAndTheReaderEnds) {
    SamBench bench;
    bench.com.Open();
    ASSERT_TRUE(bench.waitSent(ENQ, 1));
    bench.line->hangUp();
    ASSERT_TRUE(bench.runUntil([&] { return !bench.errors.empty(); }));
    bench.main.runFor(200ms);
    EXPECT_EQ(bench.errors, std::vector<std::int32_t>{0});
    bench.com.Close();
    EXPECT_FALSE(bench.com.Connected());
}

TEST(SamCom, OpeningTwiceStartsOneReader) {
    SamBench bench;
    bench.com.Open();
    bench.com.Open();
    bench.com.SetConnected(true);
    ASSERT_TRUE(bench.waitSent(ENQ, 3));
    bench.com.Close();
    const std::string bytes = bench.line->received();
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\xB2'), 1);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\xB0'), 1);
}

TEST(SamCom, TestAcceptsNakAndAckButNotABlockWaiting) {
    SamBench bench;
    EXPECT_TRUE(bench.com.Test());
    bench.machine([](SamMachine& m) { m.setIdleReply(ACK); });
    EXPECT_TRUE(bench.com.Test());
    bench.machine([](SamMachine& m) { m.queueTelegram("A"); });
    EXPECT_FALSE(bench.com.Test());
    bench.machine([](SamMachine& m) { m.setSilent(true); });
    EXPECT_FALSE(bench.com.Test());
    EXPECT_FALSE(bench.com.Connected());
    EXPECT_FALSE(bench.com.ReaderRunning());
    bench.main.runFor(50ms);
    EXPECT_TRUE(bench.data.empty());
    EXPECT_TRUE(bench.errors.empty());
    EXPECT_EQ(bench.line->received().substr(0, 2), std::string("\xB2\x05"));
    EXPECT_EQ(bench.line->received().back(), '\xB0');
}

TEST(SamCom, TestClosesAnOpenPortAndPutsTheHooksBack) {
    SamBench bench;
    bench.com.Open();
    ASSERT_TRUE(bench.waitSent(ENQ, 1));
    EXPECT_TRUE(bench.com.Test());
    EXPECT_FALSE(bench.com.Connected());
    EXPECT_FALSE(bench.com.ReaderRunning());
    // The open handling is back: opening starts the reader again.
    bench.com.Open();
    EXPECT_TRUE(bench.com.ReaderRunning());
}

TEST(SamCom, TestOnAMissingPortRaisesAndLeavesTheComponentUsable) {
    SamBench bench;
    const std::string port = bench.com.Port();
    bench.com.SetPort("/dev/trefflux-no-such-port");
    try {
        bench.com.Test();
        FAIL() << "no exception";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), 1);
    }
    EXPECT_FALSE(bench.com.Connected());
    bench.com.SetPort(port);
    bench.com.SetConnected(true);
    EXPECT_TRUE(bench.com.ReaderRunning());
    EXPECT_TRUE(bench.waitSent(ENQ, 1));
}

TEST(SamCom, DestroyedComponentDropsDataStillOnItsWay) {
    PlainMainThread main;
    std::string error;
    auto line = SimLine::openPty(std::make_unique<SamMachine>(), error);
    ASSERT_TRUE(line);
    line->start();
    int calls = 0;
    {
        TSamCom com;
        com.SetPort(line->portName());
        com.OnData = [&](TCustomComPort*, std::string) { ++calls; };
        line->call([](SimMachine& m, SimWriter&) { static_cast<SamMachine&>(m).queueTelegram("A"); });
        com.Open();
        ASSERT_TRUE(
            line->waitReceived([](const std::string& s) { return s.find('\x06') != std::string::npos; }, 5s));
    }
    EXPECT_EQ(main.processPending(), 1); // the posted block, dropped
    EXPECT_EQ(calls, 0);
    line->stop();
}

} // namespace
