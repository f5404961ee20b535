// The journal of what the machines handed over: what a run leaves alive is exactly what the next
// start finds (a record torn by a power cut left out), the file stays small and goes when
// nothing is alive, and the protocol writer lets a series go only once the protocol file is on
// disk.

#include "Serienjournal.h"

#include "PlainMainThread.h"
#include "PlatformFile.h"
#include "Profilliste.h"
#include "ProtokollAusgabe.h"
#include "ScratchDir.h"
#include "ScriptedDesktop.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>

namespace {

using Q = Serienjournal::Quelle;
using Ziel = Serienjournal::Ziel;

Serienjournal::Optionen optionen(const std::string& pfad) {
    Serienjournal::Optionen o;
    o.pfad = pfad;
    o.melden = [](const std::string& text) { ADD_FAILURE() << text; };
    return o;
}

// The main thread's side of one piece: handled, with the series it made.
std::uint64_t bearbeiten(Serienjournal& j, Q quelle, std::uint64_t nr, const Ziel* ziel = nullptr) {
    std::uint64_t serie = 0;
    {
        const Serienjournal::Bearbeitung b(j, quelle, nr);
        if (ziel)
            serie = j.serieAufnehmen(*ziel, "datei", "ablage");
    }
    j.bearbeitet(quelle, nr);
    return serie;
}

TEST(Serienjournal, WhatARunLeavesAliveIsWhatTheNextStartFinds) {
    const ScratchDir dir("journal");
    const std::string pfad = dir / "serien.journal";
    const Ziel alle{"C:\\Verein\\Protokoll1.rls", 0, false, ""};
    const Ziel einzel{"/srv/\xE4nderung.rls", 1, true, "Ringwert;\n\n"};
    {
        Serienjournal j(optionen(pfad));
        EXPECT_TRUE(j.nachlassNehmen().serien.empty());
        j.setZiel(alle);
        j.erledigt(bearbeiten(j, Q::sam, j.aufnehmen(Q::sam, "ein Block"), &alle)); // written
        bearbeiten(j, Q::rika,
                   j.aufnehmen(Q::rika, "M\xFC"
                                        "ll"));                                // no series in it
        bearbeiten(j, Q::sam, j.aufnehmen(Q::sam, "noch ein Block"), &einzel); // the file failed
        // A Disag series goes with the series made at its "WSE", every line before it too.
        for (const char* zeile : {"STA", "SCH=1;9.8;123.4;45.0;G"})
            bearbeiten(j, Q::disag, j.aufnehmen(Q::disag, zeile));
        j.erledigt(bearbeiten(j, Q::disag, j.aufnehmen(Q::disag, "WSE"), &alle));
        // The next Disag series has not ended; the target changes between its lines.
        bearbeiten(j, Q::disag, j.aufnehmen(Q::disag, "STA"));
        j.setZiel(einzel);
        bearbeiten(j, Q::disag, j.aufnehmen(Q::disag, "SCH=2;10.4;5.0;0.0;\t%\r"));
        j.aufnehmen(Q::rika, "kam, wurde aber nicht mehr bearbeitet");
        j.spaeterMelden("Beim letzten Beenden ...");
        ASSERT_TRUE(j.sichernAbwarten());
    }
    // A power cut tore the last record; another one was damaged on the disk.
    writeFile(pfad, readFile(pfad) + "0badc0de\tE\t99\tS\t0\t\t0\t0\t\tverloren\t\n" +
                        "12345678\tE\t100\tS\t0\t\t0\t0\t\thalb");
    for (const bool ersterStart : {true, false}) {
        Serienjournal j(optionen(pfad));
        const Serienjournal::Nachlass n = j.nachlassNehmen();
        ASSERT_EQ(n.serien.size(), 1u);
        EXPECT_EQ(n.serien[0].ziel, einzel);
        EXPECT_EQ(n.serien[0].datei, "datei");
        EXPECT_EQ(n.serien[0].zwischenablage, "ablage");
        ASSERT_EQ(n.stuecke.size(), 3u);
        EXPECT_EQ(n.stuecke[0].daten, "STA");
        EXPECT_EQ(n.stuecke[0].ziel, alle);
        EXPECT_EQ(n.stuecke[1].daten, "SCH=2;10.4;5.0;0.0;\t%\r");
        EXPECT_EQ(n.stuecke[1].ziel, einzel);
        EXPECT_EQ(n.stuecke[2].quelle, Q::rika);
        EXPECT_LT(n.serien[0].nr, n.stuecke[0].nr);
        // a message is shown at one start only
        EXPECT_EQ(n.meldungen, ersterStart ? std::vector<std::string>{"Beim letzten Beenden ..."}
                                           : std::vector<std::string>{});
        if (ersterStart)
            continue; // a crash again: everything else is still there
        j.erledigt(n.serien[0].nr);
        j.verbraucht(Q::disag, n.stuecke[1].nr);
        bearbeiten(j, Q::rika, n.stuecke[2].nr);
    }
    // Nothing alive at the end: the file goes.
    EXPECT_FALSE(std::filesystem::exists(pfad));
}

TEST(Serienjournal, TheFileIsRewrittenWithWhatIsAliveOnceItHasGrown) {
    const ScratchDir dir("journal");
    const std::string pfad = dir / "serien.journal";
    Serienjournal::Optionen o = optionen(pfad);
    o.verdichtenAb = 8192;
    {
        Serienjournal j(std::move(o));
        const std::uint64_t bleibt = j.aufnehmen(Q::sam, "bleibt");
        for (int i = 0; i < 1000; ++i) {
            const Ziel ziel{std::string(100, 'x'), 0, false, ""};
            j.erledigt(bearbeiten(j, Q::sam, j.aufnehmen(Q::sam, std::string(200, 'y')), &ziel));
        }
        ASSERT_TRUE(j.sichernAbwarten());
        EXPECT_LT(std::filesystem::file_size(pfad), 2u * 8192);
        EXPECT_GT(bleibt, 0u);
    }
    Serienjournal j(optionen(pfad));
    const Serienjournal::Nachlass n = j.nachlassNehmen();
    ASSERT_EQ(n.stuecke.size(), 1u);
    EXPECT_EQ(n.stuecke[0].daten, "bleibt");
}

// A kill cannot show it, a power cut would: the protocol writer's series leaves the journal only
// once the protocol file has been flushed to disk, and it was on disk in the journal before.
TEST(Serienjournal, TheProtocolFileIsOnDiskBeforeTheJournalLetsTheSeriesGo) {
    const ScratchDir dir("journal");
    const std::string journalpfad = dir / "serien.journal";
    const std::string protokoll = dir / "fehlt/Protokoll1.rls";
    PlainMainThread main;
    ScriptedDesktop desk;
    Profilliste liste;
    liste.appendStandard(dir.path());
    setText(liste.aktiv().Dateiname, protokoll);
    liste.aktiv().Datensatz = {2, -1, -1, -1, -1, -1};

    std::mutex mutex;
    std::vector<std::string> spur; // what reached the disk, in order
    std::uint64_t vorDemFlush = 0; // the journal's last record when the protocol file was flushed
    {
        Serienjournal journal(optionen(journalpfad));
        platform::PlatformFile::setFlushObserver([&](const std::string& pfad) {
            std::lock_guard lock(mutex);
            if (pfad == protokoll) {
                spur.push_back("Protokolldatei");
                vorDemFlush = journal.letzteNr();
            } else if (pfad == journalpfad) {
                spur.push_back("Journal");
            }
        });
        TProtokollAusgabe ausgabe(liste);
        ausgabe.setJournal(&journal);
        TSerienDatensatz serie;
        serie.Schusszahl = "1";
        serie.Schuesse.resize(1);
        serie.Schuesse[0].Ringwert = "104";
        ausgabe.WriteSeries(serie); // the folder is missing: kept
        ASSERT_TRUE(journal.sichernAbwarten());
        std::filesystem::create_directory(dir / "fehlt");
        ausgabe.Wiederholen();
        ASSERT_TRUE(journal.sichernAbwarten());
        EXPECT_EQ(readFile(protokoll), "10,4;\n\n");
        // the record that finishes the series came after the flush, and reached the disk after it
        EXPECT_GT(journal.letzteNr(), vorDemFlush);
        platform::PlatformFile::setFlushObserver(nullptr);
    }
    EXPECT_EQ(spur, (std::vector<std::string>{"Journal", "Protokolldatei", "Journal"}));
    EXPECT_FALSE(std::filesystem::exists(journalpfad)); // nothing left alive
}

} // namespace
