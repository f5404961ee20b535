#include "Datensatzelemente.h"
#include "Profil.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

TSerienDatensatz serieMit(std::string_view ring, std::string_view teiler, std::string_view x = "",
                          std::string_view y = "") {
    TSerienDatensatz s;
    s.Scheibentyp = "LG";
    s.Teilerfaktor = "1";
    s.Schusszahl = "1";
    TSchussDatensatz schuss;
    schuss.Ringwert = ring;
    schuss.Teiler = teiler;
    schuss.XKoordinate = x;
    schuss.YKoordinate = y;
    s.Schuesse.push_back(schuss);
    return s;
}

std::string element(int nummer, const TSerienDatensatz& s, bool zehntel = true) {
    return datensatzelement(nummer)->Format(s, 0, zehntel);
}

} // namespace

TEST(Datensatzelemente, TableHasSixEntriesInNumberOrder) {
    const char* namen[] = {"Scheibentyp", "Teilerfaktor", "Ringwert",
                           "Teiler",      "X-Koordinate", "Y-Koordinate"};
    for (int i = 0; i < 6; ++i) {
        ASSERT_NE(datensatzelement(i), nullptr);
        EXPECT_EQ(datensatzelement(i)->Nummer, i);
        EXPECT_EQ(datensatzelement(i)->Name, namen[i]);
        EXPECT_LE(datensatzelement(i)->Name.size(), 49u);
    }
    EXPECT_EQ(datensatzelement(-1), nullptr);
    EXPECT_EQ(datensatzelement(6), nullptr);
    EXPECT_EQ(datensatzelement(127), nullptr);
}

// The table of stored tenths, byte for byte (a leading blank is part of the text).
TEST(Datensatzelemente, NumericElementsFormatStoredTenths) {
    struct Fall {
        const char* text;
        const char* mitZehntel;
        const char* ohneZehntel;
        const char* teiler;
    };
    const Fall faelle[] = {
        {"104", "10,4", "10", "10,4"}, {"109", "10,9", "10", "10,9"}, {"97", "9,7", " 9", " 9,7"},
        {"097", "9,7", " 9", " 9,7"},  {"5", "0,5", " 0", " 0,5"},    {"0", "0,0", " 0", " 0,0"},
        {"", "0,0", " 0", " 0,0"},     {"50", "5,0", " 5", " 5,0"},
    };
    for (const Fall& f : faelle) {
        const TSerienDatensatz s = serieMit(f.text, f.text);
        EXPECT_EQ(element(2, s, true), f.mitZehntel) << f.text;
        EXPECT_EQ(element(2, s, false), f.ohneZehntel) << f.text;
        EXPECT_EQ(element(3, s), f.teiler) << f.text;
    }
    EXPECT_EQ(element(3, serieMit("", "1234")), "123,4");
    EXPECT_EQ(element(3, serieMit("", "01234")), "123,4");
    EXPECT_EQ(element(3, serieMit("", "12345")), "1234,5");
    EXPECT_EQ(element(3, serieMit("", "00050")), " 5,0");
    // The divisor ignores the tenths setting.
    EXPECT_EQ(element(3, serieMit("", "97"), false), " 9,7");
}

TEST(Datensatzelemente, NegativeAndExtremeValuesFormatLikePrintf) {
    EXPECT_EQ(formatRingwert(-5, true), "-0,5");
    EXPECT_EQ(formatRingwert(-5, false), " 0");
    EXPECT_EQ(formatRingwert(-15, false), "-1");
    EXPECT_EQ(formatTeiler(-5), "-0,5");
    EXPECT_EQ(formatTeiler(-123), "-12,3");
    EXPECT_EQ(formatTeiler(999999), "99999,9");
    EXPECT_EQ(formatTeiler(INT_MIN), "-214748364,8");
    EXPECT_EQ(formatRingwert(INT_MAX, false), "214748364");
}

TEST(Datensatzelemente, TextElementsPassThroughByteForByte) {
    const TSerienDatensatz s = serieMit("104", "1234", " -1.5 ", "+12,3");
    EXPECT_EQ(element(0, s), "LG");
    EXPECT_EQ(element(1, s), "1");
    EXPECT_EQ(element(4, s), " -1.5 ");
    EXPECT_EQ(element(5, s), "+12,3");
}

TEST(Datensatzelemente, ShotIndexPastTheShotsGivesZeroValuesNotAnOverrun) {
    const TSerienDatensatz s = serieMit("104", "1234", "1", "2");
    const auto& e = Datensatzelemente();
    EXPECT_EQ(e[2].Format(s, 5, true), "0,0");
    EXPECT_EQ(e[3].Format(s, 5, true), " 0,0");
    EXPECT_EQ(e[4].Format(s, 5, true), "");
    EXPECT_EQ(e[0].Format(s, 5, true), "LG"); // series elements ignore the index
}

TEST(Datensatzelemente, HeaderTitlesFollowTheRecordListAndSkipDamagedSlots) {
    Profil p = Profil::standard("/tmp");
    EXPECT_TRUE(datensatzTitel(p).empty());
    p.Datensatz = {3, -1, 2, 9, -7, 5};
    EXPECT_EQ(datensatzTitel(p), (std::vector<std::string>{"Teiler", "Ringwert", "Y-Koordinate"}));
}

TEST(ReadDecimal, FollowsTheCountReadingRules) {
    EXPECT_EQ(readDecimal("10"), 10);
    EXPECT_EQ(readDecimal("  7"), 7);
    EXPECT_EQ(readDecimal("\t-12"), -12);
    EXPECT_EQ(readDecimal("+3"), 3);
    EXPECT_EQ(readDecimal("12.7"), 12);
    EXPECT_EQ(readDecimal("5x9"), 5);
    EXPECT_EQ(readDecimal(""), 0);
    EXPECT_EQ(readDecimal("abc"), 0);
    EXPECT_EQ(readDecimal("-"), 0);
    EXPECT_EQ(readDecimal("- 5"), 0);
    EXPECT_EQ(readDecimal("99999999999999999999"), INT_MAX);
    EXPECT_EQ(readDecimal("-99999999999999999999"), INT_MIN);
}

TEST(FixedText, CutsToTheFieldWidthAndKeepsItsTerminator) {
    TSchussDatensatz s;
    EXPECT_TRUE(s.Ringwert.set("104"));
    EXPECT_FALSE(s.Ringwert.set("10456"));
    EXPECT_EQ(s.Ringwert, "104");
    EXPECT_FALSE(s.XKoordinate.set("1234567890"));
    EXPECT_EQ(s.XKoordinate, "123456");
    EXPECT_EQ(s.XKoordinate.c_str()[6], '\0');
    EXPECT_FALSE(s.Teiler.set(std::string_view("12\0"
                                               "34",
                                               5)));
    EXPECT_EQ(s.Teiler, "12");
    s.Teiler.set("");
    EXPECT_TRUE(s.Teiler.empty());
}

TEST(TSerienDatensatz, ShotCountNeverExceedsTheShotsPresent) {
    TSerienDatensatz s = serieMit("1", "1");
    s.Schusszahl = "5";
    EXPECT_EQ(s.shotCount(), 1u);
    s.Schusszahl = "-3";
    EXPECT_EQ(s.shotCount(), 0u);
    s.Schusszahl = " 1";
    EXPECT_EQ(s.shotCount(), 1u);
    s.Schusszahl = "x";
    EXPECT_EQ(s.shotCount(), 0u);
}
