#include "SamCom.h"
#include "MachineRig.h"
#include "SamMachine.h"

namespace {

using SamRig = MachineRig<TSamCom, SamMachine>;

constexpr char ENQ = 0x05, ACK = 0x06, NAK = 0x15;

TEST(SamCom, BlockBecomesOneTextWithSemicolonsForLineEndsAndIsAcknowledgedAfterIt) {
    SamRig rig;
    rig.machine([](SamMachine& m) {
        m.queueTelegram("A\rB");
        m.queueTelegram("");
    });
    rig.com.Open();
    ASSERT_TRUE(rig.runUntil([&] { return rig.data.size() == 2; }));
    EXPECT_EQ(rig.data[0], "A;B");
    EXPECT_EQ(rig.data[1], "");
    // Both blocks were acknowledged, so the machine counts them as delivered.
    ASSERT_TRUE(rig.waitSent(ACK, 2));
    EXPECT_EQ(rig.ask<std::size_t>([](SamMachine& m) { return m.delivered(); }), 2u);
    EXPECT_TRUE(rig.errors.empty());
    // The start byte went out first.
    EXPECT_EQ(static_cast<unsigned char>(rig.line->received().at(0)), 0xB2);
}

TEST(SamCom, MachineAnsweringNakRaisesNoEventsAndClosingSendsTheStopByte) {
    SamRig rig;
    rig.com.Open();
    ASSERT_TRUE(rig.waitSent(ENQ, 20));
    rig.main.runFor(50ms);
    EXPECT_TRUE(rig.data.empty());
    EXPECT_TRUE(rig.errors.empty());
    rig.com.Close();
    EXPECT_FALSE(rig.com.ReaderRunning());
    ASSERT_TRUE(
        rig.line->waitReceived([](const std::string& s) { return !s.empty() && s.back() == '\xB0'; }, 2s));
}

TEST(SamCom, SilentMachineRaisesErrorZeroOncePerEnquiryAndPollsOn) {
    SamRig rig;
    rig.machine([](SamMachine& m) { m.setSilent(true); });
    rig.com.Open();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(rig.runUntil([&] { return !rig.errors.empty(); }, 12s));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, 9s);
    EXPECT_EQ(rig.errors, std::vector<std::int32_t>{0});
    // The next enquiry follows at once (10 ms later).
    ASSERT_TRUE(rig.waitSent(ENQ, 2, 1s));
    EXPECT_EQ(rig.sent(ENQ), 2u);
}

TEST(SamCom, ClosingInsideABlockReturnsPromptlyAndDropsTheHalfBlock) {
    SamRig rig;
    rig.machine([](SamMachine& m) {
        m.queueTelegram(std::string(200, 'Z'));
        m.cutNextBlock();
    });
    rig.com.Open();
    ASSERT_TRUE(rig.waitSent(ENQ, 1));
    rig.main.runFor(200ms); // the reader is inside the block now, waiting for the rest
    const auto start = std::chrono::steady_clock::now();
    rig.com.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    rig.main.runFor(100ms);
    EXPECT_TRUE(rig.data.empty());
    EXPECT_EQ(rig.sent(ACK), 0u);
}

TEST(SamCom, BlockWithoutEndIsDiscardedAfter64KiBAndTheNextSeriesIsRead) {
    SamRig rig;
    rig.machine([](SamMachine& m) {
        m.endlessNextBlock(70000);
        m.queueTelegram("A\rB");
    });
    rig.com.Open();
    ASSERT_TRUE(rig.runUntil([&] { return !rig.data.empty(); }, 20s));
    EXPECT_EQ(rig.data, std::vector<std::string>{"A;B"});
}

TEST(SamCom, GarbageOnTheLineIsSkipped) {
    SamRig rig;
    rig.com.Open();
    ASSERT_TRUE(rig.waitSent(ENQ, 1));
    rig.line->post([](SimMachine&, SimWriter& out) {
        std::string garbage;
        for (int i = 0; i < 3000; ++i)
            garbage += static_cast<char>((i * 37 + 11) & 0xFF);
        out.send(garbage);
    });
    rig.machine([](SamMachine& m) { m.queueTelegram("OK"); });
    ASSERT_TRUE(rig.runUntil([&] { return !rig.data.empty() && rig.data.back() == "OK"; }, 20s));
}

TEST(SamCom, PulledAdapterIsReportedOnceAndTheReaderEnds) {
    SamRig rig;
    rig.com.Open();
    ASSERT_TRUE(rig.waitSent(ENQ, 1));
    rig.line->hangUp();
    ASSERT_TRUE(rig.runUntil([&] { return !rig.errors.empty(); }));
    rig.main.runFor(200ms);
    EXPECT_EQ(rig.errors, std::vector<std::int32_t>{0});
    rig.com.Close();
    EXPECT_FALSE(rig.com.Connected());
}

TEST(SamCom, OpeningTwiceStartsOneReader) {
    SamRig rig;
    rig.com.Open();
    rig.com.Open();
    rig.com.SetConnected(true);
    ASSERT_TRUE(rig.waitSent(ENQ, 3));
    rig.com.Close();
    const std::string bytes = rig.line->received();
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\xB2'), 1);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\xB0'), 1);
}

// A SAM with a series waiting answers the test's enquiry with its whole block: that is a SAM,
// and the block is refused with NAK, so that it stays with the machine and arrives once the
// reader polls. A bare STX (what a Disag answers) and a block with a wrong check byte are not.
TEST(SamCom, TestAcceptsNakAckAndAWholeWaitingBlockButNotABareStx) {
    SamRig rig;
    EXPECT_TRUE(rig.com.Test());
    rig.machine([](SamMachine& m) { m.setIdleReply(ACK); });
    EXPECT_TRUE(rig.com.Test());
    rig.machine([](SamMachine& m) { m.setIdleReply(0x02); });
    EXPECT_FALSE(rig.com.Test());
    rig.machine([](SamMachine& m) {
        m.setIdleReply(NAK);
        m.damageNextChecks(1);
        m.queueTelegram(std::string(250, 'A')); // about a block of ten shots
    });
    EXPECT_FALSE(rig.com.Test());
    EXPECT_TRUE(rig.com.Test());
    EXPECT_EQ(rig.sent(NAK), 1u);
    rig.machine([](SamMachine& m) { m.setSilent(true); });
    EXPECT_FALSE(rig.com.Test());
    EXPECT_FALSE(rig.com.Connected());
    EXPECT_FALSE(rig.com.ReaderRunning());
    rig.main.runFor(50ms);
    EXPECT_TRUE(rig.data.empty());
    EXPECT_TRUE(rig.errors.empty());
    EXPECT_EQ(rig.line->received().substr(0, 2), std::string("\xB2\x05"));
    EXPECT_EQ(rig.line->received().back(), '\xB0');
    EXPECT_EQ(rig.ask<std::size_t>([](SamMachine& m) { return m.delivered(); }), 0u);

    rig.machine([](SamMachine& m) { m.setSilent(false); });
    rig.com.Open();
    ASSERT_TRUE(rig.runUntilData(1));
    rig.main.runFor(500ms);
    EXPECT_EQ(rig.data, std::vector<std::string>{std::string(250, 'A')});
    EXPECT_EQ(rig.ask<std::size_t>([](SamMachine& m) { return m.delivered(); }), 1u);
}

TEST(SamCom, TestClosesAnOpenPortAndPutsTheHooksBack) {
    SamRig rig;
    rig.com.Open();
    ASSERT_TRUE(rig.waitSent(ENQ, 1));
    EXPECT_TRUE(rig.com.Test());
    EXPECT_FALSE(rig.com.Connected());
    EXPECT_FALSE(rig.com.ReaderRunning());
    // The open handling is back: opening starts the reader again.
    rig.com.Open();
    EXPECT_TRUE(rig.com.ReaderRunning());
}

TEST(SamCom, TestOnAMissingPortRaisesAndLeavesTheComponentUsable) {
    SamRig rig;
    const std::string port = rig.com.Port();
    rig.com.SetPort("/dev/trefflux-no-such-port");
    try {
        rig.com.Test();
        FAIL() << "no exception";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), 1);
    }
    EXPECT_FALSE(rig.com.Connected());
    rig.com.SetPort(port);
    rig.com.SetConnected(true);
    EXPECT_TRUE(rig.com.ReaderRunning());
    EXPECT_TRUE(rig.waitSent(ENQ, 1));
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
