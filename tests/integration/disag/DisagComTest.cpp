#include "DisagCom.h"

#include "DisagMachine.h"
#include "MachineRig.h"

#include <thread>
#include <utility>

namespace {

using Rig = MachineRig<TDisagCom, DisagMachine>;

constexpr char ENQ = 0x05, ACK = 0x06, NAK = 0x15;
const std::string kStandard = TDisagEinstellstring().BuildString();

std::string frame(const std::string& text) {
    return text + static_cast<char>(DisagMachine::checkChar(text)) + '\r';
}

std::vector<std::string> commands(Rig& b) {
    return b.machine<std::vector<std::string>>([](DisagMachine& m, SimWriter&) { return m.commands(); });
}

void send(Rig& b, std::vector<std::string> lines) {
    b.machine([&](DisagMachine& m, SimWriter& out) { m.sendLines(lines, out); });
}

void sendRaw(Rig& b, const std::string& bytes) {
    b.machine([&](DisagMachine& m, SimWriter& out) { m.sendRaw(bytes, out); });
}

// Waits until the machine has taken n commands (each ends with CR on the wire).
bool waitCommands(Rig& b, std::size_t n, std::chrono::milliseconds limit = 10s) {
    return b.waitSent([n](const std::string& s) { return std::count(s.begin(), s.end(), '\r') >= long(n); },
                      limit);
}

bool waitAcks(Rig& b, std::size_t n) {
    return b.waitSent([n](const std::string& s) { return std::count(s.begin(), s.end(), ACK) >= long(n); },
                      5s);
}

TEST(DisagCom, SettingsAtOpeningAndAgainForEveryWseLinesInOrder) {
    Rig b;
    b.com.Open();
    ASSERT_TRUE(waitCommands(b, 1));
    EXPECT_EQ(commands(b), std::vector<std::string>{kStandard});

    send(b, {"STA", "SCH=1;10.4;123.4;90.0;G", "WSE"});
    ASSERT_TRUE(b.runUntilData(3));
    EXPECT_EQ(b.data, (std::vector<std::string>{"STA", "SCH=1;10.4;123.4;90.0;G", "WSE"}));
    ASSERT_TRUE(waitCommands(b, 2));
    EXPECT_EQ(commands(b), (std::vector<std::string>{kStandard, kStandard}));
    EXPECT_EQ(b.com.EditList(), (std::vector<TDisagEditShot>{{1, "10.4", "123.4", 'U'}}));

    // A setting changed while open goes out at once; the next "STA" forgets the shots.
    b.com.Einstellstring().SetScheibentext("Verein");
    ASSERT_TRUE(waitCommands(b, 3));
    EXPECT_NE(commands(b).back().find(";DRT=Verein"), std::string::npos);
    send(b, {"STA"});
    ASSERT_TRUE(b.runUntilData(4));
    EXPECT_TRUE(b.com.EditList().empty());

    ASSERT_TRUE(waitAcks(b, 4));
    EXPECT_EQ(b.machine<std::size_t>([](DisagMachine& m, SimWriter&) { return m.acknowledgedLines(); }), 4u);
    EXPECT_EQ(b.machine<std::size_t>([](DisagMachine& m, SimWriter&) { return m.unexpectedAcks(); }), 0u);
    EXPECT_TRUE(b.errors.empty());
}

TEST(DisagCom, EmptyNulAndOverlongLines) {
    Rig b;
    b.com.Open();
    ASSERT_TRUE(waitCommands(b, 1));
    sendRaw(b, "\r");                          // a lone CR
    sendRaw(b, std::string(5000, 'A') + "\r"); // garbage without CR for 4 KiB
    sendRaw(b, std::string("ST\0A", 4) + static_cast<char>(DisagMachine::checkChar("STA")) +
                   "\r"); // NUL dropped
    send(b, {"WSE"});
    ASSERT_TRUE(b.runUntilData(3));
    b.main.runFor(50ms);
    EXPECT_EQ(b.data, (std::vector<std::string>{"", "STA", "WSE"}));
    // Every line but the garbage was acknowledged.
    ASSERT_TRUE(
        b.waitSent([](const std::string& s) { return std::count(s.begin(), s.end(), ACK) >= 3; }, 5s));
    EXPECT_EQ(b.sent(ACK), 3u);
}

TEST(DisagCom, EditPassShowsUnconfirmedShotsThenAnswersWithTheList) {
    Rig b;
    std::vector<std::string> log;
    b.com.OnData = [&](TCustomComPort*, std::string text) { log.push_back("data " + text); };
    b.com.OnEdit = [&](TCustomComPort* sender, std::int32_t nr, std::string& ring) {
        EXPECT_EQ(sender, &b.com);
        EXPECT_TRUE(b.com.Editing());
        log.push_back("edit " + std::to_string(nr) + " " + ring);
        if (nr == 3)
            ring = "7.5"; // a reviewed value goes back to the machine
    };
    b.com.Open();
    ASSERT_TRUE(waitCommands(b, 1));
    // Shots 2 and 3 on one target, in one line, each with its own flag; the machine waits for
    // the edit of the 2 shots of that target.
    send(b, {"STA", "SCH=1;10.4;123.4;90.0;G", "SCH=2;0;0;0.0;K;3;0;17.5;0.0;U;", "WSC=-2", "WSE"});
    ASSERT_TRUE(b.runUntil([&] { return log.size() == 7; }));
    EXPECT_EQ(log, (std::vector<std::string>{"data STA", "data SCH=1;10.4;123.4;90.0;G",
                                             "data SCH=2;0;0;0.0;K;3;0;17.5;0.0;U;", "edit 2 0", "edit 3 0",
                                             "data WSC=-2", "data WSE"}));
    ASSERT_TRUE(waitCommands(b, 6));
    // "EDI=" all shots ";" those of the target, then number, ring, divisor and status of each.
    EXPECT_EQ(commands(b), (std::vector<std::string>{kStandard, "EDI=3;2", "S=1;10.4;123.4;U", "S=2;0;0;U",
                                                     "S=3;7.5;17.5;U", kStandard}));
    EXPECT_FALSE(b.com.Editing());
    EXPECT_EQ(b.com.EditList().size(), 3u); // kept until the next "STA"
    EXPECT_TRUE(b.errors.empty());
}

TEST(DisagCom, StaAndWseDuringTheEditPassHaveNoEffectOfTheirOwn) {
    Rig b;
    bool first = true;
    b.com.OnEdit = [&](TCustomComPort*, std::int32_t, std::string&) {
        if (!std::exchange(first, false))
            return;
        // While the message box is open, the machine sends "STA" and "WSE"; they are delivered.
        sendRaw(b, frame("STA") + frame("WSE"));
        ASSERT_TRUE(b.runUntil([&] { return b.data.size() >= 5; }));
    };
    b.com.Open();
    ASSERT_TRUE(waitCommands(b, 1));
    send(b, {"SCH=1;0;0;0;K", "SCH=2;9.9;5.0;0;K", "WSC=-"});
    ASSERT_TRUE(b.runUntilData(5));
    EXPECT_EQ(b.data,
              (std::vector<std::string>{"SCH=1;0;0;0;K", "SCH=2;9.9;5.0;0;K", "WSC=-", "STA", "WSE"}));
    ASSERT_TRUE(waitCommands(b, 4));
    b.main.runFor(300ms); // time for a settings string, had the "WSE" queued one
    // Without a number after "WSC=-" the edit covers every shot.
    EXPECT_EQ(commands(b), (std::vector<std::string>{kStandard, "EDI=2;2", "S=1;0;0;U", "S=2;9.9;5.0;U"}));
    EXPECT_EQ(b.com.EditList().size(), 2u);
}

TEST(DisagCom, CommandRefusedTenTimesGivesOneErrorAndNothingIsSent) {
    Rig b;
    b.machine([](DisagMachine& m, SimWriter&) { m.setIdleReply(0x15); }); // NAK to every ENQ
    b.com.Open();
    ASSERT_TRUE(b.runUntil([&] { return !b.errors.empty(); }, 5s));
    b.main.runFor(300ms);
    EXPECT_EQ(b.errors, std::vector<std::int32_t>{0});
    EXPECT_EQ(b.line->received(), std::string(10, ENQ));
    // Later commands are still tried.
    b.machine([](DisagMachine& m, SimWriter&) { m.setIdleReply(0x02); });
    b.com.Einstellstring().SetTeilergrenze("100");
    ASSERT_TRUE(waitCommands(b, 1));
    EXPECT_EQ(b.errors.size(), 1u);
}

TEST(DisagCom, TestAsksForTheModelWithThePortClosedBeforeAndAfter) {
    Rig b;
    std::string model = "x";
    b.machine([](DisagMachine& m, SimWriter&) { m.setModel("RM IV"); });
    EXPECT_TRUE(b.com.Test(model));
    EXPECT_EQ(model, "RM IV");
    EXPECT_FALSE(b.com.Connected());
    EXPECT_EQ(commands(b), std::vector<std::string>{"TYP"});
    EXPECT_EQ(b.line->received(), std::string(1, ENQ) + frame("TYP") + ACK);

    b.com.Open(); // an open port is closed by Test and stays closed
    ASSERT_TRUE(waitCommands(b, 2));
    b.machine([](DisagMachine& m, SimWriter&) { m.setModel(""); });
    EXPECT_TRUE(b.com.Test(model));
    EXPECT_EQ(model, ""); // the caller shows "RM IV" then
    EXPECT_FALSE(b.com.Connected());

    b.machine([](DisagMachine& m, SimWriter&) { m.setSilent(true); });
    EXPECT_FALSE(b.com.Test());
    b.main.runFor(50ms);
    EXPECT_TRUE(b.data.empty());
    EXPECT_TRUE(b.errors.empty());

    // A damaged answer is refused and the resend read; damaged twice, the machine is there and
    // its model unknown. The answers so far were lines 1 and 2.
    b.machine([](DisagMachine& m, SimWriter&) {
        m.setSilent(false);
        m.setModel("RM3U");
        m.damageLine(3);
        m.damageLine(4, 2);
    });
    const std::size_t naks = b.sent(NAK);
    EXPECT_TRUE(b.com.Test(model));
    EXPECT_EQ(model, "RM3U");
    EXPECT_EQ(b.sent(NAK), naks + 1);
    EXPECT_TRUE(b.com.Test(model));
    EXPECT_EQ(model, TDisagCom::ModellUnbekannt);
    EXPECT_EQ(b.sent(NAK), naks + 3);
}

// A line whose check character is wrong is refused with NAK, and the machine sends it again: the
// resend is taken, once. After three damaged lines in a row the user is told once.
TEST(DisagCom, DamagedLineIsRefusedAndItsResendTakenOnce) {
    struct Case {
        std::size_t damaged; // copies of the shot line with a wrong check character
        std::size_t notices;
    };
    for (const Case c : {Case{1, 0}, Case{3, 1}, Case{5, 1}}) {
        SCOPED_TRACE("damaged copies: " + std::to_string(c.damaged));
        Rig b;
        b.machine([&](DisagMachine& m, SimWriter&) { m.damageLine(2, c.damaged); });
        b.com.Open();
        ASSERT_TRUE(waitCommands(b, 1));
        // The real lines of a machine.
        send(b, {"STA", "SCH=1;7.2;2973.0;164.7;G", "WSE"});
        ASSERT_TRUE(b.runUntilData(3));
        b.main.runFor(100ms);
        EXPECT_EQ(b.data, (std::vector<std::string>{"STA", "SCH=1;7.2;2973.0;164.7;G", "WSE"}));
        EXPECT_EQ(b.com.EditList(), (std::vector<TDisagEditShot>{{1, "7.2", "2973.0", 'U'}}));
        EXPECT_EQ(b.sent(NAK), c.damaged);
        EXPECT_EQ(b.sent(ACK), 3u);
        ASSERT_EQ(b.hinweise.size(), c.notices);
        if (c.notices) {
            EXPECT_EQ(b.hinweise[0], "Die Maschine an " + b.line->portName() +
                                         " sendet besch\xE4"
                                         "digte Zeilen (Pr\xFC"
                                         "fzeichen falsch). Kabel und Stecker pr\xFC"
                                         "fen.");
        }
        EXPECT_TRUE(b.errors.empty());
    }
}

// A line the machine sends on its own during the test (a shot of a series in progress) is
// acknowledged and kept; the next opening on that port hands it on before anything else.
TEST(DisagCom, ALineSentUnaskedDuringTheTestIsKeptAndHandedOnAtTheNextOpening) {
    Rig b;
    send(b, {"SCH=1;9.8;12.3;45.0;G"}); // while the port is closed: the machine waits for its ACK
    std::string model;
    EXPECT_TRUE(b.com.Test(model));
    EXPECT_EQ(model, "RM III");
    EXPECT_EQ(b.ask<std::size_t>([](DisagMachine& m) { return m.acknowledgedLines(); }), 1u);
    b.main.runFor(50ms);
    EXPECT_TRUE(b.data.empty());

    b.com.Open();
    ASSERT_TRUE(waitCommands(b, 2));
    ASSERT_TRUE(b.runUntilData(1));
    EXPECT_EQ(b.data, std::vector<std::string>{"SCH=1;9.8;12.3;45.0;G"});
    EXPECT_EQ(b.com.EditList().size(), 1u);
    EXPECT_EQ(b.sent(ACK), 2u); // the model's answer and the line; none at the hand-over
}

TEST(DisagCom, TestOnAPortThatCannotBeOpenedRaisesAndLeavesTheHooks) {
    Rig b;
    const std::string port = b.com.Port();
    b.com.SetPort("/dev/trefflux-kein-geraet");
    EXPECT_THROW(b.com.Test(), EComPort);
    b.com.SetPort(port);
    b.com.Open();
    ASSERT_TRUE(waitCommands(b, 1)); // the opening hook is back: the settings went out
    send(b, {"STA"});
    ASSERT_TRUE(b.runUntilData(1)); // and so is the receive hook
}

// The acknowledgement of a line and the discarding before an enquiry must never collide: every
// line is acknowledged and delivered exactly once while commands go out in between.
TEST(DisagCom, BurstOfLinesWhileCommandsAreSentEveryLineAcknowledgedOnce) {
    Rig b;
    constexpr int kLines = 300;
    int changes = 0;
    b.com.OnData = [&](TCustomComPort*, std::string text) {
        b.data.push_back(std::move(text));
        if (b.data.size() % 25 == 0) {
            b.com.Einstellstring().SetTeilergrenze(std::to_string(100 + ++changes));
        }
    };
    b.com.Open();
    ASSERT_TRUE(waitCommands(b, 1));
    std::vector<std::string> lines;
    for (int i = 1; i <= kLines; ++i)
        lines.push_back("SCH=" + std::to_string(i) + ";9.9;12.3;45.0;G");
    send(b, lines);
    ASSERT_TRUE(b.runUntilData(kLines, 20s));
    EXPECT_EQ(b.data, lines);
    ASSERT_TRUE(waitCommands(b, 1 + changes, 20s));
    ASSERT_TRUE(waitAcks(b, kLines));
    b.main.runFor(100ms);
    EXPECT_EQ(b.data.size(), std::size_t(kLines));
    EXPECT_EQ(b.machine<std::size_t>([](DisagMachine& m, SimWriter&) { return m.acknowledgedLines(); }),
              std::size_t(kLines));
    EXPECT_EQ(b.machine<std::size_t>([](DisagMachine& m, SimWriter&) { return m.unexpectedAcks(); }), 0u);
    EXPECT_EQ(b.sent(ACK), std::size_t(kLines));
    EXPECT_EQ(commands(b).size(), std::size_t(1 + changes));
    EXPECT_EQ(b.com.EditList().size(), std::size_t(kLines));
    EXPECT_TRUE(b.errors.empty());
}

TEST(DisagCom, ClosingEndsAHandshakeAtOnceWithoutError) {
    Rig b;
    b.machine([](DisagMachine& m, SimWriter&) { m.setSilent(true); });
    b.com.Open();
    b.com.Einstellstring().SetTeilergrenze("100"); // a second command waits behind the first
    ASSERT_TRUE(b.waitSent([](const std::string& s) { return !s.empty(); }, 2s));
    const auto start = std::chrono::steady_clock::now();
    b.com.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    b.main.runFor(100ms);
    EXPECT_TRUE(b.errors.empty());
    EXPECT_FALSE(b.com.Opened());
}

TEST(DisagCom, OpeningAndClosingWhileTheMachineSendsIsSafe) {
    Rig b;
    for (int i = 0; i < 15; ++i) {
        b.com.Open();
        sendRaw(b, frame("WSE") + frame("SCH=1;9;1;0;G") + frame("WSE") + frame("STA"));
        if (i % 3 == 0)
            std::this_thread::sleep_for(5ms);
        b.com.Close();
    }
    b.main.runFor(100ms);
    EXPECT_TRUE(b.errors.empty());
}

TEST(DisagCom, VanishedDeviceIsReportedOnce) {
    Rig b;
    b.com.Open();
    ASSERT_TRUE(waitCommands(b, 1));
    b.line->hangUp();
    b.com.Einstellstring().SetTeilergrenze("100");
    ASSERT_TRUE(b.runUntil([&] { return !b.errors.empty(); }, 5s));
    b.com.Einstellstring().SetTeilergrenze("200");
    b.main.runFor(300ms);
    EXPECT_EQ(b.errors, std::vector<std::int32_t>{0});
}

} // namespace
