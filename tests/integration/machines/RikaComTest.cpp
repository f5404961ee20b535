#include "RikaCom.h"
#include "MachineBench.h"
#include "RikaMachine.h"

namespace {

using RikaBench = MachineBench<TRikaCom, RikaMachine>;

constexpr char SYN = 0x16, FF = 0x0C, ESC = 0x1B;

std::string framed(const std::string& command) {
    return std::string(1, ESC) + command + "\r";
}

TEST(RikaCom, OpeningSendsTheFiveSettingsOnePerPollCycleAfterTheVersion) {
    RikaBench bench;
    bench.com.Einstellungen().SetZehntelwertung(zwZRT); // closed: stored only
    bench.com.Open();
    ASSERT_TRUE(bench.waitSent(SYN, 6));
    bench.com.Close();
    const std::string expected = "\xD3" + framed("S010") + SYN + framed("T0000") + SYN + framed("F01") + SYN +
                                 framed("U1") + SYN + framed("Z3") + SYN + SYN;
    EXPECT_EQ(bench.line->received().substr(0, expected.size()), expected);
    EXPECT_EQ(bench.line->received().back(), '\xD0');
    EXPECT_TRUE(bench.errors.empty());
}

TEST(RikaCom, SettingsOutsideTheirRangeAreIgnoredAndOthersGoOutAtOnce) {
    RikaBench bench;
    bench.com.Open();
    auto commands = [&] {
        return bench.ask<std::vector<std::string>>([](RikaMachine& m) { return m.commands(); });
    };
    auto sentBeforePoll = [&](const std::string& command) {
        return bench.line->waitReceived(
            [&](const std::string& s) { return s.find(framed(command) + SYN) != std::string::npos; }, 5s);
    };
    ASSERT_TRUE(sentBeforePoll("Z0"));

    TRikaConfig& config = bench.com.Einstellungen();
    config.SetSerie(201);
    config.SetSerie(-1);
    config.SetSerie(200);
    config.SetTeiler(6501);
    config.SetTeiler(6500);
    config.SetTeilerfaktor(0);
    config.SetTeilerfaktor(100);
    config.SetTeilerfaktor(99);
    config.SetSchuss(sz5);
    config.SetSerie(200); // the same value again goes out again
    bench.com.SendString("S005\r");
    const std::vector<std::string> expected = {"S010",  "T0000", "F01", "U1",   "Z0",  "S200",
                                               "T6500", "F99",   "U5",  "S200", "S005"};
    ASSERT_TRUE(sentBeforePoll("S005"));
    EXPECT_EQ(commands(), expected);
    EXPECT_EQ(config.Serie(), 200);
    EXPECT_EQ(config.Teiler(), 6500);
    EXPECT_EQ(config.Teilerfaktor(), 99);
    // A text that ends with CR got no second one.
    EXPECT_EQ(bench.line->received().find("S005\r\r"), std::string::npos);
}

TEST(RikaCom, BlockBecomesOneTextAndIsConfirmedWithFormFeed) {
    RikaBench bench;
    bench.machine([](RikaMachine& m) {
        m.queueTelegram("A\rB");
        m.queueTelegram("");
    });
    bench.com.Open();
    ASSERT_TRUE(bench.runUntil([&] { return bench.data.size() == 2; }));
    EXPECT_EQ(bench.data, (std::vector<std::string>{"A;B", ""}));
    ASSERT_TRUE(bench.waitSent(FF, 2));
    EXPECT_EQ(bench.ask<std::size_t>([](RikaMachine& m) { return m.delivered(); }), 2u);
}

TEST(RikaCom, SilentMachineRaisesOneErrorAtStartAndThenPollsWithoutFurtherErrors) {
    RikaBench bench;
    bench.machine([](RikaMachine& m) { m.setSilent(true); });
    bench.com.Open();
    ASSERT_TRUE(bench.runUntil([&] { return !bench.errors.empty(); }, 12s));
    EXPECT_EQ(bench.errors, std::vector<std::int32_t>{0});
    // The reader goes on with its first cycle and waits for the reply to the first command;
    // a stop ends that wait at once.
    ASSERT_TRUE(bench.line->waitReceived(
        [](const std::string& s) { return s.find(framed("S010")) != std::string::npos; }, 1s));
    const auto start = std::chrono::steady_clock::now();
    bench.com.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    bench.main.runFor(50ms);
    EXPECT_EQ(bench.errors.size(), 1u);
}

TEST(RikaCom, ClosingInsideABlockReturnsPromptlyAndDropsTheHalfBlock) {
    RikaBench bench;
    bench.machine([](RikaMachine& m) {
        m.queueTelegram(std::string(200, 'Z'));
        m.cutNextBlock();
    });
    bench.com.Open();
    ASSERT_TRUE(bench.waitSent(SYN, 1));
    bench.main.runFor(200ms);
    const auto start = std::chrono::steady_clock::now();
    bench.com.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    bench.main.runFor(100ms);
    EXPECT_TRUE(bench.data.empty());
    EXPECT_EQ(bench.sent(FF), 0u);
}

TEST(RikaCom, BlockWithoutEndIsDiscardedAfter64KiB) {
    RikaBench bench;
    bench.machine([](RikaMachine& m) {
        m.endlessNextBlock(70000);
        m.queueTelegram("A\rB");
    });
    bench.com.Open();
    ASSERT_TRUE(bench.runUntil([&] { return !bench.data.empty(); }, 20s));
    EXPECT_EQ(bench.data, std::vector<std::string>{"A;B"});
}

TEST(RikaCom, TestReturnsTheVersionTextAndAcceptsABlockWaiting) {
    RikaBench bench;
    std::string version;
    EXPECT_TRUE(bench.com.Test(version));
    EXPECT_EQ(version, "0150");
    bench.machine([](RikaMachine& m) { m.queueTelegram("A"); });
    EXPECT_TRUE(bench.com.Test(version));
    bench.machine([](RikaMachine& m) {
        m.setSilent(true);
        m.setVersion("0999");
    });
    EXPECT_FALSE(bench.com.Test(version));
    EXPECT_EQ(version, "");
    EXPECT_FALSE(bench.com.Connected());
    bench.main.runFor(50ms);
    EXPECT_TRUE(bench.data.empty());
    EXPECT_TRUE(bench.errors.empty());
    // The hooks are back.
    bench.machine([](RikaMachine& m) { m.setSilent(false); });
    bench.com.Open();
    EXPECT_TRUE(bench.com.ReaderRunning());
}

TEST(RikaCom, TestOnAMissingPortRaisesAndPutsTheHooksBack) {
    RikaBench bench;
    const std::string port = bench.com.Port();
    bench.com.SetPort("/dev/trefflux-no-such-port");
    EXPECT_THROW(bench.com.Test(), EComPort);
    bench.com.SetPort(port);
    bench.com.SetConnected(true);
    EXPECT_TRUE(bench.com.ReaderRunning());
}

TEST(RikaCom, PulledAdapterIsReportedOnce) {
    RikaBench bench;
    bench.com.Open();
    ASSERT_TRUE(bench.waitSent(SYN, 2));
    bench.line->hangUp();
    ASSERT_TRUE(bench.runUntil([&] { return !bench.errors.empty(); }));
    bench.main.runFor(200ms);
    EXPECT_EQ(bench.errors, std::vector<std::int32_t>{0});
}

} // namespace
