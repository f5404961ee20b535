#include "Datensatzelemente.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

TSerienDatensatz einSchuss(std::string_view ring, std::string_view teiler) {
    TSerienDatensatz s;
    s.Schusszahl = "1";
    TSchussDatensatz schuss;
    schuss.Ringwert = ring;
    schuss.Teiler = teiler;
    s.Schuesse.push_back(schuss);
    return s;
}

std::string element(int nummer, const TSerienDatensatz& s, bool zehntel = true) {
    return datensatzelement(nummer)->Format(s, 0, zehntel);
}

} // namespace

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
        const TSerienDatensatz s = einSchuss(f.text, f.text);
        EXPECT_EQ(element(2, s, true), f.mitZehntel) << f.text;
        EXPECT_EQ(element(2, s, false), f.ohneZehntel) << f.text;
        EXPECT_EQ(element(3, s), f.teiler) << f.text;
    }
    EXPECT_EQ(element(3, einSchuss("", "01234")), "123,4");
    EXPECT_EQ(element(3, einSchuss("", "12345")), "1234,5");
    EXPECT_EQ(element(3, einSchuss("", "123450")), "12345,0"); // a divisor of 12345.0, whole
    EXPECT_EQ(element(3, einSchuss("", "00050")), " 5,0");
    EXPECT_EQ(element(3, einSchuss("", "97"), false), " 9,7"); // the divisor ignores the setting
    EXPECT_EQ(datensatzelement(-1), nullptr);
    EXPECT_EQ(datensatzelement(6), nullptr);
}

TEST(Datensatzelemente, NegativeAndExtremeValuesFormatLikePrintf) {
    EXPECT_EQ(formatRingwert(-5, true), "-0,5");
    EXPECT_EQ(formatRingwert(-5, false), " 0");
    EXPECT_EQ(formatRingwert(-15, false), "-1");
    EXPECT_EQ(formatTeiler(-123), "-12,3");
    EXPECT_EQ(formatTeiler(INT_MIN), "-214748364,8");
    EXPECT_EQ(formatRingwert(INT_MAX, false), "214748364");
}

TEST(ReadDecimal, FollowsTheCountReadingRules) {
    EXPECT_EQ(readDecimal("  7"), 7);
    EXPECT_EQ(readDecimal("\t-12"), -12);
    EXPECT_EQ(readDecimal("+3"), 3);
    EXPECT_EQ(readDecimal("12.7"), 12);
    EXPECT_EQ(readDecimal(""), 0);
    EXPECT_EQ(readDecimal("abc"), 0);
    EXPECT_EQ(readDecimal("- 5"), 0);
    EXPECT_EQ(readDecimal("99999999999999999999"), INT_MAX);
    EXPECT_EQ(readDecimal("-99999999999999999999"), INT_MIN);
}

TEST(TSerienDatensatz, FieldsKeepMachineTextsWholeAndTheShotCountStaysInRange) {
    TSchussDatensatz s;
    EXPECT_TRUE(s.Ringwert.set("104"));
    EXPECT_TRUE(s.XKoordinate.set(std::string(FieldText::maxSize, '7')));
    // Garbage is refused whole, never cut into a plausible value.
    EXPECT_FALSE(s.XKoordinate.set(std::string(FieldText::maxSize + 1, '7')));
    EXPECT_TRUE(s.XKoordinate.empty());
    EXPECT_FALSE(s.Teiler.set(std::string_view("12\0"
                                               "34",
                                               5)));
    EXPECT_TRUE(s.Teiler.empty());
    EXPECT_EQ(feldFehler("Teiler", "123450"), "");
    EXPECT_EQ(feldFehler("Teiler", std::string(33, '1')), "Das Feld Teiler ist l\xE4nger als 32 Zeichen");

    TSerienDatensatz serie = einSchuss("1", "1");
    serie.Schusszahl = "5";
    EXPECT_EQ(serie.shotCount(), 1u); // never more than the shots present
    serie.Schusszahl = "-3";
    EXPECT_EQ(serie.shotCount(), 0u);
}
