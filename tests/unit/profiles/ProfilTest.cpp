#include "Profil.h"
#include "Profilliste.h"

#include "Maschinentabelle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

template <typename T> T readLe(const Profil::Record& r, std::size_t off) {
    uint32_t u = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        u |= static_cast<uint32_t>(r[off + i]) << (8 * i);
    return static_cast<T>(u);
}

std::string textAt(const Profil::Record& r, std::size_t off) {
    return std::string(reinterpret_cast<const char*>(r.data() + off));
}

// A folder of this platform's file system, and one the other platform writes.
#ifdef _WIN32
const std::string kWurzel = "C:\\";
#else
const std::string kWurzel = "/";
#endif
const std::string kVerein = kWurzel + "verein";

TEST(ProfilCodec, DefaultProfileFieldsAtTheirOffsets) {
    const Profil p = Profil::standard(kVerein);
    const auto r = p.encode();
    EXPECT_EQ(textAt(r, 0), "Standardprofil");
    EXPECT_EQ(textAt(r, 100), "COM1");
    EXPECT_EQ(readLe<int32_t>(r, 112), 2); // Maschine
    EXPECT_EQ(readLe<int32_t>(r, 116), 0); // Dateimodus
    EXPECT_EQ(readLe<int32_t>(r, 120), 1); // Warnen
    EXPECT_EQ(readLe<int32_t>(r, 124), 1); // Zehntelringe
    EXPECT_EQ(readLe<int32_t>(r, 128), 0); // TrennzeichenWahl
    EXPECT_EQ(readLe<int32_t>(r, 132), 0);
    EXPECT_EQ(readLe<int32_t>(r, 136), 1);
    EXPECT_EQ(readLe<int32_t>(r, 140), 1);
    EXPECT_EQ(readLe<int32_t>(r, 144), 59);
    EXPECT_EQ(readLe<int32_t>(r, 148), 10);
    EXPECT_EQ(readLe<int32_t>(r, 152), 10);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(r[156 + i], i);
        EXPECT_EQ(r[162 + i], 0xFF);
    }
    EXPECT_EQ(textAt(r, 168), kVerein + kOrdnertrenner + "Protokoll1.rls");
    EXPECT_EQ(r[680], 0);                   // Header
    EXPECT_EQ(readLe<int32_t>(r, 684), 10); // Gesamtschusszahl
    EXPECT_EQ(r[688], 0);                   // Drucker
    EXPECT_EQ(readLe<int32_t>(r, 692), 1);  // Scheibenschusszahl
    EXPECT_EQ(textAt(r, 696), "Text");
    EXPECT_EQ(readLe<int32_t>(r, 748), 0);   // Scheibentyp
    EXPECT_EQ(readLe<int32_t>(r, 752), 250); // Teilergrenze
}

// Which protocol file names cannot work, and why; the default profile never stores such a name
// (mangled by the conversion or cut to the field), it leaves the name empty instead. What names
// a folder of the other platform is refused.
TEST(ProfilDateiname, NamesThatCannotWorkAreToldWithTheirReason) {
    const std::string w = kWurzel;
    const char t = kOrdnertrenner;
    // w + lang + t + "Protokoll1.rls" is one more than the field holds
    const std::string lang(497 - w.size(), 'a');
    const struct {
        std::string pfad;
        const char* grund; // the start of the reason; nullptr: usable
    } faelle[] = {
        {w + "verein" + t + "Protokoll1.rls", nullptr},
        {w + "Sch\xC3\xBCtzen" + t + "\xE2\x82\xAC.rls", nullptr}, // umlaut and euro sign are in Windows-1252
        {w + std::string(511 - w.size(), 'a'), nullptr},
        {"", "Es ist kein Dateiname"},
        {w + "\xCE\xA9mega" + t + "Protokoll1.rls", "Der Name enth\xE4lt Zeichen"},
        {w + "\xFF" + t + "Protokoll1.rls", "Der Name enth\xE4lt Zeichen"}, // not UTF-8 at all
        {w + std::string(512 - w.size(), 'a'), "Der Name ist l\xE4nger als 511 Zeichen"},
#ifdef _WIN32
        {"d:/Verein/Protokoll1.rls", nullptr},
        {"\\\\server\\verein\\Protokoll1.rls", nullptr},
        {"//server/verein/Protokoll1.rls", nullptr},
        {"/home/verein/Protokoll1.rls", "Das ist ein Linux-Pfad"},
        {"C:\\Verein\\Protokoll?.rls", "Der Name enth\xE4lt eines der Zeichen"},
        {"C:\\Verein:\\Protokoll1.rls", "Der Name enth\xE4lt eines der Zeichen"},
#else
        {"C:\\Verein\\Protokoll1.rls", "Das ist ein Windows-Pfad"},
        {"d:/Verein/Protokoll1.rls", "Das ist ein Windows-Pfad"},
        {"/home/verein\\Protokoll1.rls", "Das ist ein Windows-Pfad"},
#endif
    };
    for (const auto& fall : faelle) {
        SCOPED_TRACE(fall.pfad);
        const std::string fehler = dateinameFehler(fall.pfad);
        if (fall.grund)
            EXPECT_EQ(fehler.rfind(fall.grund, 0), 0u) << fehler;
        else
            EXPECT_EQ(fehler, "");
    }
#ifdef _WIN32
    const std::string fremd = "/home/verein";
#else
    const std::string fremd = "C:\\Verein";
#endif
    for (const std::string& start : std::vector<std::string>{w + "\xCE\xA9mega", w + lang, fremd}) {
        SCOPED_TRACE(start);
        EXPECT_NE(dateinameFehler(Profil::standardDateiname(start)), "");
        EXPECT_EQ(text(Profil::standard(start).Dateiname), "");
    }
    EXPECT_EQ(text(Profil::standard(w + lang.substr(1)).Dateiname),
              w + lang.substr(1) + t + "Protokoll1.rls");
}

TEST(ProfilCodec, EveryByteSurvivesARoundTrip) {
    // Any 756 bytes, including filler and bytes after terminators, come back unchanged.
    Profil::Record r;
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i] = static_cast<uint8_t>(i * 37 + 11);
    EXPECT_EQ(Profil::decode(r.data()).encode(), r);

    const Profil p = Profil::decode(r.data());
    EXPECT_EQ(p.Maschine, readLe<int32_t>(r, 112));
    EXPECT_EQ(p.Teilergrenze, readLe<int32_t>(r, 752));
    EXPECT_EQ(p.Datensatz[5], static_cast<int8_t>(r[167]));
}

TEST(ProfilCodec, NegativeAndOutOfRangeValuesAreKept) {
    Profil p = Profil::standard("/x");
    p.Maschine = -7;
    p.Trennzeichen = {300, -1, 257};
    p.Elemente[0] = 42;
    p.Scheibentyp = 99;
    const Profil back = Profil::decode(p.encode().data());
    EXPECT_EQ(back, p);
    EXPECT_EQ(maschinenart(back.Maschine), nullptr);
    EXPECT_FALSE(validSeparator(back.Trennzeichen[0]));
    EXPECT_FALSE(validSeparator(back.Trennzeichen[1]));
    EXPECT_TRUE(validSeparator(back.Trennzeichen[2]));
    EXPECT_FALSE(elementCode(back.Elemente[0]).has_value());
    EXPECT_FALSE(elementCode(-1).has_value());
    EXPECT_EQ(elementCode(5), 5);
    EXPECT_FALSE(validScheibentyp(back.Scheibentyp));
}

TEST(ProfilText, LongTextsAreCutWithTerminatorAndUnterminatedFieldsReadToTheEnd) {
    Profil p = Profil::standard("/x");
    EXPECT_FALSE(setText(p.Name, std::string(150, 'a')));
    EXPECT_EQ(text(p.Name), std::string(99, 'a'));
    EXPECT_EQ(p.Name[99], '\0');
    EXPECT_FALSE(setText(p.Port, "/dev/ttyUSB10"));
    EXPECT_EQ(text(p.Port), "/dev/ttyUSB");
    EXPECT_TRUE(setText(p.Scheibentext, "Verein\xE4"));
    EXPECT_EQ(text(p.Scheibentext), "Verein\xE4");

    // A loaded record without a terminator in its Port field: read up to the field's end,
    // never into the next field.
    auto r = p.encode();
    for (int i = 0; i < 12; ++i)
        r[100 + i] = 'P';
    const Profil loaded = Profil::decode(r.data());
    EXPECT_EQ(text(loaded.Port), std::string(12, 'P'));
    EXPECT_EQ(text(loaded.Name), std::string(99, 'a'));
}

TEST(ProfilText, ShortTextLeavesBytesAfterTerminator) {
    Profil p;
    p.Scheibentext.fill('z');
    setText(p.Scheibentext, "ab");
    EXPECT_EQ(p.Scheibentext[2], '\0');
    EXPECT_EQ(p.Scheibentext[3], 'z');
}

TEST(Profilliste, OperationsKeepOrderAndTheFirstProfile) {
    Profilliste l;
    l.appendStandard("/s");
    ASSERT_EQ(l.size(), 1u);
    l.aktiv().Maschine = 1;
    l.neuesProfil();
    EXPECT_EQ(l.size(), 2u);
    EXPECT_EQ(l.activeIndex(), 1u);
    EXPECT_EQ(text(l.aktiv().Name), "Unbenannt");
    EXPECT_EQ(l.aktiv().Maschine, 1);
    l.neuesProfil();
    EXPECT_EQ(text(l[2].Name), "Unbenannt");
    l.umbenennen("Luftgewehr");
    EXPECT_EQ(text(l[2].Name), "Luftgewehr");
    EXPECT_EQ(text(l[1].Name), "Unbenannt");

    EXPECT_TRUE(l.select(1));
    EXPECT_FALSE(l.select(3));
    EXPECT_EQ(l.activeIndex(), 1u);
    EXPECT_TRUE(l.entferneAktives());
    EXPECT_EQ(l.size(), 2u);
    EXPECT_EQ(l.activeIndex(), 0u);
    EXPECT_EQ(text(l[1].Name), "Luftgewehr");
    EXPECT_FALSE(l.entferneAktives()); // the first profile stays
    EXPECT_EQ(l.size(), 2u);
}

} // namespace
