#include "RikaCom.h"
#include "MachineRig.h"
#include "RikaMachine.h"

namespace {

using RikaRig = MachineRig<TRikaCom, RikaMachine>;

constexpr char SYN = 0x16, FF = 0x0C, ESC = 0x1B;

std::string framed(const std::string& command) {
    return std::string(1, ESC) + command + "\r";
}

TEST(RikaCom, OpeningSendsTheFiveSettingsOnePerPollCycleAfterTheVersion) {
    RikaRig rig;
    rig.com.Einstellungen().SetZehntelwertung(zwZRT); // closed: stored only
    rig.com.Open();
    ASSERT_TRUE(rig.waitSent(SYN, 6));
    rig.com.Close();
    const std::string expected = "\xD3" + framed("S010") + SYN + framed("T0000") + SYN + framed("F01") + SYN +
                                 framed("U1") + SYN + framed("Z3") + SYN + SYN;
    EXPECT_EQ(rig.line->received().substr(0, expected.size()), expected);
    EXPECT_EQ(rig.line->received().back(), '\xD0');
    EXPECT_TRUE(rig.errors.empty());
}

TEST(RikaCom, SettingsOutsideTheirRangeAreIgnoredAndOthersGoOutAtOnce) {
    RikaRig rig;
    rig.com.Open();
    auto commands = [&] {
        return rig.ask<std::vector<std::string>>([](RikaMachine& m) { return m.commands(); });
    };
    auto sentBeforePoll = [&](const std::string& command) {
        return rig.line->waitReceived(
            [&](const std::string& s) { return s.find(framed(command) + SYN) != std::string::npos; }, 5s);
    };
    ASSERT_TRUE(sentBeforePoll("Z0"));

    TRikaEinstellungen& config = rig.com.Einstellungen();
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
    rig.com.SendString("S005\r");
    const std::vector<std::string> expected = {"S010",  "T0000", "F01", "U1",   "Z0",  "S200",
                                               "T6500", "F99",   "U5",  "S200", "S005"};
    ASSERT_TRUE(sentBeforePoll("S005"));
    EXPECT_EQ(commands(), expected);
    EXPECT_EQ(config.Serie(), 200);
    EXPECT_EQ(config.Teiler(), 6500);
    EXPECT_EQ(config.Teilerfaktor(), 99);
    // A text that ends with CR got no second one.
    EXPECT_EQ(rig.line->received().find("S005\r\r"), std::string::npos);
}

TEST(RikaCom, BlockBecomesOneTextAndIsConfirmedWithFormFeed) {
    RikaRig rig;
    rig.machine([](RikaMachine& m) {
        m.queueTelegram("A\rB");
        m.queueTelegram("");
    });
    rig.com.Open();
    ASSERT_TRUE(rig.runUntil([&] { return rig.data.size() == 2; }));
    EXPECT_EQ(rig.data, (std::vector<std::string>{"A;B", ""}));
    ASSERT_TRUE(rig.waitSent(FF, 2));
    EXPECT_EQ(rig.ask<std::size_t>([](RikaMachine& m) { return m.delivered(); }), 2u);
}

TEST(RikaCom, SilentMachineRaisesOneErrorAtStartAndThenPollsWithoutFurtherErrors) {
    RikaRig rig;
    rig.machine([](RikaMachine& m) { m.setSilent(true); });
    rig.com.Open();
    ASSERT_TRUE(rig.runUntil([&] { return !rig.errors.empty(); }, 12s));
    EXPECT_EQ(rig.errors, std::vector<std::int32_t>{0});
    // The reader goes on with its first cycle and waits for the reply to the first command;
    // a stop ends that wait at once.
    ASSERT_TRUE(rig.line->waitReceived(
        [](const std::string& s) { return s.find(framed("S010")) != std::string::npos; }, 1s));
    const auto start = std::chrono::steady_clock::now();
    rig.com.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    rig.main.runFor(50ms);
    EXPECT_EQ(rig.errors.size(), 1u);
}

TEST(RikaCom, ClosingInsideABlockReturnsPromptlyAndDropsTheHalfBlock) {
    RikaRig rig;
    rig.machine([](RikaMachine& m) {
        m.queueTelegram(std::string(200, 'Z'));
        m.cutNextBlock();
    });
    rig.com.Open();
    ASSERT_TRUE(rig.waitSent(SYN, 1));
    rig.main.runFor(200ms);
    const auto start = std::chrono::steady_clock::now();
    rig.com.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    rig.main.runFor(100ms);
    EXPECT_TRUE(rig.data.empty());
    EXPECT_EQ(rig.sent(FF), 0u);
}

TEST(RikaCom, BlockWithoutEndIsDiscardedAfter64KiB) {
    RikaRig rig;
    rig.machine([](RikaMachine& m) {
        m.endlessNextBlock(70000);
        m.queueTelegram("A\rB");
    });
    rig.com.Open();
    ASSERT_TRUE(rig.runUntil([&] { return !rig.data.empty(); }, 20s));
    EXPECT_EQ(rig.data, std::vector<std::string>{"A;B"});
}

TEST(RikaCom, TestReturnsTheVersionTextAndAcceptsABlockWaiting) {
    RikaRig rig;
    std::string version;
    EXPECT_TRUE(rig.com.Test(version));
    EXPECT_EQ(version, "0150");
    rig.machine([](RikaMachine& m) { m.queueTelegram("A"); });
    EXPECT_TRUE(rig.com.Test(version));
    rig.machine([](RikaMachine& m) {
        m.setSilent(true);
        m.setVersion("0999");
    });
    EXPECT_FALSE(rig.com.Test(version));
    EXPECT_EQ(version, "");
    EXPECT_FALSE(rig.com.Connected());
    rig.main.runFor(50ms);
    EXPECT_TRUE(rig.data.empty());
    EXPECT_TRUE(rig.errors.empty());
    // The hooks are back.
    rig.machine([](RikaMachine& m) { m.setSilent(false); });
    rig.com.Open();
    EXPECT_TRUE(rig.com.ReaderRunning());
}

TEST(RikaCom, TestOnAMissingPortRaisesAndPutsTheHooksBack) {
    RikaRig rig;
    const std::string port = rig.com.Port();
    rig.com.SetPort("/dev/trefflux-no-such-port");
    EXPECT_THROW(rig.com.Test(), EComPort);
    rig.com.SetPort(port);
    rig.com.SetConnected(true);
    EXPECT_TRUE(rig.com.ReaderRunning());
}

TEST(RikaCom, PulledAdapterIsReportedOnce) {
    RikaRig rig;
    rig.com.Open();
    ASSERT_TRUE(rig.waitSent(SYN, 2));
    rig.line->hangUp();
    ASSERT_TRUE(rig.runUntil([&] { return !rig.errors.empty(); }));
    rig.main.runFor(200ms);
    EXPECT_EQ(rig.errors, std::vector<std::int32_t>{0});
}

} // namespace
