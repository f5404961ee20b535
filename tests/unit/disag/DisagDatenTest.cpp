#include "DisagDaten.h"
#include "DisagRm3FernDaten.h"
#include "DisagSchusszeile.h"

#include "Profilliste.h"
#include "ProtokollAusgabe.h"
#include "ScratchDir.h"
#include "ScriptedDesktop.h"

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

// The record of the one shot of a line.
TSchussDatensatz einSchuss(std::string_view zeile) {
    const TDisagSchusszeile z = DisagSchusszeileLesen(zeile);
    EXPECT_EQ(z.Schuesse.size(), 1u) << zeile;
    return z.Schuesse.empty() ? TSchussDatensatz{} : DisagDaten::schussDatensatz(z.Schuesse[0]);
}

TSchussDatensatz schuss(const char* ring, const char* teiler, const char* x, const char* y) {
    TSchussDatensatz s;
    s.Ringwert = ring;
    s.Teiler = teiler;
    s.XKoordinate = x;
    s.YKoordinate = y;
    return s;
}

class DisagDatenTest : public ::testing::Test {
protected:
    void SetUp() override {
        liste.appendStandard(m_ordner.path());
        liste.aktiv().Datensatz = {0, 1, 2, 3, 4, 5}; // every element, in table order
        datei = m_ordner / "Protokoll1.rls";
    }

    void zeilen(std::initializer_list<const char*> texte) {
        for (const char* t : texte)
            daten.DisagComData(t);
    }

    ScratchDir m_ordner{"disag"};
    std::string datei;
    ScriptedDesktop desk;
    Profilliste liste;
    TProtokollAusgabe ausgabe{liste};
    DisagDaten daten{liste, ausgabe};
};

TEST_F(DisagDatenTest, ShotsAreDecodedAndWrittenAsOneSeriesAtWse) {
    zeilen({"STA", "SCH=1;10.4;123.4;90.0;G", "SCH=2;9.7;123.4;180.0;K", "SCH=3;9;50.0;45;G"});
    ASSERT_EQ(daten.SchussListe().size(), 3u);
    EXPECT_EQ(daten.SchussListe()[0], schuss("104", "1234", "0", "123"));
    EXPECT_EQ(daten.SchussListe()[1], schuss("97", "1234", "-123", "0"));
    EXPECT_EQ(daten.SchussListe()[2], schuss("90", "500", "35", "35")); // 9 whole rings, 50.0 at 45 degrees
    EXPECT_TRUE(lies(datei).empty());

    daten.DisagComData("WSE");
    EXPECT_TRUE(daten.SchussListe().empty());
    EXPECT_EQ(lies(datei), "LG;1;10,4;123,4;0;123;\n"
                           "LG;1;9,7;123,4;-123;0;\n"
                           "LG;1;9,0;50,0;35;35;\n\n");
    EXPECT_TRUE(desk.boxes.empty());

    // An empty list still makes a series: only the series separator reaches the file.
    daten.DisagComData("WSE");
    EXPECT_EQ(desk.clipboard.back(), "");
}

// Whole rings as the machine sends them with "RIA=GR" are whole rings, written without tenths;
// several shots of one target in one line are several shots, in order.
TEST_F(DisagDatenTest, WholeRingsAndSeveralShotsInOneLine) {
    liste.aktiv().Zehntelringe = 0;
    liste.aktiv().Datensatz = {2, 3, -1, -1, -1, -1};
    zeilen({"STA", "SCH=22;9;720.5;272;G", "SCH=23;10;148;0;G;24;8;1010.53;270;K;SCH=25;0;0;0;U;", "WSE"});
    EXPECT_EQ(lies(datei), " 9;720,5;\n10;148,0;\n 8;1010,5;\n 0; 0,0;\n\n");
    EXPECT_TRUE(desk.boxes.empty());
}

TEST_F(DisagDatenTest, TargetTypeComesFromTheProfile) {
    const std::pair<int32_t, const char*> faelle[] = {{0, "LG"}, {2, "LG"}, {3, "LP"}, {4, "ZS"},
                                                      {5, "KK"}, {6, ""},   {-1, ""}};
    for (const auto& [typ, code] : faelle) {
        liste.aktiv().Scheibentyp = typ;
        zeilen({"SCH=1;10.0;0.0;0.0;G", "WSE"});
        EXPECT_EQ(desk.clipboard.back(), std::string(code) + ";1;10,0; 0,0;0;0;\n") << typ;
    }
}

TEST_F(DisagDatenTest, OnlyExactStartAndEndLinesCountAndOtherLinesAreIgnored) {
    zeilen({"SCH=1;10.4;123.4;90.0;G", "STA", "WSE1", "WSE ", "STA2", "XYZ", "", "sch=2;1;1;1;G", "SCH"});
    EXPECT_EQ(daten.SchussListe().size(), 1u); // "STA" does not empty the list
    EXPECT_TRUE(desk.clipboard.empty());
    EXPECT_TRUE(desk.boxes.empty());
}

TEST_F(DisagDatenTest, MalformedShotLineIsReportedAndChangesNothing) {
    zeilen({"SCH=1;10.4;123.4;90.0;G"});
    const std::pair<const char*, const char*> schlecht[] = {
        {"SCH=2;9.8;100.0;45.0", "keinen vollst\xE4ndigen Schuss"}, // four fields
        {"SCH=", "keinen vollst\xE4ndigen Schuss"},
        {"SCH=x;9.8;100.0;45.0;G", "Das Feld Schussnummer ist keine ganze Zahl"},
        {"SCH=2;10.41;100.0;45.0;G", "Das Feld Ringwert ist kein Ringwert wie 9 oder 9.2"},
        {"SCH=2;9,8;100.0;45.0;G", "Ringwert"},
        {"SCH=2;9.8;123456.0;45.0;G", "Das Feld Teiler ist kein Teiler wie 720, 720.5 oder 720.53"},
        {"SCH=2;9.8;100.123;45.0;G", "Teiler"},
        {"SCH=2;9.8;-5.0;45.0;G", "Teiler"},
        {"SCH=2;9.8;100.0;abc;G", "Das Feld Winkel ist keine Zahl"},
        {"SCH=2;9.8;100.0;;G", "Winkel"},
        {"SCH=2;9.8;100.0;nan;G", "Winkel"},
        {"SCH=2;9.8;100.0;1e999;G", "Winkel"},
        {"SCH=2;9.8;100.0;45.0;", "keinen vollst\xE4ndigen Schuss"}, // the flag missing
        {"SCH=2;9.8;100.0;45.0;F", "Das Feld Kennung ist nicht G, K oder U"},
        // a good shot and a bad one: the line is not understood, neither is taken
        {"SCH=2;9.8;100.0;45.0;G;3;9.8;100.0;45.0;GG", "Das Feld Kennung des 2. Schusses"}};
    for (const auto& [zeile, grund] : schlecht) {
        desk.boxes.clear();
        daten.DisagComData(zeile);
        ASSERT_EQ(desk.boxes.size(), 1u) << zeile;
        EXPECT_EQ(desk.boxes[0].title, "Fehler");
        EXPECT_NE(desk.boxes[0].text.find("fehlerhafte Schussdaten"), std::string::npos);
        EXPECT_NE(desk.boxes[0].text.find(grund), std::string::npos) << desk.boxes[0].text;
        ASSERT_EQ(daten.SchussListe().size(), 1u) << zeile;
    }
    EXPECT_TRUE(lies(datei).empty());

    // Control bytes of a garbled line are not put on screen, and a long one is cut.
    desk.boxes.clear();
    daten.DisagComData("SCH=\x01\x1b" + std::string(500, 'x'));
    ASSERT_EQ(desk.boxes.size(), 1u);
    EXPECT_EQ(desk.boxes[0].text.find('\x1b'), std::string::npos);
    EXPECT_LT(desk.boxes[0].text.size(), 250u);
}

// A line that ends in a group without all its fields: the complete shots are taken, the rest is
// not guessed, and the user is told which line it was.
TEST_F(DisagDatenTest, IncompleteLastShotOfALineIsToldAndTheShotsBeforeItKept) {
    daten.DisagComData("SCH=1;10.4;123.4;90.0;G;2;9.7");
    ASSERT_EQ(desk.boxes.size(), 1u);
    EXPECT_EQ(desk.boxes[0].title, "Hinweis");
    EXPECT_NE(desk.boxes[0].text.find("SCH=1;10.4;123.4;90.0;G;2;9.7"), std::string::npos);
    ASSERT_EQ(daten.SchussListe().size(), 1u);
    EXPECT_EQ(daten.SchussListe()[0], schuss("104", "1234", "0", "123"));
}

TEST(DisagSchusszeile, EveryFieldOfEveryGroupIsRead) {
    const auto shots = [](std::string_view zeile) {
        std::string s;
        for (const TDisagSchuss& x : DisagSchusszeileLesen(zeile).Schuesse)
            s += std::to_string(x.Schussnr) + " " + x.Ringwert + "=" + std::to_string(x.RingZehntel) + " " +
                 x.Teiler + "=" + std::to_string(x.TeilerZehntel) + " " + x.Kennung + "|";
        return s;
    };
    EXPECT_EQ(shots("SCH=22;9;720.5;272;G"), "22 9=90 720.5=7205 G|"); // the maker's example
    EXPECT_EQ(shots("SCH=1;7.2;2973.0;164.7;G"), "1 7.2=72 2973.0=29730 G|");
    EXPECT_EQ(shots("SCH=1;10;720;0;K"), "1 10=100 720=7200 K|");
    EXPECT_EQ(shots("SCH=1;10.9;720.53;0;U;"), "1 10.9=109 720.53=7205 U|"); // hundredths cut
    EXPECT_EQ(shots("SCH=1;0.0;99999.99;0;G;2;9;0;0;K;SCH=3;8.1;5.0;0;U"),
              "1 0.0=0 99999.99=999999 G|2 9=90 0=0 K|3 8.1=81 5.0=50 U|");
    const TDisagSchusszeile rest = DisagSchusszeileLesen("SCH=1;9;1;0;G;2;9;1;0");
    EXPECT_EQ(rest.Schuesse.size(), 1u);
    EXPECT_TRUE(rest.Unvollstaendig);
    EXPECT_TRUE(rest.Fehler.empty());
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
        {"SCH=1;9.0;2627.1;0.5;G", "26271", "2626", "22"},     // 2626.99996808...
        {"SCH=1;9.0;1000.0;-30.0;G", "10000", "866", "-500"},  // -500 exactly
        {"SCH=1;9.0;100.0;0.000001;G", "1000", "99", "0"},     // 99.99999999999998...
        {"SCH=1;9.0;9999.9;359.9;G", "99999", "9999", "-17"},  // 9999.88..., -17.45...
        // 1e30 as a float is 120 degrees beyond a multiple of 360: -50 exactly, 86.60...
        {"SCH=1;9.0;100.0;1000000000000000000000000000000;G", "1000", "-50", "86"},
    };
    for (const Fall& f : faelle) {
        const TSchussDatensatz s = einSchuss(f.zeile);
        EXPECT_EQ(s.Teiler, f.teiler) << f.zeile;
        EXPECT_EQ(s.XKoordinate, f.x) << f.zeile;
        EXPECT_EQ(s.YKoordinate, f.y) << f.zeile;
    }
}

TEST_F(DisagDatenTest, AngleIsReadWithAPointWhateverTheLocale) {
    const std::string vorher = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8"); // where installed; the result must not change
    const TSchussDatensatz s = einSchuss("SCH=1;10.0;100.0;-90.5;G");
    std::setlocale(LC_NUMERIC, vorher.c_str());
    EXPECT_EQ(s.XKoordinate, "0"); // 1000 * cos(-90.5 deg) * 0.1 = -0.87: truncated to 0
    EXPECT_EQ(s.YKoordinate, "-99");
}

TEST_F(DisagDatenTest, ShotsArrivingWhileASeriesIsWrittenBelongToTheNextSeries) {
    liste.aktiv().Dateimodus = 1; // one record per file, with the overwrite warning
    liste.aktiv().Warnen = 1;
    std::ofstream(datei) << "noch nicht abgeholt";
    bool einmal = true;
    desk.whileOpen = [&] {
        if (std::exchange(einmal, false))
            daten.DisagComData("SCH=1;8.0;400.0;0.0;G"); // the machine goes on meanwhile
    };
    zeilen({"SCH=1;10.4;123.4;90.0;G", "WSE"});
    ASSERT_EQ(desk.warnings.size(), 1u);
    EXPECT_EQ(lies(datei), "LG;1;10,4;123,4;0;123;\n\n");
    ASSERT_EQ(daten.SchussListe().size(), 1u);
    EXPECT_EQ(daten.SchussListe()[0], schuss("80", "4000", "400", "0"));
}

TEST_F(DisagDatenTest, FaultyShotIsToldAndItsValueKept) {
    std::string ring = "0.0";
    daten.DisagComEdit(12, ring);
    ASSERT_EQ(desk.boxes.size(), 1u);
    EXPECT_EQ(desk.boxes[0].text, "Schuss 12 ist fehlerhaft!");
    EXPECT_EQ(desk.boxes[0].title, "Fehler");
    EXPECT_EQ(desk.boxes[0].flags, unsigned{Mb::Ok | Mb::IconError});
    EXPECT_EQ(ring, "0.0");
}

// The RM III's older remote program: one result line per shot, "SCHEIBE", "ENDE".
class DisagRm3FernDatenTest : public DisagDatenTest {
protected:
    DisagRm3FernDaten fern{liste, ausgabe};
};

TEST_F(DisagRm3FernDatenTest, ResultLinesBecomeShotsAndEndeWritesTheSeries) {
    struct Zeile {
        const char* zeile;
        TSchussDatensatz schuss;
        const char* meldung; // the faulty-shot message, if any
    };
    const Zeile tabelle[] = {
        // the machine's own lines
        {"2;8.0;749.1;2.82;-2.75;N", schuss("80", "7491", "282", "-275"), ""},
        {"7;9.0;-;1.33;-0.14;N", schuss("90", "0", "133", "-14"), "Schuss 7 ist fehlerhaft!"},
        {"8;10.6;-;-0.08;0.31;N", schuss("106", "0", "-8", "31"), "Schuss 8 ist fehlerhaft!"},
        {"4;8.7;-;0.07;-2.22;N", schuss("87", "0", "7", "-222"), "Schuss 4 ist fehlerhaft!"},
        // not evaluable, to be checked by hand, whole rings, a divisor in hundredths
        {"3;?.?;-;0.00;-0.00;N", schuss("0", "0", "0", "0"), "Schuss 3 ist fehlerhaft!"},
        {"12;9.3;120.45;1.5;-3;M", schuss("93", "1204", "150", "-300"), "Schuss 12 ist fehlerhaft!"},
        {"1;9;35.0;+0.10;0.2;N", schuss("90", "350", "10", "20"), ""},
    };
    std::vector<TSchussDatensatz> erwartet;
    for (const Zeile& z : tabelle) {
        desk.boxes.clear();
        fern.DisagRm3FernComData(z.zeile);
        erwartet.push_back(z.schuss);
        EXPECT_EQ(fern.SchussListe(), erwartet) << z.zeile;
        ASSERT_EQ(desk.boxes.size(), *z.meldung ? 1u : 0u) << z.zeile;
        if (*z.meldung) {
            EXPECT_EQ(desk.boxes[0].text, z.meldung);
            EXPECT_EQ(desk.boxes[0].title, "Fehler");
        }
    }
    fern.DisagRm3FernComData("SCHEIBE");
    EXPECT_EQ(desk.trayMessages, std::vector<std::string>{"N\xE4"
                                                          "chste Scheibe einlegen"});
    EXPECT_TRUE(lies(datei).empty());

    liste.aktiv().Scheibentyp = 3;
    fern.DisagRm3FernComData("ENDE");
    EXPECT_TRUE(fern.SchussListe().empty());
    EXPECT_EQ(lies(datei), "LP;1;8,0;749,1;282;-275;\n"
                           "LP;1;9,0; 0,0;133;-14;\n"
                           "LP;1;10,6; 0,0;-8;31;\n"
                           "LP;1;8,7; 0,0;7;-222;\n"
                           "LP;1;0,0; 0,0;0;0;\n"
                           "LP;1;9,3;120,4;150;-300;\n"
                           "LP;1;9,0;35,0;10;20;\n\n");
}

TEST_F(DisagRm3FernDatenTest, MalformedResultLineIsReportedAndChangesNothing) {
    fern.DisagRm3FernComData("2;8.0;749.1;2.82;-2.75;N");
    const std::pair<const char*, const char*> schlecht[] = {
        {"2;8.0;749.1;2.82;-2.75", "sechs Felder"},
        {"2;8.0;749.1;2.82;-2.75;N;", "sechs Felder"},
        {"2;8.0", "sechs Felder"},
        {"x;8.0;749.1;2.82;-2.75;N", "Schussnummer"},
        {";8.0;749.1;2.82;-2.75;N", "Schussnummer"},
        {"2;8,0;749.1;2.82;-2.75;N", "Ringwert"},
        {"2;-8.0;749.1;2.82;-2.75;N", "Ringwert"},
        {"2;?;749.1;2.82;-2.75;N", "Ringwert"},
        {"2;8.0;749.123;2.82;-2.75;N", "Teiler"},
        {"2;8.0;;2.82;-2.75;N", "Teiler"},
        {"2;8.0;749.1;2.;-2.75;N", "Das Feld X"},
        {"2;8.0;749.1;2.82;--2.75;N", "Das Feld Y"},
        {"2;8.0;749.1;2.82;-2.75;G", "Kennung"},
        {"2;8.0;749.1;2.82;-2.75;n", "Kennung"},
    };
    for (const auto& [zeile, grund] : schlecht) {
        desk.boxes.clear();
        fern.DisagRm3FernComData(zeile);
        ASSERT_EQ(desk.boxes.size(), 1u) << zeile;
        EXPECT_EQ(desk.boxes[0].title, "Fehler");
        EXPECT_NE(desk.boxes[0].text.find("fehlerhafte Schussdaten"), std::string::npos);
        EXPECT_NE(desk.boxes[0].text.find(grund), std::string::npos) << desk.boxes[0].text;
        EXPECT_EQ(fern.SchussListe().size(), 1u) << zeile;
    }
    // Lines without a field are nothing the series needs.
    desk.boxes.clear();
    for (const char* zeile : {"START", "", "ENDE ", "Scheibe"})
        fern.DisagRm3FernComData(zeile);
    EXPECT_TRUE(desk.boxes.empty());
    EXPECT_TRUE(desk.trayMessages.empty());
    EXPECT_EQ(fern.SchussListe().size(), 1u);
    EXPECT_TRUE(lies(datei).empty());
}

} // namespace
