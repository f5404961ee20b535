// The series path without a window: a SAM series from the stand-in machine on a
// pseudo-terminal reaches the protocol file through it and through the journal, signing on again keeps the
// path whole, and a machine that goes away is reported by the table's name; the transmission log shows the
// series as it went over the wire. And the machine table has a whole line for every machine of
// the profile.

#include "Serienpfad.h"

#include "PlainMainThread.h"
#include "Profilliste.h"
#include "SamMachine.h"
#include "ScratchDir.h"
#include "ScriptedDesktop.h"
#include "SimLine.h"
#include "Uebertragungslog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;

namespace {

std::string lies(const std::string& datei) {
    std::ifstream in(datei, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Maschinentabelle, EveryMachineOfTheProfileHasAWholeLine) {
    std::set<std::int32_t> nummern;
    for (const Maschinenart& art : maschinentabelle()) {
        EXPECT_TRUE(nummern.insert(art.nummer).second) << art.name;
        EXPECT_EQ(maschinenart(art.nummer), &art);
        EXPECT_TRUE(art.auswahl && art.name && art.machen && art.testen && art.testGefunden &&
                    art.testNichtGefunden && art.sucheGefunden)
            << art.name;
    }
    EXPECT_EQ(nummern, (std::set<std::int32_t>{maRika, maSam, maDisag, maDisagRm3Fern}));
    EXPECT_EQ(maschinenart(-1), nullptr);
    EXPECT_EQ(maschinenart(4), nullptr);
}

// A profile its machine cannot take, chosen in the tray or loaded at the start: the port stays
// closed and the message names what the machine takes.
TEST(Serienpfad, AProfileTheMachineRefusesOpensNoPort) {
    PlainMainThread main;
    ScriptedDesktop desk;
    setSerienjournal(nullptr);
    const ScratchDir scratch("serienpfad-abgelehnt");
    Profilliste liste;
    liste.appendStandard(scratch.path());
    liste.aktiv().Maschine = maDisagRm3Fern;
    liste.aktiv().Gesamtschusszahl = 15;
    Serienpfad pfad(liste);
    EXPECT_FALSE(pfad.MaschineOeffnen());
    EXPECT_FALSE(pfad.Komponente(maDisagRm3Fern).Connected());
    ASSERT_EQ(desk.boxes.size(), 1u);
    EXPECT_EQ(desk.boxes[0].title, "Fehler");
    EXPECT_NE(desk.boxes[0].text.find("1, 10, 20, 30, 40, 50, 60, 80, 100 und 120"), std::string::npos)
        << desk.boxes[0].text;
}

TEST(Serienpfad, SamSeriesReachesTheProtocolFileAcrossASignOnAndASilentMachineIsReported) {
    const ScratchDir scratch("serienpfad");
    const std::string& ordner = scratch.path();
    PlainMainThread main;
    ScriptedDesktop desk;

    std::string error;
    auto line = SimLine::openPty(std::make_unique<SamMachine>(), error);
    ASSERT_TRUE(line) << error;
    line->start();

    Profilliste liste;
    liste.appendStandard(ordner);
    Profil& p = liste.aktiv();
    p.Maschine = maSam;
    setText(p.Port, line->portName());
    p.Datensatz = {2, 3, -1, -1, -1, -1};
    p.Zehntelringe = 1;
    p.Trennzeichen = {59, 10, 10};
    const std::string datei = ordner + "/Protokoll1.rls";
    setText(p.Dateiname, datei);
    Uebertragungslog::Optionen logOptionen;
    logOptionen.ordner = ordner + "/state";
    auto log = std::make_shared<Uebertragungslog>(logOptionen);
    setUebertragungslog(log);
    // The journal the path keeps the series in, from the SAM's worker to the protocol file.
    Serienjournal::Optionen journalOptionen;
    journalOptionen.pfad = ordner + "/state/serien.journal";
    setSerienjournal(std::make_shared<Serienjournal>(journalOptionen));

    {
        Serienpfad pfad(liste);
        pfad.MaschineOeffnen();
        ASSERT_TRUE(pfad.Komponente(maSam).Connected());
        EXPECT_FALSE(pfad.Komponente(maRika).Connected() || pfad.Komponente(maDisag).Connected());
        pfad.MaschineAnmelden(); // closed, opened again: still one path
        ASSERT_TRUE(pfad.Komponente(maSam).Connected());

        const auto serie = parseSeries("LG 1 10.4/123.4 9.7/5.0", error);
        ASSERT_TRUE(serie) << error;
        line->post([&serie](SimMachine& m, SimWriter&) { m.queue(*serie); });
        const std::string erwartet = "10,4;123,4;\n9,7; 5,0;\n\n";
        EXPECT_TRUE(main.runUntil([&] { return lies(datei) == erwartet; }, 5s)) << lies(datei);
        EXPECT_EQ(desk.clipboard, std::vector<std::string>{"10,4;123,4;\n9,7; 5,0;\n"});

        // The log: the opening, the block from STX to ETB and its check byte, the program's ACK
        // after it, and the series handed to the protocol file.
        std::string protokoll;
        for (int versuch = 0; versuch < 50 && protokoll.find("> <ACK>") == std::string::npos; ++versuch) {
            std::this_thread::sleep_for(100ms); // the machine gets its ACK 300 ms after the block
            ASSERT_TRUE(log->schreibenAbwarten());
            protokoll = lies(log->pfad());
        }
        const std::string port = " " + line->portName() + " ";
        EXPECT_NE(protokoll.find(port + "* ge\xC3\xB6"
                                        "ffnet, 9600 Baud, 8N1\n"),
                  std::string::npos)
            << protokoll;
        const auto block = protokoll.find(port + "< <STX>");
        ASSERT_NE(block, std::string::npos) << protokoll;
        const auto blockEnde = protokoll.find('\n', block);
        EXPECT_NE(protokoll.substr(block, blockEnde - block).find("<ETB>"), std::string::npos) << protokoll;
        EXPECT_NE(protokoll.find(port + "> <ACK>\n", blockEnde), std::string::npos) << protokoll;
        EXPECT_NE(protokoll.find(port +
                                 "* Serie an die Ausgabe: Profil \xE2\x80\x9E"
                                 "Standardprofil\xE2\x80\x9C, 2 Schuss, Datei " +
                                 datei + "\n"),
                  std::string::npos)
            << protokoll;

        // The machine goes away (a pulled adapter): the ports close and the profile's machine is
        // named, after the view had its turn.
        int vorher = 0;
        pfad.VorMaschinenfehler = [&] { ++vorher; };
        line->hangUp();
        EXPECT_TRUE(main.runUntil([&] { return !desk.boxes.empty(); }, 5s));
        EXPECT_EQ(vorher, 1);
        EXPECT_FALSE(pfad.Komponente(maSam).Connected());
        ASSERT_EQ(desk.boxes.size(), 1u);
        EXPECT_EQ(desk.boxes[0].text, "SAM an " + line->portName() + "\n\rnicht gefunden!");
    }
    line->stop();
    setUebertragungslog(nullptr);
    setSerienjournal(nullptr);
    EXPECT_FALSE(std::filesystem::exists(journalOptionen.pfad)); // the series was written: nothing kept
}

} // namespace
