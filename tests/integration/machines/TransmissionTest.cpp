// Transmissions as real machines send them, from a stand-in machine on a pseudo-terminal through
// the component and the data handler into the protocol file, compared byte for byte with
// records worked out by hand (tests/data). Then what the line can do to a transmission: a SAM
// block with a damaged check byte, a block that breaks off, a Rika that falls silent.

#include "RikaCom.h"
#include "Rm3WinCom.h"
#include "SamCom.h"

#include "DisagBench.h"
#include "DisagMachine.h"
#include "MachineBench.h"
#include "RikaMachine.h"
#include "SamMachine.h"

#include "Profilliste.h"
#include "Rm3WinDaten.h"
#include "SamRikaDaten.h"
#include "ScriptedDesktop.h"
#include "TProtokollAusgabe.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

using SamBench = MachineBench<TSamCom, SamMachine>;
using RikaBench = MachineBench<TRikaCom, RikaMachine>;

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
public:
    Protokoll() {
        char folder[] = "/tmp/trefflux-transmission-XXXXXX";
        if (!mkdtemp(folder))
            throw std::runtime_error("no scratch folder");
        m_folder = folder;
        profile.appendStandard(m_folder);
        profile.aktiv().Datensatz = {0, 1, 2, 3, 4, 5};
    }
    ~Protokoll() { std::filesystem::remove_all(m_folder); }
    std::string inhalt() const {
        std::ifstream in(m_folder + "/Protokoll1.rls", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    ScriptedDesktop desk;
    Profilliste profile;
    TProtokollAusgabe ausgabe{profile};

private:
    std::string m_folder;
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
        SamBench bench;
        bench.com.OnData = [&](TCustomComPort*, std::string text) {
            bench.data.push_back(text);
            daten.SamCom1Data(text);
        };
        bench.machine([&](SamMachine& m) { m.queueTelegram(strip); });
        bench.com.Open();
        ASSERT_TRUE(bench.runUntil([&] { return !bench.data.empty(); }));
        ASSERT_TRUE(bench.waitSent(ACK, 1));
        EXPECT_EQ(protokoll.inhalt(), datei(name + ".rls"));
        EXPECT_EQ(bench.sent(NAK), 0u);
        EXPECT_TRUE(protokoll.desk.boxes.empty());
    }
}

TEST(Transmission, DisagSeriesLandsInTheProtocolFileByteForByte) {
    Protokoll protokoll;
    Rm3WinDaten daten(protokoll.profile, protokoll.ausgabe);
    DisagBench<TRm3WinCom, DisagMachine> bench;
    bench.com.OnData = [&](TCustomComPort*, std::string text) {
        bench.data.push_back(text);
        daten.Rm3WinCom1Data(text);
    };
    std::vector<std::string> lines;
    std::istringstream in(datei("disag-rm4-series.txt"));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    bench.com.Open();
    bench.machine([&](DisagMachine& m, SimWriter& out) { m.sendLines(lines, out); });
    const std::string expected = datei("disag-rm4-series.rls");
    ASSERT_TRUE(bench.runUntil([&] { return bench.data.size() == lines.size(); }));
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
        SamBench bench;
        bench.machine([&](SamMachine& m) {
            m.damageNextChecks(c.damaged);
            m.queueTelegram("A\rB");
        });
        bench.com.Open();
        ASSERT_TRUE(bench.runUntil([&] { return !bench.data.empty(); }));
        ASSERT_TRUE(bench.waitSent(ACK, 1));
        bench.main.runFor(100ms);
        EXPECT_EQ(bench.data, std::vector<std::string>{"A;B"}); // written once
        EXPECT_EQ(bench.sent(NAK), c.naks);
        EXPECT_EQ(bench.sent(ACK), 1u);
        EXPECT_EQ(bench.ask<std::size_t>([](SamMachine& m) { return m.delivered(); }), 1u);
        ASSERT_EQ(bench.hinweise.size(), c.notices);
        if (c.notices) {
            EXPECT_EQ(bench.hinweise[0], "Die Serie von der SAM an " + bench.line->portName() +
                                             " kam viermal mit falscher Pr\xFC"
                                             "fsumme an.\n\rSie wurde trotzdem gespeichert; bitte die Werte "
                                             "mit der Maschine vergleichen.");
        }
        EXPECT_TRUE(bench.errors.empty());
    }
}

// The machine breaks off a block half way and, after a reset, offers it again.
template <class Bench> void cutBlockIsDroppedToldAndTakenWhenOfferedAgain(const char* machine, char confirm) {
    Bench bench;
    bench.com.SetSilenceLimit(kSilence);
    bench.machine([](auto& m) {
        m.queueTelegram(std::string(200, 'Z'));
        m.cutNextBlock(false);
    });
    bench.com.Open();
    ASSERT_TRUE(bench.runUntil([&] { return !bench.data.empty(); }));
    bench.main.runFor(100ms);
    EXPECT_EQ(bench.data, std::vector<std::string>{std::string(200, 'Z')});
    EXPECT_EQ(bench.hinweise,
              std::vector<std::string>{"Die \xDC"
                                       "bertragung von der " +
                                       std::string(machine) + " an " + bench.line->portName() +
                                       " ist mitten in einer Serie abgebrochen.\n\rDie Serie "
                                       "wurde nicht gespeichert; die Maschine bietet sie noch "
                                       "einmal an."});
    ASSERT_TRUE(bench.waitSent(confirm, 1));
    EXPECT_EQ(bench.sent(confirm), 1u);
    EXPECT_TRUE(bench.errors.empty());
    EXPECT_TRUE(bench.com.Connected());
}

TEST(Transmission, CutBlockIsDroppedToldAndTakenWhenOfferedAgain) {
    cutBlockIsDroppedToldAndTakenWhenOfferedAgain<SamBench>("SAM", ACK);
    cutBlockIsDroppedToldAndTakenWhenOfferedAgain<RikaBench>("Rika SAG-1", FF);
}

TEST(Transmission, SilentRikaIsToldOncePolledOnAndItsSeriesTakenWhenItAnswersAgain) {
    RikaBench bench;
    bench.com.SetSilenceLimit(kSilence);
    bench.com.Open();
    ASSERT_TRUE(bench.waitSent(SYN, 6)); // past the five settings
    bench.machine([](RikaMachine& m) {
        m.setSilent(true);
        m.queueTelegram("A\rB");
    });
    ASSERT_TRUE(bench.runUntil([&] { return !bench.hinweise.empty(); }));
    const std::size_t polls = bench.sent(SYN);
    bench.main.runFor(4 * kSilence);
    EXPECT_GE(bench.sent(SYN), polls + 2); // polling goes on
    EXPECT_EQ(bench.hinweise, std::vector<std::string>{"Die Rika SAG-1 an " + bench.line->portName() +
                                                       " antwortet nicht mehr.\n\rTrefflux fragt weiter an; "
                                                       "bitte Kabel und Maschine pr\xFC"
                                                       "fen."});
    EXPECT_TRUE(bench.data.empty());

    bench.machine([](RikaMachine& m) { m.setSilent(false); });
    ASSERT_TRUE(bench.runUntil([&] { return !bench.data.empty(); }));
    ASSERT_TRUE(bench.waitSent(FF, 1));
    bench.main.runFor(100ms);
    EXPECT_EQ(bench.data, std::vector<std::string>{"A;B"});
    ASSERT_EQ(bench.hinweise.size(), 2u);
    EXPECT_EQ(bench.hinweise[1], "Die Rika SAG-1 an " + bench.line->portName() + " antwortet wieder.");
    EXPECT_EQ(bench.ask<std::size_t>([](RikaMachine& m) { return m.delivered(); }), 1u);
    EXPECT_TRUE(bench.errors.empty());
    EXPECT_TRUE(bench.com.Connected());
}

} // namespace
