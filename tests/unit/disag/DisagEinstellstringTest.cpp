#include "DisagEinstellstring.h"
#include "DisagRm3FernEinstellstring.h"

#include "Profil.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

const std::string standard = "SCH=LG10;RIA=GR;KAL=22;RIB=RB;TEA=KT;TEG=250;SSC=1;SGE=10;SZI=0;TEM;DRT=Text";

TEST(DisagEinstellstring, DefaultsAndTheMainFormsValues) {
    TDisagEinstellstring s;
    EXPECT_EQ(s.BuildString(), standard);

    s.SetRingauswertung(raZR);
    s.SetTeilerauswertung(taZT);
    s.SetTeilergrenze("250");
    s.SetScheibenschusszahl("1");
    s.SetGesamtschusszahl("10");
    s.SetZwischensummenschusszahl("0");
    s.SetTeilermarkierung(false);
    s.SetScheibentext("Text");
    EXPECT_EQ(s.BuildString(), "SCH=LG10;RIA=ZR;KAL=22;RIB=RB;TEA=ZT;TEG=250;SSC=1;SGE=10;SZI=0;DRT=Text");
}

TEST(DisagEinstellstring, EveryValueHasItsText) {
    TDisagEinstellstring s;
    const char* typen[] = {"LG10", "LG5",  "LGES", "LP",    "ZS",   "LS1", "LS2",
                           "KK50", "GK10", "GK5",  "SCHFE", "USE1", "USE2"};
    for (int i = 0; i <= stUSE2; ++i) {
        s.SetScheibentyp(static_cast<TDisagScheibenTyp>(i));
        EXPECT_EQ(s.BuildString().substr(0, s.BuildString().find(';')), std::string("SCH=") + typen[i]);
    }
    s.SetScheibentyp(stLG10);
    s.SetKalibereinstellung(kl9MM);
    s.SetRingauswertung(raKR);
    s.SetTeilerauswertung(taHT);
    s.SetRingberechnung(rbMI); // sent as RB like rbRB
    EXPECT_EQ(s.BuildString().substr(0, 38), "SCH=LG10;RIA=KR;KAL=9MM;RIB=RB;TEA=HT;");
    s.SetKalibereinstellung(kl58);
    EXPECT_NE(s.BuildString().find(";KAL=58;"), std::string::npos);

    // A damaged stored value gives the first text instead of reading past the table.
    s.SetScheibentyp(static_cast<TDisagScheibenTyp>(200));
    EXPECT_EQ(s.BuildString().substr(0, 9), "SCH=LG10;");
}

TEST(DisagEinstellstring, FlagsAndTextAtTheEnd) {
    TDisagEinstellstring s;
    s.SetScheibenaufdruck(false);
    s.SetTeilermarkierung(true);
    s.SetScheibentext("");
    const std::string b = s.BuildString();
    EXPECT_EQ(b.substr(b.size() - 8), ";KSD;TEM");
    // Texts go to the machine unchanged.
    s.SetScheibentext("A;B=C");
    s.SetGesamtschusszahl("x");
    EXPECT_EQ(s.BuildString(),
              "SCH=LG10;RIA=GR;KAL=22;RIB=RB;TEA=KT;TEG=250;SSC=1;SGE=x;SZI=0;KSD;TEM;DRT=A;B=C");

    // The printed text as the machine takes it: ASCII, at most 10 characters. A stored profile's
    // German letters are spelt out, anything else becomes "?".
    const std::pair<const char*, const char*> drucktexte[] = {{"Sch\xFCtzenfest", "Schuetzenf"},
                                                              {"\xC4\xD6\xDC\xE4\xF6\xFC\xDF", "AeOeUeaeoe"},
                                                              {"SV \x80 1\tx", "SV ? 1?x"},
                                                              {"Verein 1921", "Verein 192"}};
    for (const auto& [text, gedruckt] : drucktexte) {
        s.SetScheibentext(text);
        const std::string b2 = s.BuildString();
        EXPECT_EQ(b2.substr(b2.find(";DRT=") + 5), gedruckt) << text;
    }
}

TEST(DisagEinstellstring, ShotsPerTargetAreAStrictInteger) {
    TDisagEinstellstring s;
    s.SetScheibenschusszahl("007");
    EXPECT_EQ(s.Scheibenschusszahl(), "7");
    s.SetScheibenschusszahl(" -3");
    EXPECT_EQ(s.Scheibenschusszahl(), "-3");
    s.SetScheibenschusszahl("+12");
    EXPECT_EQ(s.Scheibenschusszahl(), "12");
    for (const char* schlecht : {"abc", "", " ", "1a", "1 ", "+-1", "2147483648", "0x10", "1.5"}) {
        EXPECT_THROW(s.SetScheibenschusszahl(schlecht), EConvertError) << schlecht;
        EXPECT_EQ(s.Scheibenschusszahl(), "12");
    }
    try {
        s.SetScheibenschusszahl("abc");
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
    }
    EXPECT_NE(s.BuildString().find(";SSC=12;"), std::string::npos);
}

TEST(DisagEinstellstring, WritersAskForASendOnlyWhereTheMachineNeedsIt) {
    int fragen = 0;
    TDisagEinstellstring s([&] { ++fragen; });
    const auto fragtNach = [&](auto schreiben) {
        const int vorher = fragen;
        schreiben();
        return fragen - vorher;
    };
    EXPECT_EQ(fragtNach([&] { s.SetScheibentyp(stLP); }), 1);
    EXPECT_EQ(fragtNach([&] { s.SetRingauswertung(raZR); }), 1);
    EXPECT_EQ(fragtNach([&] { s.SetKalibereinstellung(kl32); }), 1);
    EXPECT_EQ(fragtNach([&] { s.SetRingberechnung(rbMI); }), 1);
    EXPECT_EQ(fragtNach([&] { s.SetTeilerauswertung(taZT); }), 1);
    EXPECT_EQ(fragtNach([&] { s.SetTeilergrenze("100"); }), 1);
    EXPECT_EQ(fragtNach([&] { s.SetScheibenschusszahl("2"); }), 1);
    EXPECT_EQ(fragtNach([&] { EXPECT_THROW(s.SetScheibenschusszahl("x"), EConvertError); }), 0);
    EXPECT_EQ(fragtNach([&] { s.SetGesamtschusszahl("20"); }), 1);
    EXPECT_EQ(fragtNach([&] { s.SetZwischensummenschusszahl("5"); }), 1);
    EXPECT_EQ(fragtNach([&] { s.SetScheibenaufdruck(true); }), 0);
    EXPECT_EQ(fragtNach([&] { s.SetScheibenaufdruck(false); }), 1);
    EXPECT_EQ(fragtNach([&] { s.SetTeilermarkierung(false); }), 0);
    EXPECT_EQ(fragtNach([&] { s.SetTeilermarkierung(true); }), 1);
    EXPECT_EQ(fragtNach([&] { s.SetScheibentext(""); }), 0);
    EXPECT_EQ(s.Scheibentext(), ""); // stored all the same
    EXPECT_EQ(fragtNach([&] { s.SetScheibentext("Verein"); }), 1);
}

TEST(DisagEinstellstring, AssignmentCopiesTheSettingsButNotTheComponent) {
    int fragenA = 0, fragenB = 0;
    TDisagEinstellstring a([&] { ++fragenA; });
    TDisagEinstellstring b([&] { ++fragenB; });
    b.SetScheibentyp(stKK50);
    b.SetScheibenschusszahl("5");
    b.SetScheibenaufdruck(false);
    b.SetScheibentext("");
    fragenB = 0;

    a = b; // no send is asked for by the assignment itself
    EXPECT_EQ(fragenA, 0);
    EXPECT_EQ(a.BuildString(), b.BuildString());
    a.SetTeilergrenze("500"); // still asks its own component
    EXPECT_EQ(fragenA, 1);
    EXPECT_EQ(fragenB, 0);

    // Through the settings interface: the same copy, and one of another kind is refused.
    TDisagEinstellstring c;
    c.Assign(&b);
    EXPECT_EQ(c.BuildString(), b.BuildString());
    struct Fremd : TPersistent {
        const char* ClassName() const override { return "TFremd"; }
    } fremd;
    try {
        c.Assign(&fremd);
        ADD_FAILURE() << "no error";
    } catch (const EAssignError& e) {
        EXPECT_STREQ(e.what(), "TFremd kann nicht zu  TDisagEinstellstring zugewiesen werden");
    }
    EXPECT_THROW(c.Assign(nullptr), EAssignError);
    EXPECT_EQ(c.BuildString(), b.BuildString());

    TDisagEinstellstring kopie(a);
    EXPECT_EQ(kopie.BuildString(), a.BuildString());
    kopie.SetTeilergrenze("1"); // a copy belongs to no component
    EXPECT_EQ(fragenA, 1);
}

TEST(DisagEinstellstring, ProfileValuesWrittenBeforeOpening) {
    TDisagEinstellstring s;
    s.SetRingauswertung(raZR); // the main form's values
    s.SetTeilerauswertung(taZT);
    s.SetTeilermarkierung(false);
    Profil p = Profil::standard("/tmp");
    einstellstringAusProfil(s, p);
    EXPECT_EQ(s.BuildString(),
              "SCH=LG10;RIA=ZR;KAL=22;RIB=RB;TEA=ZT;TEG=250;SSC=1;SGE=10;SZI=0;KSD;DRT=Text");

    p.Scheibentyp = 5;
    p.Gesamtschusszahl = 40;
    p.Drucker = 1;
    setText(p.Scheibentext, "");
    p.Scheibenschusszahl = 2;
    p.Teilergrenze = 1000;
    p.Zehntelringe = 0;
    einstellstringAusProfil(s, p);
    EXPECT_EQ(s.BuildString(), "SCH=KK50;RIA=GR;KAL=22;RIB=RB;TEA=ZT;TEG=1000;SSC=2;SGE=40;SZI=0");

    p.Scheibentyp = 3;
    einstellstringAusProfil(s, p);
    EXPECT_EQ(s.Scheibentyp(), stLP);
    p.Scheibentyp = 77; // a damaged value leaves the target type as it is
    einstellstringAusProfil(s, p);
    EXPECT_EQ(s.Scheibentyp(), stLP);
}

// The RM III's older remote program: nine digits and the printed text, from the profile.
TEST(DisagRm3FernEinstellstring, DigitsFromTheProfile) {
    struct Zeile {
        int32_t scheibentyp, schusszahl, zehntel, teilergrenze, drucker, proScheibe;
        const char* scheibentext;
        const char* einstellstring;
        const char* hinweis; // the step taken, when it differs
    };
    const Zeile tabelle[] = {
        {2, 10, 1, 250, 0, 1, "Text", "111507221Text", ""}, // the default profile on "LG Einzelscheibe"
        {0, 120, 0, 260, 1, 2, "Sch\xFCtze M\xFCller", "139408212Schuetze M", "Teilergrenze 300"},
        {1, 1, 1, 50, 0, 1, "", "120501221", ""},
        {3, 60, 0, 0, 1, 2, "LP", "216401212LP", "Teilergrenze 50"},
        {4, 80, 1, 7999, 0, 1, "ZS", "517516221ZS", "Teilergrenze 8000"},
        {5, 100, 1, 1000, 1, 1, "\x80\x01", "618513211??", ""},
        {2, 20, 0, 2000, 0, 2, "", "112414222", ""},
    };
    for (const Zeile& z : tabelle) {
        Profil p = Profil::standard("/tmp");
        p.Scheibentyp = z.scheibentyp;
        p.Gesamtschusszahl = z.schusszahl;
        p.Zehntelringe = z.zehntel;
        p.Teilergrenze = z.teilergrenze;
        p.Drucker = static_cast<uint8_t>(z.drucker);
        p.Scheibenschusszahl = z.proScheibe;
        setText(p.Scheibentext, z.scheibentext);
        SCOPED_TRACE(z.einstellstring);
        EXPECT_EQ(disagRm3FernProfilfehler(p), "");
        EXPECT_EQ(disagRm3FernEinstellstring(p), z.einstellstring);
        const std::string hinweis = disagRm3FernTeilerhinweis(p);
        EXPECT_EQ(hinweis.empty(), *z.hinweis == '\0') << hinweis;
        EXPECT_NE(hinweis.find(z.hinweis), std::string::npos) << hinweis;
    }
}

TEST(DisagRm3FernEinstellstring, ValuesTheMachineCannotTakeAreRefusedNamingThoseItCan) {
    Profil p = Profil::standard("/tmp");
    p.Gesamtschusszahl = 15;
    p.Teilergrenze = 8001;
    p.Scheibenschusszahl = 5;
    const std::string fehler = disagRm3FernProfilfehler(p);
    for (const char* teil : {"Schusszahl f\xFCr 1 Serie\" 15", "1, 10, 20, 30, 40, 50, 60, 80, 100 und 120",
                             "Teilergrenze\" 8001", "8000", "Schuss pro Scheibe\" 5", "1 oder 2"})
        EXPECT_NE(fehler.find(teil), std::string::npos) << teil << "\n" << fehler;
    EXPECT_THROW(disagRm3FernEinstellstring(p), std::invalid_argument);
    EXPECT_EQ(disagRm3FernTeilerhinweis(p), ""); // no step above 8000

    // Each value alone, and a damaged target type.
    p = Profil::standard("/tmp");
    p.Scheibenschusszahl = 3;
    EXPECT_EQ(disagRm3FernProfilfehler(p).find("Teilergrenze"), std::string::npos);
    EXPECT_NE(disagRm3FernProfilfehler(p).find("Schuss pro Scheibe\" 3"), std::string::npos);
    p = Profil::standard("/tmp");
    p.Scheibentyp = 6;
    EXPECT_NE(disagRm3FernProfilfehler(p).find("KK 50m"), std::string::npos);
}

} // namespace
