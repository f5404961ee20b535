// Transmissions as real machines send them, from a stand-in machine on a pseudo-terminal through
// the component and the data handler into the protocol file, compared byte for byte with
// records worked out by hand (tests/data). Then what the line can do to a transmission: a SAM
// block with a damaged check byte, a block that breaks off, a Rika that falls silent.

#include "DisagCom.h"
#include "RikaCom.h"
#include "SamCom.h"

#include "DisagMachine.h"
#include "MachineRig.h"
#include "RikaMachine.h"
#include "SamMachine.h"

#include "DisagDaten.h"
#include "Profilliste.h"
#include "ProtokollAusgabe.h"
#include "SamRikaDaten.h"
#include "ScratchDir.h"
#include "ScriptedDesktop.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

using SamRig = MachineRig<TSamCom, SamMachine>;
using RikaRig = MachineRig<TRikaCom, RikaMachine>;

constexpr std::uint8_t STX = 0x02, ETB = 0x17;
constexpr char ACK = 0x06, NAK = 0x15, SYN = 0x16, FF = 0x0C;
// Tests let a machine fall silent for this long instead of 10 s.
constexpr auto kSilence = 300ms;

std::string lies(const std::string& pfad) {
    std::ifstream in(pfad, std::ios::binary);
    EXPECT_TRUE(in) << pfad;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string datei(const std::string& name) {
    return lies(std::string(TREFFLUX_TEST_DATA) + "/" + name);
}

// A protocol file in a scratch folder: every element of the record in its table order, tenths
// on, ";" after each element, LF after each shot and after each series, no header line.
class Protokoll {
    ScratchDir m_folder{"transmission"}; // first: the members below write into it

public:
    Protokoll() {
        profile.appendStandard(m_folder.path());
        profile.aktiv().Datensatz = {0, 1, 2, 3, 4, 5};
    }
    std::string inhalt() const { return readFile(m_folder / "Protokoll1.rls"); }

    ScriptedDesktop desk;
    Profilliste profile;
    TProtokollAusgabe ausgabe{profile};
};

TEST(Transmission, SamStripsLandInTheProtocolFileByteForByte) {
    // A full strip with a missed shot (ring 00.0) and one corrected by hand (coordinates
    // -0001), and a strip of three shots whose other seven places the machine fills.
    for (const std::string name : {"sam4000-full-strip", "sam4000-short-strip"}) {
        SCOPED_TRACE(name);
        const std::string wire = datei(name + ".bin");
        ASSERT_GT(wire.size(), 4u);
        const std::string strip = wire.substr(1, wire.size() - 4);
        // The stand-in frames a block as the machine does: STX, strip, ETB, check byte, "$".
        EXPECT_EQ(SamMachine().block(STX, ETB, strip), wire);

        Protokoll protokoll;
        SamRikaDaten daten(protokoll.ausgabe);
        SamRig rig;
        rig.com.OnData = [&](TCustomComPort*, std::string text) {
            rig.data.push_back(text);
            daten.SamComData(text);
        };
        rig.machine([&](SamMachine& m) { m.queueTelegram(strip); });
        rig.com.Open();
        ASSERT_TRUE(rig.runUntil([&] { return !rig.data.empty(); }));
        ASSERT_TRUE(rig.waitSent(ACK, 1));
        EXPECT_EQ(protokoll.inhalt(), datei(name + ".rls"));
        EXPECT_EQ(rig.sent(NAK), 0u);
        EXPECT_TRUE(protokoll.desk.boxes.empty());
    }
}

TEST(Transmission, DisagSeriesLandsInTheProtocolFileByteForByte) {
    Protokoll protokoll;
    DisagDaten daten(protokoll.profile, protokoll.ausgabe);
    MachineRig<TDisagCom, DisagMachine> rig;
    rig.com.OnData = [&](TCustomComPort*, std::string text) {
        rig.data.push_back(text);
        daten.DisagComData(text);
    };
    std::vector<std::string> lines;
    std::istringstream in(datei("disag-rm4-series.txt"));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    rig.com.Open();
    rig.machine([&](DisagMachine& m, SimWriter& out) { m.sendLines(lines, out); });
    const std::string expected = datei("disag-rm4-series.rls");
    ASSERT_TRUE(rig.runUntil([&] { return rig.data.size() == lines.size(); }));
    EXPECT_EQ(protokoll.inhalt(), expected);
    EXPECT_TRUE(protokoll.desk.boxes.empty());
}

TEST(Transmission, DamagedSamCopiesAreRefusedThreeTimesThenKeptWithOneNotice) {
    struct Case {
        std::size_t damaged; // copies in a row with a wrong check byte
        std::size_t naks;
        std::size_t notices;
    };
    for (const Case c : {Case{0, 0, 0}, Case{1, 1, 0}, Case{3, 3, 0}, Case{4, 3, 1}}) {
        SCOPED_TRACE("damaged copies: " + std::to_string(c.damaged));
        SamRig rig;
        rig.machine([&](SamMachine& m) {
            m.damageNextChecks(c.damaged);
            m.queueTelegram("A\rB");
        });
        rig.com.Open();
        ASSERT_TRUE(rig.runUntil([&] { return !rig.data.empty(); }));
        ASSERT_TRUE(rig.waitSent(ACK, 1));
        rig.main.runFor(100ms);
        EXPECT_EQ(rig.data, std::vector<std::string>{"A;B"}); // written once
        EXPECT_EQ(rig.sent(NAK), c.naks);
        EXPECT_EQ(rig.sent(ACK), 1u);
        EXPECT_EQ(rig.ask<std::size_t>([](SamMachine& m) { return m.delivered(); }), 1u);
        ASSERT_EQ(rig.hinweise.size(), c.notices);
        if (c.notices) {
            EXPECT_EQ(rig.hinweise[0], "Die Serie von der SAM an " + rig.line->portName() +
                                           " kam viermal mit falscher Pr\xFC"
                                           "fsumme an.\n\rSie wurde trotzdem gespeichert; bitte die Werte "
                                           "mit der Maschine vergleichen.");
        }
        EXPECT_TRUE(rig.errors.empty());
    }
}

// The machine breaks off a block half way and, after a reset, offers it again.
template <class Rig> void cutBlockIsDroppedToldAndTakenWhenOfferedAgain(const char* machine, char confirm) {
    Rig rig;
    rig.com.SetSilenceLimit(kSilence);
    rig.machine([](auto& m) {
        m.queueTelegram(std::string(200, 'Z'));
        m.cutNextBlock(false);
    });
    rig.com.Open();
    ASSERT_TRUE(rig.runUntil([&] { return !rig.data.empty(); }));
    rig.main.runFor(100ms);
    EXPECT_EQ(rig.data, std::vector<std::string>{std::string(200, 'Z')});
    EXPECT_EQ(rig.hinweise, std::vector<std::string>{"Die \xDC"
                                                     "bertragung von der " +
                                                     std::string(machine) + " an " + rig.line->portName() +
                                                     " ist mitten in einer Serie abgebrochen.\n\rDie Serie "
                                                     "wurde nicht gespeichert; die Maschine bietet sie noch "
                                                     "einmal an."});
    ASSERT_TRUE(rig.waitSent(confirm, 1));
    EXPECT_EQ(rig.sent(confirm), 1u);
    EXPECT_TRUE(rig.errors.empty());
    EXPECT_TRUE(rig.com.Connected());
}

TEST(Transmission, CutBlockIsDroppedToldAndTakenWhenOfferedAgain) {
    cutBlockIsDroppedToldAndTakenWhenOfferedAgain<SamRig>("SAM", ACK);
    cutBlockIsDroppedToldAndTakenWhenOfferedAgain<RikaRig>("Rika SAG-1", FF);
}

TEST(Transmission, SilentRikaIsToldOncePolledOnAndItsSeriesTakenWhenItAnswersAgain) {
    RikaRig rig;
    rig.com.SetSilenceLimit(kSilence);
    rig.com.Open();
    ASSERT_TRUE(rig.waitSent(SYN, 6)); // past the five settings
    rig.machine([](RikaMachine& m) {
        m.setSilent(true);
        m.queueTelegram("A\rB");
    });
    ASSERT_TRUE(rig.runUntil([&] { return !rig.hinweise.empty(); }));
    const std::size_t polls = rig.sent(SYN);
    rig.main.runFor(4 * kSilence);
    EXPECT_GE(rig.sent(SYN), polls + 2); // polling goes on
    EXPECT_EQ(rig.hinweise, std::vector<std::string>{"Die Rika SAG-1 an " + rig.line->portName() +
                                                     " antwortet nicht mehr.\n\rTrefflux fragt weiter an; "
                                                     "bitte Kabel und Maschine pr\xFC"
                                                     "fen."});
    EXPECT_TRUE(rig.data.empty());

    rig.machine([](RikaMachine& m) { m.setSilent(false); });
    ASSERT_TRUE(rig.runUntil([&] { return !rig.data.empty(); }));
    ASSERT_TRUE(rig.waitSent(FF, 1));
    rig.main.runFor(100ms);
    EXPECT_EQ(rig.data, std::vector<std::string>{"A;B"});
    ASSERT_EQ(rig.hinweise.size(), 2u);
    EXPECT_EQ(rig.hinweise[1], "Die Rika SAG-1 an " + rig.line->portName() + " antwortet wieder.");
    EXPECT_EQ(rig.ask<std::size_t>([](RikaMachine& m) { return m.delivered(); }), 1u);
    EXPECT_TRUE(rig.errors.empty());
    EXPECT_TRUE(rig.com.Connected());
}

} // namespace
