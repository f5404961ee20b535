#include "Rm3WinDaten.h"

#include "Profilliste.h"
#include "ScratchDir.h"
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
        liste.appendStandard(m_ordner.path());
        liste.aktiv().Datensatz = {0, 1, 2, 3, 4, 5}; // every element, in table order
        datei = m_ordner / "Protokoll1.rls";
    }

    void zeilen(std::initializer_list<const char*> texte) {
        for (const char* t : texte)
            daten.Rm3WinCom1Data(t);
    }

    ScratchDir m_ordner{"disag"};
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
    const char* schlecht[] = {"SCH=2;9.8;100.0;45.0",    // three ";"
                              "SCH=",                    // none
                              "SCH=2;9.8;100.0;abc;",    // angle not a number
                              "SCH=2;9.8;100.0;;",       // angle empty
                              "SCH=2;9.8;100.0;nan;",    // angle not finite
                              "SCH=2;9.8;100.0;1e999;"}; // angle out of range
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

// Values too wide for the machine's own fields are kept whole; only garbage longer than any value
// is refused, naming the field, and never cut into a number.
TEST_F(DisagDaten, ValuesAreKeptWholeAndAnOverlongFieldIsRefused) {
    zeilen({"SCH=1;10.4;12345.0;0.0;", "SCH=2;10.41;1.0;90.0;"});
    const std::string lang(FieldText::maxSize, '9');
    daten.Rm3WinCom1Data("SCH=3;10.0;" + lang + "9.0;0.0;"); // one digit too many
    ASSERT_EQ(desk.boxes.size(), 1u);
    EXPECT_NE(desk.boxes[0].text.find("\n\rDas Feld Teiler ist l\xE4nger als 32 Zeichen.\n\r"
                                      "Dieser Schuss wird nicht gespeichert."),
              std::string::npos);
    daten.Rm3WinCom1Data("SCH=3;" + lang + ".0;100.0;0.0;");
    ASSERT_EQ(desk.boxes.size(), 2u);
    EXPECT_NE(desk.boxes[1].text.find("Das Feld Ringwert ist"), std::string::npos);

    // Within 32 characters but beyond what a number of tenths can hold: refused, not clamped.
    daten.Rm3WinCom1Data("SCH=3;10.0;1234567890.0;0.0;");
    ASSERT_EQ(desk.boxes.size(), 3u);
    EXPECT_NE(desk.boxes[2].text.find("Der Wert im Feld Teiler ist zu gro\xDF."), std::string::npos);

    daten.Rm3WinCom1Data("WSE");
    EXPECT_EQ(lies(datei), "LG;1;10,4;12345,0;12345;0;\n"
                           "LG;1;104,1; 1,0;0;1;\n\n");
}

// Expected coordinates worked out with 60-digit arithmetic (bc) from the angle's float value.
TEST(DisagKoordinaten, ExactValueOfTheFloatAngleTruncated) {
    struct Fall {
        const char* zeile;
        const char *teiler, *x, *y;
    };
    const Fall faelle[] = {
        {"SCH=1;7.2;2973.0;164.7;G", "29730", "-2867", "784"}, // -2867.629..., 784.494...
        {"SCH=6;10.0;50.0;60.0;G", "500", "25", "43"},         // 25 exactly
        {"SCH=1;9.0;2627.1;0.5;", "26271", "2626", "22"},      // 2626.99996808...
        {"SCH=1;9.0;1000.0;-30.0;", "10000", "866", "-500"},   // -500 exactly
        {"SCH=1;9.0;100.0;0.000001;", "1000", "99", "0"},      // 99.99999999999998...
        {"SCH=1;9.0;9999.9;359.9;", "99999", "9999", "-17"},   // 9999.88..., -17.45...
        // 1e30 as a float is 120 degrees beyond a multiple of 360: -50 exactly, 86.60...
        {"SCH=1;9.0;100.0;1000000000000000000000000000000;", "1000", "-50", "86"},
    };
    for (const Fall& f : faelle) {
        const auto s = Rm3WinDaten::schussAusZeile(f.zeile);
        ASSERT_TRUE(s) << f.zeile;
        EXPECT_EQ(s->Teiler, f.teiler) << f.zeile;
        EXPECT_EQ(s->XKoordinate, f.x) << f.zeile;
        EXPECT_EQ(s->YKoordinate, f.y) << f.zeile;
    }
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
    EXPECT_EQ(desk.boxes[0].flags, unsigned{Mb::Ok | Mb::IconError});
    EXPECT_EQ(ring, "0.0");
}

} // namespace
