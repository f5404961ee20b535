#include "Rm3WinDaten.h"

#include "Profilliste.h"
#include "ScriptedDesktop.h"
#include "TProtokollAusgabe.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdlib.h>
#include <string>

namespace {

std::string lies(const std::string& pfad) {
    std::ifstream in(pfad, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TSchussDatensatz schuss(const char* ring, const char* teiler, const char* x, const char* y) {
    TSchussDatensatz s;
    s.Ringwert = ring;
    s.Teiler = teiler;
    s.XKoordinate = x;
    s.YKoordinate = y;
    return s;
}

class DisagDaten : public ::testing::Test {
protected:
    void SetUp() override {
        char vorlage[] = "/tmp/trefflux-disag-XXXXXX";
        ASSERT_NE(::mkdtemp(vorlage), nullptr);
        m_ordner = vorlage;
        liste.appendStandard(m_ordner);
        liste.aktiv().Datensatz = {0, 1, 2, 3, 4, 5}; // every element, in table order
        datei = m_ordner + "/Protokoll1.rls";
    }
    void TearDown() override { std::filesystem::remove_all(m_ordner); }

    void zeilen(std::initializer_list<const char*> texte) {
        for (const char* t : texte)
            daten.Rm3WinCom1Data(t);
    }

    std::string m_ordner;
    std::string datei;
    ScriptedDesktop desk;
    Profilliste liste;
    TProtokollAusgabe ausgabe{liste};
    Rm3WinDaten daten{liste, ausgabe};
};

TEST_F(DisagDaten, ShotsAreDecodedAndWrittenAsOneSeriesAtWse) {
    zeilen({"STA", "SCH=1;10.4;123.4;90.0;", "SCH=2;9.7;123.4;180.0;37;G", "SCH=3;9;50.0;45;"});
    ASSERT_EQ(daten.SchussListe().size(), 3u);
    EXPECT_EQ(daten.SchussListe()[0], schuss("104", "1234", "0", "123"));
    EXPECT_EQ(daten.SchussListe()[1], schuss("97", "1234", "-123", "0"));
    EXPECT_EQ(daten.SchussListe()[2], schuss("9", "500", "35", "35")); // 50.0 at 45 degrees
    EXPECT_TRUE(lies(datei).empty());

    daten.Rm3WinCom1Data("WSE");
    EXPECT_TRUE(daten.SchussListe().empty());
    EXPECT_EQ(lies(datei), "LG;1;10,4;123,4;0;123;\n"
                           "LG;1;9,7;123,4;-123;0;\n"
                           "LG;1;0,9;50,0;35;35;\n\n");
    EXPECT_TRUE(desk.boxes.empty());

    // An empty list still makes a series: only the series separator reaches the file.
    daten.Rm3WinCom1Data("WSE");
    EXPECT_EQ(desk.clipboard.back(), "");
}

TEST_F(DisagDaten, TargetTypeComesFromTheProfile) {
    const std::pair<int32_t, const char*> faelle[] = {{0, "LG"}, {2, "LG"}, {3, "LP"}, {4, "ZS"},
                                                      {5, "KK"}, {6, ""},   {-1, ""}};
    for (const auto& [typ, code] : faelle) {
        liste.aktiv().Scheibentyp = typ;
        zeilen({"SCH=1;10.0;0.0;0.0;", "WSE"});
        EXPECT_EQ(desk.clipboard.back(), std::string(code) + ";1;10,0; 0,0;0;0;\n") << typ;
    }
}

TEST_F(DisagDaten, OnlyExactStartAndEndLinesCountAndOtherLinesAreIgnored) {
    zeilen({"SCH=1;10.4;123.4;90.0;", "STA", "WSE1", "WSE ", "STA2", "XYZ", "", "sch=2;1;1;1;", "SCH"});
    EXPECT_EQ(daten.SchussListe().size(), 1u); // "STA" does not empty the list
    EXPECT_TRUE(desk.clipboard.empty());
    EXPECT_TRUE(desk.boxes.empty());
}

TEST_F(DisagDaten, MalformedShotLineIsReportedAndChangesNothing) {
    zeilen({"SCH=1;10.4;123.4;90.0;"});
    const char* schlecht[] = {"SCH=2;9.8;100.0;45.0",   // three ";"
                              "SCH=",                   // none
                              "SCH=2;9.8;100.0;abc;",   // angle not a number
                              "SCH=2;9.8;100.0;;",      // angle empty
                              "SCH=2;9.8;100.0;nan;",   // angle not finite
                              "SCH=2;9.8;100.0;1e999;", // angle out of range
                              "SCH=2;10.41;1.0;0;",     // ring value wider than its field
                              "SCH=2;9.8;123456.7;0;"}; // divisor wider than its field
    for (const char* zeile : schlecht) {
        desk.boxes.clear();
        daten.Rm3WinCom1Data(zeile);
        ASSERT_EQ(desk.boxes.size(), 1u) << zeile;
        EXPECT_EQ(desk.boxes[0].title, "Fehler");
        EXPECT_NE(desk.boxes[0].text.find("fehlerhafte Schussdaten"), std::string::npos);
        ASSERT_EQ(daten.SchussListe().size(), 1u) << zeile;
    }
    EXPECT_TRUE(lies(datei).empty());

    // Control bytes of a garbled line are not put on screen, and a long one is cut.
    desk.boxes.clear();
    daten.Rm3WinCom1Data("SCH=\x01\x1b" + std::string(500, 'x'));
    ASSERT_EQ(desk.boxes.size(), 1u);
    EXPECT_EQ(desk.boxes[0].text.find('\x1b'), std::string::npos);
    EXPECT_LT(desk.boxes[0].text.size(), 200u);
}

TEST_F(DisagDaten, AngleIsReadWithAPointWhateverTheLocale) {
    const std::string vorher = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8"); // where installed; the result must not change
    const auto s = Rm3WinDaten::schussAusZeile("SCH=1;10.0;100.0;-90.5;");
    std::setlocale(LC_NUMERIC, vorher.c_str());
    ASSERT_TRUE(s);
    EXPECT_EQ(s->XKoordinate, "0"); // 1000 * cos(-90.5 deg) * 0.1 = -0.87: truncated to 0
    EXPECT_EQ(s->YKoordinate, "-99");
}

TEST_F(DisagDaten, ShotsArrivingWhileASeriesIsWrittenBelongToTheNextSeries) {
    liste.aktiv().Dateimodus = 1; // one record per file, with the overwrite warning
    liste.aktiv().Warnen = 1;
    std::ofstream(datei) << "noch nicht abgeholt";
    bool einmal = true;
    desk.whileOpen = [&] {
        if (std::exchange(einmal, false))
            daten.Rm3WinCom1Data("SCH=1;8.0;400.0;0.0;"); // the machine goes on meanwhile
    };
    zeilen({"SCH=1;10.4;123.4;90.0;", "WSE"});
    ASSERT_EQ(desk.warnings.size(), 1u);
    EXPECT_EQ(lies(datei), "LG;1;10,4;123,4;0;123;\n\n");
    ASSERT_EQ(daten.SchussListe().size(), 1u);
    EXPECT_EQ(daten.SchussListe()[0], schuss("80", "4000", "400", "0"));
}

TEST_F(DisagDaten, FaultyShotIsToldAndItsValueKept) {
    std::string ring = "0.0";
    daten.Rm3WinCom1Edit(12, ring);
    ASSERT_EQ(desk.boxes.size(), 1u);
    EXPECT_EQ(desk.boxes[0].text, "Schuss 12 ist fehlerhaft!");
    EXPECT_EQ(desk.boxes[0].title, "Fehler");
    EXPECT_EQ(desk.boxes[0].flags, unsigned{Mb::Ok});
    EXPECT_EQ(ring, "0.0");
}

} // namespace
