#include "RikaCom.h"

#include <gtest/gtest.h>

namespace {

class TFremd : public TPersistent {
public:
    const char* ClassName() const override { return "TDisagEinstellstring"; }
};

TEST(RikaConfig, DefaultsAndRangesWhileClosed) {
    TRikaCom com;
    TRikaEinstellungen& c = com.Einstellungen();
    EXPECT_EQ(c.Serie(), 10);
    EXPECT_EQ(c.Teiler(), 0);
    EXPECT_EQ(c.Teilerfaktor(), 1);
    EXPECT_EQ(c.Schuss(), sz1);
    EXPECT_EQ(c.Zehntelwertung(), zwKZ);

    c.SetSerie(200);
    c.SetSerie(201);
    c.SetSerie(-1);
    EXPECT_EQ(c.Serie(), 200);
    c.SetSerie(0);
    EXPECT_EQ(c.Serie(), 0);
    c.SetTeiler(6500);
    c.SetTeiler(6501);
    EXPECT_EQ(c.Teiler(), 6500);
    c.SetTeilerfaktor(99);
    c.SetTeilerfaktor(0);
    c.SetTeilerfaktor(100);
    EXPECT_EQ(c.Teilerfaktor(), 99);
    c.SetSchuss(sz5);
    c.SetSchuss(static_cast<RikaSchuss>(9));
    EXPECT_EQ(c.Schuss(), sz5);
    c.SetZehntelwertung(zwZRT);
    EXPECT_EQ(c.Zehntelwertung(), zwZRT);
    EXPECT_FALSE(com.ReaderRunning());
}

TEST(RikaConfig, AssignCopiesTheValuesAndKeepsEachObjectWithItsComponent) {
    TRikaCom a;
    {
        TRikaCom b;
        b.Einstellungen().SetSerie(50);
        b.Einstellungen().SetZehntelwertung(zwZT);
        a.SetEinstellungen(&b.Einstellungen());
    }
    EXPECT_EQ(a.Einstellungen().Serie(), 50);
    EXPECT_EQ(a.Einstellungen().Zehntelwertung(), zwZT);
    // b is gone; a's settings still belong to a and can be written.
    a.Einstellungen().SetSerie(60);
    EXPECT_EQ(a.Einstellungen().Serie(), 60);
}

TEST(RikaConfig, AssigningAnotherKindRaisesTheAssignmentError) {
    TRikaCom com;
    TFremd fremd;
    try {
        com.SetEinstellungen(&fremd);
        FAIL() << "no exception";
    } catch (const EAssignError& e) {
        EXPECT_STREQ(e.what(), "TDisagEinstellstring kann nicht zu  TRikaEinstellungen zugewiesen werden");
    }
    try {
        com.SetEinstellungen(nullptr);
        FAIL() << "no exception";
    } catch (const EAssignError& e) {
        EXPECT_STREQ(e.what(), "nil kann nicht zu  TRikaEinstellungen zugewiesen werden");
    }
    EXPECT_EQ(com.Einstellungen().Serie(), 10);
}

} // namespace
