#include "SamRikaDaten.h"

#include "Profilliste.h"
#include "ProtokollAusgabe.h"
#include "ScratchDir.h"
#include "ScriptedDesktop.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

// A text of the given width with each field written at its offset and ended by ";" (the CR of
// the machine) where there is room.
std::string bloecke(std::size_t breite, std::initializer_list<std::pair<std::size_t, std::string>> felder) {
    std::string text(breite, ' ');
    for (const auto& [offset, wert] : felder) {
        text.replace(offset, wert.size(), wert);
        if (offset + wert.size() < breite)
            text[offset + wert.size()] = ';';
    }
    return text;
}

std::string samKopf(const std::string& typ, const std::string& faktor, const std::string& anzahl) {
    return bloecke(31, {{0, "SAM"}, {18, typ}, {24, faktor}, {28, anzahl}});
}
std::string samSchuss(const std::string& ring, const std::string& teiler, const std::string& x,
                      const std::string& y) {
    return bloecke(24, {{0, ring}, {5, teiler}, {12, x}, {18, y}});
}
std::string rikaKopf(const std::string& typ, const std::string& faktor, const std::string& anzahl) {
    return bloecke(32, {{0, "RIKA"}, {22, typ}, {25, faktor}, {28, anzahl}});
}
std::string rikaSchuss(const std::string& ring, const std::string& teiler, const std::string& x,
                       const std::string& y) {
    return bloecke(24, {{0, ring}, {4, teiler}, {10, x}, {17, y}});
}

const std::string samBeispiel =
    samKopf("LG", "1", "02") + samSchuss("10.4", "123.4", "12", "-5") + samSchuss("9.7", "5.0", "0", "3");

TEST(SamSerie, DecodesHeaderAndShotsInWholeTenths) {
    const auto serie = SamSerie(samBeispiel);
    ASSERT_TRUE(serie);
    EXPECT_EQ(serie->Scheibentyp, "LG");
    EXPECT_EQ(serie->Teilerfaktor, "1");
    EXPECT_EQ(serie->Schusszahl, "02");
    ASSERT_EQ(serie->Schuesse.size(), 2u);
    EXPECT_EQ(serie->Schuesse[0].Ringwert, "104");
    EXPECT_EQ(serie->Schuesse[0].Teiler, "01234");
    EXPECT_EQ(serie->Schuesse[0].XKoordinate, "12");
    EXPECT_EQ(serie->Schuesse[0].YKoordinate, "-5");
    EXPECT_EQ(serie->Schuesse[1].Ringwert, "097");
    EXPECT_EQ(serie->Schuesse[1].Teiler, "00050");
}

TEST(SamSerie, ReadsNumbersTheWayTheMachinePrintsThem) {
    EXPECT_EQ(ZehntelAusDezimal("9.7"), 97);
    EXPECT_EQ(ZehntelAusDezimal("  10.4"), 104);
    EXPECT_EQ(ZehntelAusDezimal("5"), 50);
    EXPECT_EQ(ZehntelAusDezimal("5."), 50);
    EXPECT_EQ(ZehntelAusDezimal(".5"), 5);
    EXPECT_EQ(ZehntelAusDezimal("123.45"), 1234); // further decimals dropped, not rounded
    EXPECT_EQ(ZehntelAusDezimal("-1.25"), -12);
    EXPECT_EQ(ZehntelAusDezimal("+3.3xyz"), 33);
    EXPECT_EQ(ZehntelAusDezimal("9,7"), 90); // a comma ends the number
    EXPECT_EQ(ZehntelAusDezimal(""), 0);
    EXPECT_EQ(ZehntelAusDezimal("abc"), 0);
    EXPECT_EQ(ZehntelAusDezimal("99999999999999999999.9"), 999999999);
}

TEST(SamSerie, FieldsEndAtTheirBlockAndAreTakenWhole) {
    // No ";" in the shot block: the Y field runs to the block's end, never into the next block.
    std::string schuss = samSchuss("10.4", "123.4", "1234567890", "");
    schuss.replace(18, 6, "ABCDEF");
    const auto serie = SamSerie(samKopf("LGX", "123", "2") + schuss + samSchuss("1.0", "2.0", "3", "4"));
    ASSERT_TRUE(serie);
    EXPECT_EQ(serie->Scheibentyp, "LGX");
    EXPECT_EQ(serie->Teilerfaktor, "123");
    EXPECT_EQ(serie->Schuesse[0].XKoordinate, "123456ABCDEF");
    EXPECT_EQ(serie->Schuesse[0].YKoordinate, "ABCDEF");
    EXPECT_EQ(serie->Schuesse[1].Ringwert, "010");
}

TEST(SamSerie, ShotCountZeroOrNegativeGivesASeriesWithoutShots) {
    auto serie = SamSerie(samKopf("LG", "1", "0"));
    ASSERT_TRUE(serie);
    EXPECT_TRUE(serie->Schuesse.empty());
    serie = SamSerie(samKopf("LG", "1", "-3"));
    ASSERT_TRUE(serie);
    EXPECT_TRUE(serie->Schuesse.empty());
}

TEST(SamSerie, TextTooShortForHeaderOrAnnouncedShotsGivesNothing) {
    EXPECT_FALSE(SamSerie(""));
    EXPECT_FALSE(SamSerie(samKopf("LG", "1", "0").substr(0, 30)));
    EXPECT_FALSE(SamSerie(samBeispiel.substr(0, samBeispiel.size() - 1)));
    EXPECT_FALSE(SamSerie(samKopf("LG", "1", "99999") + samSchuss("1", "1", "1", "1")));
}

TEST(RikaSerie, CopiesEveryFieldVerbatim) {
    const auto serie = RikaSerie(rikaKopf("LG", "01", "2") + rikaSchuss("104", "01234", " 12", "-5") +
                                 rikaSchuss(" 97", "50", "0", "0"));
    ASSERT_TRUE(serie);
    EXPECT_EQ(serie->Scheibentyp, "LG");
    EXPECT_EQ(serie->Teilerfaktor, "01");
    ASSERT_EQ(serie->Schuesse.size(), 2u);
    EXPECT_EQ(serie->Schuesse[0].Ringwert, "104");
    EXPECT_EQ(serie->Schuesse[0].Teiler, "01234");
    EXPECT_EQ(serie->Schuesse[0].XKoordinate, " 12");
    EXPECT_EQ(serie->Schuesse[1].Ringwert, " 97");
    EXPECT_EQ(serie->Schuesse[1].Teiler, "50");
    EXPECT_FALSE(RikaSerie(rikaKopf("LG", "1", "1")));
    EXPECT_FALSE(RikaSerie(rikaKopf("LG", "1", "0").substr(0, 31)));
}

class Handler : public ::testing::Test {
protected:
    void SetUp() override {
        liste.appendStandard(m_ordner.path());
        liste.aktiv().Datensatz = {2, 3, -1, -1, -1, -1}; // "Ringwert", then "Teiler"
        liste.aktiv().Zehntelringe = 1;
        datei = m_ordner / "Protokoll1.rls";
    }
    std::string inhalt() const {
        std::ifstream in(datei, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    ScratchDir m_ordner{"daten"};
    std::string datei;
    ScriptedDesktop desk;
    Profilliste liste;
    TProtokollAusgabe ausgabe{liste};
    SamRikaDaten daten{ausgabe};
};

TEST_F(Handler, SamSeriesLandsInFileAndClipboard) {
    daten.SamComData(samBeispiel);
    EXPECT_EQ(inhalt(), "10,4;123,4;\n9,7; 5,0;\n\n");
    ASSERT_EQ(desk.clipboard.size(), 1u);
    EXPECT_EQ(desk.clipboard[0], "10,4;123,4;\n9,7; 5,0;\n");
    EXPECT_TRUE(desk.boxes.empty());
}

// A header and a shot as a real SAM 4000 sends them (every CR already turned into ";"), and a shot
// with a divisor wider than the machine's own field: every text reaches the record whole.
TEST_F(Handler, SamTextsAreWrittenWholeAndAFieldWithAZeroByteIsRefused) {
    liste.aktiv().Datensatz = {1, 3, 4, 5, -1, -1}; // "Teilerfaktor", "Teiler", X, Y
    daten.SamComData("????????;????????;LG;10;1.0;02;" + std::string("10.1;0211.6;-0170;-0124;") +
                     samSchuss("9.9", "12345.0", "5", "6"));
    ASSERT_EQ(desk.clipboard.size(), 1u);
    EXPECT_EQ(desk.clipboard[0], "1.0;211,6;-0170;-0124;\n1.0;12345,0;5;6;\n");
    EXPECT_TRUE(desk.boxes.empty());

    // A zero byte is line garbage: the series is refused naming the field, and nothing is written.
    daten.RikaComData(rikaKopf("LG", "1", "1") + rikaSchuss("104", "01234",
                                                            std::string("1\0"
                                                                        "2",
                                                                        3),
                                                            "0"));
    ASSERT_EQ(desk.boxes.size(), 1u);
    EXPECT_EQ(desk.boxes[0].text,
              "Die Serie von der Rika SAG-1 wurde nicht gespeichert. Das Feld X-Koordinate "
              "von Schuss 1 enth\xE4lt ein Nullbyte.\n\r"
              "Bitte die Serie an der Maschine noch einmal ausgeben.");
    EXPECT_EQ(desk.clipboard.size(), 1u);
}

TEST_F(Handler, IncompleteSeriesIsReportedNamingTheMachineAndTheNextOneIsWritten) {
    daten.SamComData(samBeispiel.substr(0, 40));
    EXPECT_FALSE(std::filesystem::exists(datei));
    EXPECT_TRUE(desk.clipboard.empty());
    ASSERT_EQ(desk.boxes.size(), 1u);
    EXPECT_EQ(desk.boxes[0].title, "Fehler");
    EXPECT_NE(desk.boxes[0].text.find("SAM 4000"), std::string::npos);

    daten.RikaComData("kurz");
    ASSERT_EQ(desk.boxes.size(), 2u);
    EXPECT_NE(desk.boxes[1].text.find("Rika SAG-1"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(datei));

    daten.RikaComData(rikaKopf("LG", "1", "1") + rikaSchuss("104", "01234", "0", "0"));
    EXPECT_EQ(inhalt(), "10,4;123,4;\n\n");
    EXPECT_EQ(desk.boxes.size(), 2u);
}

} // namespace
