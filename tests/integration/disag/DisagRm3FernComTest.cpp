#include "DisagRm3FernCom.h"
#include "DisagRm3FernDaten.h"
#include "DisagRm3FernEinstellstring.h"

#include "DisagRm3FernMachine.h"
#include "MachineRig.h"
#include "Profilliste.h"
#include "ProtokollAusgabe.h"
#include "ScratchDir.h"
#include "ScriptedDesktop.h"

#include <fstream>
#include <iterator>

namespace {

using Rig = MachineRig<TDisagRm3FernCom, DisagRm3FernMachine>;

void sendRaw(Rig& b, const std::string& bytes) {
    b.line->call([&](SimMachine&, SimWriter& out) { out.send(bytes); });
}

bool waitSettings(Rig& b, std::size_t n) {
    return b.waitSent([n](const std::string& s) { return std::count(s.begin(), s.end(), '\r') >= long(n); },
                      5s);
}

TEST(DisagRm3FernCom, SettingsAtOpeningAndAfterEveryEndeBeforeTheLineIsDelivered) {
    Rig b;
    b.com.OnData = [&](TCustomComPort*, const std::string& text) {
        // The settings text went out before "ENDE" reached the handler.
        if (text.starts_with("ENDE")) {
            EXPECT_TRUE(waitSettings(b, 2));
        }
        b.data.push_back(text);
    };
    b.com.Open();
    ASSERT_TRUE(waitSettings(b, 1));
    EXPECT_EQ(b.line->received(), "131501121\r");

    std::string bytes = "START\r01 10.4 123.4\r\rEN";
    bytes += '\0'; // dropped
    sendRaw(b, bytes + "DE\r");
    ASSERT_TRUE(b.runUntilData(4));
    EXPECT_EQ(b.data, (std::vector<std::string>{"START", "01 10.4 123.4", "", "ENDE"}));
    EXPECT_EQ(b.line->received(), "131501121\r131501121\r");

    // "ENDE" only as the whole line.
    sendRaw(b, "ENDE \rXENDE\r");
    ASSERT_TRUE(b.runUntilData(6));
    EXPECT_EQ(b.line->received(), "131501121\r131501121\r");
    EXPECT_TRUE(b.errors.empty());
}

TEST(DisagRm3FernCom, SettingsTextWrittenAtOnceOnlyWhileOpen) {
    Rig b;
    b.com.SetEinstellstring("111");
    b.main.runFor(50ms);
    EXPECT_EQ(b.line->received(), "");
    b.com.Open();
    ASSERT_TRUE(waitSettings(b, 1));
    b.com.SetEinstellstring("222");
    ASSERT_TRUE(waitSettings(b, 2));
    EXPECT_EQ(b.line->received(), "111\r222\r");
    b.com.Close();
    b.com.SetEinstellstring("333");
    b.main.runFor(50ms);
    EXPECT_EQ(b.line->received(), "111\r222\r");
}

TEST(DisagRm3FernCom, OverlongLineIsDiscardedAndTheNextOneDelivered) {
    Rig b;
    b.com.Open();
    sendRaw(b, std::string(10000, 'x') + "\rENDE\r");
    ASSERT_TRUE(b.runUntilData(1));
    b.main.runFor(50ms);
    EXPECT_EQ(b.data, std::vector<std::string>{"ENDE"});
}

// A line that sends back every byte, as a port with a loop-back plug does.
class EchoLine : public SimMachine {
public:
    EchoLine() : SimMachine(0) {}
    void received(std::uint8_t byte, SimWriter& out) override {
        out.send(std::string(1, static_cast<char>(byte)));
    }
    std::string telegram(const SimSeries&) const override { return {}; }
    std::string trailer(const std::string&) const override { return {}; }
};

// Only the machine's answer to "E" counts: not an echo, not a silent line whose DSR reads on (as
// a pseudo-terminal's always does). The test sends no settings: they would start a new series.
TEST(DisagRm3FernCom, TestCountsOnlyTheAnswerToE) {
    Rig b;
    EXPECT_TRUE(b.com.Test());
    EXPECT_EQ(b.line->received(), "E\r");
    EXPECT_FALSE(b.com.Connected());
    b.machine([](DisagRm3FernMachine& m) { m.setSilent(true); });
    EXPECT_FALSE(b.com.Test());

    MachineRig<TDisagRm3FernCom, EchoLine> echo;
    EXPECT_FALSE(echo.com.Test());
    EXPECT_EQ(echo.line->received(), "E\r");
}

// The stand-in's series through the component and the data handler into the protocol file, with
// the settings string of the profile: two shots per target, a shot without divisor, one that
// could not be evaluated.
TEST(DisagRm3FernCom, SeriesFromTheStandInReachesTheProtocolFile) {
    ScratchDir ordner{"rm3"};
    ScriptedDesktop desk;
    Profilliste liste;
    liste.appendStandard(ordner.path());
    Profil& profil = liste.aktiv();
    profil.Datensatz = {0, 1, 2, 3, 4, 5};
    profil.Scheibentyp = 2;
    profil.Scheibenschusszahl = 2;
    TProtokollAusgabe ausgabe{liste};
    DisagRm3FernDaten daten{liste, ausgabe};

    Rig b;
    b.com.OnData = [&](TCustomComPort*, const std::string& text) {
        b.data.push_back(text);
        daten.DisagRm3FernComData(text);
    };
    b.com.SetEinstellstring(disagRm3FernEinstellstring(profil));
    std::string error;
    const auto serie = parseSeries("LG 1 10.4/123.4/2.82/-2.75 9.7/-/0.07/-2.22 ?.?/-", error);
    ASSERT_TRUE(serie) << error;
    b.machine([&](DisagRm3FernMachine& m) { m.queueSeries(*serie); });
    b.com.Open();
    ASSERT_TRUE(b.runUntil([&] { return !b.data.empty() && b.data.back() == "ENDE"; }));
    EXPECT_EQ(b.data, (std::vector<std::string>{"1;10.4;123.4;2.82;-2.75;N", "2;9.7;-;0.07;-2.22;N",
                                                "SCHEIBE", "3;?.?;-;0.00;0.00;N", "ENDE"}));
    ASSERT_TRUE(waitSettings(b, 2));
    EXPECT_EQ(b.line->received(), "111507222Text\r111507222Text\r");
    EXPECT_EQ(desk.trayMessages, std::vector<std::string>{"N\xE4"
                                                          "chste Scheibe einlegen"});
    ASSERT_EQ(desk.boxes.size(), 2u);
    EXPECT_EQ(desk.boxes[1].text, "Schuss 3 ist fehlerhaft!");

    std::ifstream in(ordner / "Protokoll1.rls", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "LG;1;10,4;123,4;282;-275;\n"
                                                                   "LG;1;9,7; 0,0;7;-222;\n"
                                                                   "LG;1;0,0; 0,0;0;0;\n\n");
}

class DsrWatch : public ::testing::Test {
protected:
    DsrWatch() {
        b.com.SetLineSimulator(lines);
        b.com.SetDSRTimeout(limit);
    }
    void dsr(bool on) {
        lines->SetSignals(on ? TComSignals{csCTS, csDSR, csRLSD} : TComSignals{csCTS, csRLSD});
    }

    // The watch limit stands in for the 15 seconds; the test only waits for what it checks.
    static constexpr auto limit = 400ms;
    std::shared_ptr<TComLineSimulator> lines = std::make_shared<TComLineSimulator>();
    Rig b;
};

TEST_F(DsrWatch, OffLongerThanTheLimitReportsCodeOneExactlyOnce) {
    b.com.Open();
    EXPECT_TRUE(lines->DTR() && lines->RTS()); // the machine sends only while it sees them
    dsr(false);
    ASSERT_TRUE(b.runUntil([&] { return !b.errors.empty(); }, 10s));
    b.main.runFor(3 * limit);
    EXPECT_EQ(b.errors, std::vector<std::int32_t>{1});
    // On and off again: a new watch, a new report.
    dsr(true);
    b.main.runFor(100ms);
    dsr(false);
    ASSERT_TRUE(b.runUntil([&] { return b.errors.size() == 2; }, 10s));
    EXPECT_EQ(b.errors, (std::vector<std::int32_t>{1, 1}));
}

TEST_F(DsrWatch, BackOnBeforeTheLimitReportsNothing) {
    b.com.SetDSRTimeout(1500ms);
    b.com.Open();
    dsr(false);
    b.main.runFor(200ms);
    dsr(true);
    b.main.runFor(2s);
    EXPECT_TRUE(b.errors.empty());
}

TEST_F(DsrWatch, OffAtOpeningIsWatchedAndClosingEndsTheWatch) {
    dsr(false);
    b.com.Open();
    ASSERT_TRUE(b.runUntil([&] { return !b.errors.empty(); }, 10s));
    dsr(true);
    b.main.runFor(50ms);
    dsr(false);
    b.main.runFor(50ms);
    b.com.Close(); // ends the new watch at once
    b.main.runFor(2 * limit);
    EXPECT_EQ(b.errors.size(), 1u);
}

TEST_F(DsrWatch, EndeWaitsBrieflyForDsrAndSendsTheSettingsAnyway) {
    b.com.Open();
    ASSERT_TRUE(waitSettings(b, 1));
    dsr(false);
    b.main.runFor(50ms);
    sendRaw(b, "ENDE\r");
    ASSERT_TRUE(b.runUntilData(1));
    ASSERT_TRUE(waitSettings(b, 2));
}

} // namespace
