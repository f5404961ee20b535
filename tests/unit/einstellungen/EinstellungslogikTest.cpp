// The settings logic against a scripted view, without any toolkit: what a view shows after
// loading, what applying stores and when it signs the machine on again, the number fields, the
// profile box and the profile menu, the layout editor and the close query.

#include "Einstellungslogik.h"

#include "ConfigFile.h"
#include "Profilliste.h"
#include "ScriptedDesktop.h"
#include "Serienpfad.h"
#include "StartFolder.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <map>

namespace {

// A view that keeps what it is shown, lets the test set what the user did, and answers the
// questions from a queue (the first button when it is empty).
struct SkriptAnsicht : Einstellungsansicht {
    std::map<Feld, std::string> texte;
    std::map<Wahl, int> wahlen;
    std::map<Schalter, bool> schalterAn, schalterAktiv;
    bool neuAnmeldenAktiv = false;
    std::string gezeigterPort;
    std::vector<std::string> ports{"ttyS0", "ttyUSB0"};
    std::vector<std::string> profile;
    int profilAuswahl = -1;
    std::map<Liste, std::vector<std::string>> listen;
    std::map<Liste, int> auswahl;
    int trennzeichen = -1;
    std::vector<Feld> fokus;
    Seite seite = Seite::Allgemein;
    std::map<Seite, bool> seiteSichtbar;
    bool sichtbar = false;
    bool tray = false;
    bool verbunden = true;
    std::string tipp;
    int profilmenue = 0;
    struct Frage {
        std::string text;
        std::string titel;
        unsigned flags;
    };
    std::vector<Frage> fragen;
    std::deque<int> antworten;

    void fuelleMaschinenwahl(const std::vector<std::string>&) override {}
    void fuelleTrennzeichenliste(const std::array<std::string, 4>&,
                                 const std::vector<std::array<std::string, 4>>&) override {}
    void zeigeText(Feld f, const std::string& t) override { texte[f] = t; }
    void zeigeWahl(Wahl w, int i) override { wahlen[w] = i; }
    void zeigeSchalter(Schalter s, bool an) override { schalterAn[s] = an; }
    void setzeSchalterAktiv(Schalter s, bool an) override { schalterAktiv[s] = an; }
    void setzeNeuAnmeldenAktiv(bool an) override { neuAnmeldenAktiv = an; }
    void zeigePort(const std::string& p) override { gezeigterPort = p; }
    void zeigeProfile(const std::vector<std::string>& namen, int gewaehlt) override {
        profile = namen;
        profilAuswahl = gewaehlt;
    }
    void fokusInProfilbox() override {}
    void zeigeListe(Liste l, const std::vector<std::string>& zeilen) override {
        listen[l] = zeilen;
        auswahl[l] = -1;
    }
    void waehleZeile(Liste l, int zeile, bool) override { auswahl[l] = zeile; }
    void waehleTrennzeichen(int code) override { trennzeichen = code; }
    void setzeFokus(Feld f) override { fokus.push_back(f); }
    void zeigeSeite(Seite s) override { seite = s; }
    void setzeSeiteSichtbar(Seite s, bool an) override { seiteSichtbar[s] = an; }
    void zeigeErsteinrichtungHinweis(bool) override {}
    std::string feldText(Feld f) const override { return texte.at(f); }
    int wahl(Wahl w) const override { return wahlen.at(w); }
    bool schalter(Schalter s) const override { return schalterAn.at(s); }
    std::string port() const override { return gezeigterPort; }
    std::vector<std::string> gelistetePorts() const override { return ports; }
    int gewaehlteZeile(Liste l) const override { return auswahl.at(l); }
    int gewaehltesTrennzeichen() const override { return trennzeichen; }
    void zeigeFenster(bool) override { sichtbar = true; }
    void versteckeFenster() override { sichtbar = false; }
    bool fensterSichtbar() const override { return sichtbar; }
    void trayIconHinzufuegen() override { tray = true; }
    void trayIconEntfernen() override { tray = false; }
    void zeigeVerbindung(bool an, const std::string& t) override {
        verbunden = an;
        tipp = t;
    }
    void oeffneProfilmenue() override { ++profilmenue; }
    void oeffneTraymenue() override {}
    int frage(const std::string& text, const std::string& titel, unsigned flags) override {
        fragen.push_back({text, titel, flags});
        if (antworten.empty())
            return (flags & Mb::ButtonsMask) == Mb::YesNo || (flags & Mb::ButtonsMask) == Mb::YesNoCancel
                       ? IdYes
                       : IdOk;
        const int a = antworten.front();
        antworten.pop_front();
        return a;
    }
    std::string speichernDialog(const std::string&) override { return {}; }
    void sanduhr(bool) override {}
};

// The logic without machines: it counts how often it would open them.
struct Logik : Einstellungslogik {
    using Einstellungslogik::Einstellungslogik;
    int geoeffnet = 0;
    void MaschineOeffnen() override { ++geoeffnet; }
    void MaschinenSchliessen() override {}
};

class EinstellungslogikTest : public ::testing::Test {
protected:
    // Starts the logic on the given profiles (the default profile, changed by each function).
    void starte(const std::vector<ProfileEdit>& profile) {
        ASSERT_TRUE(m_dir.write(profile, "ttyS0"));
        m_logik = std::make_unique<Logik>(m_liste, m_dir.path(), m_view);
        m_logik->Starten();
        m_logik->geoeffnet = 0;
    }
    Profil& aktiv() { return m_liste.aktiv(); }
    // The profile names the configuration file holds now.
    std::vector<std::string> gespeicherteNamen() {
        std::vector<std::string> namen;
        for (const Profil& p : m_dir.saved())
            namen.push_back(text(p.Name));
        return namen;
    }

    StartFolder m_dir{"einstellungen"};
    ScriptedDesktop m_desk;
    SkriptAnsicht m_view;
    Profilliste m_liste;
    std::unique_ptr<Logik> m_logik;
};

// What a view shows is cut to what its field takes, so a loaded profile never differs from
// itself, whatever toolkit the view uses; values no control can show are no difference either.
TEST_F(EinstellungslogikTest, aLoadedProfileShowsWithoutDifferenceEvenWhenItCannotBeShownWhole) {
    starte({[](Profil& p) {
        setText(p.Scheibentext, "Vereinsmeisterschaft");
        p.Maschine = 7;
        p.Dateimodus = -3;
        p.TrennzeichenWahl = 9;
        p.Datensatz = {4, 100, -1, -1, -1, 5};
    }});
    EXPECT_EQ(m_view.texte[Feld::Scheibentext], "Vereinsme");
    EXPECT_EQ(m_view.wahlen[Wahl::Maschine], -1);
    EXPECT_EQ(m_view.listen[Liste::Datensatz], (std::vector<std::string>{"X-Koordinate", "Y-Koordinate"}));
    EXPECT_EQ(m_view.seite, Seite::Info);
    EXPECT_TRUE(m_view.tray);
    EXPECT_TRUE(m_logik->Aenderungspruefung());
    EXPECT_TRUE(m_logik->SteuerelementeUebernehmen());
    EXPECT_EQ(text(aktiv().Scheibentext), "Vereinsmeisterschaft");
    EXPECT_EQ(aktiv().Maschine, 7);
}

// One edit at a time: what is stored, and whether the machine is signed on again.
TEST_F(EinstellungslogikTest, applyingStoresTheEditAndReconnectsOnlyForTheMachinesSettings) {
    const struct {
        const char* name;
        TMaschine maschine;
        std::function<void(SkriptAnsicht&)> edit;
        std::function<bool(const Profil&)> gespeichert;
        bool reconnect;
    } faelle[] = {
        {"port", maSam, [](SkriptAnsicht& v) { v.gezeigterPort = "ttyUSB0"; },
         [](const Profil& p) { return text(p.Port) == "ttyUSB0"; }, true},
        {"machine", maSam, [](SkriptAnsicht& v) { v.wahlen[Wahl::Maschine] = maRika; },
         [](const Profil& p) { return p.Maschine == maRika; }, true},
        {"file name", maSam,
         [](SkriptAnsicht& v) { v.texte[Feld::Dateiname] = "Sch\u00fctzen.rls"; }, // a name for both systems
         [](const Profil& p) { return text(p.Dateiname) == "Sch\xFCtzen.rls"; }, false},
        {"tenths, SAM", maSam, [](SkriptAnsicht& v) { v.schalterAn[Schalter::Zehntelringe] = false; },
         [](const Profil& p) { return p.Zehntelringe == 0; }, false},
        {"tenths, Disag", maDisag, [](SkriptAnsicht& v) { v.schalterAn[Schalter::Zehntelringe] = false; },
         [](const Profil& p) { return p.Zehntelringe == 0; }, true},
        {"divisor limit, Rika", maRika, [](SkriptAnsicht& v) { v.texte[Feld::Teilergrenze] = "500"; },
         [](const Profil& p) { return p.Teilergrenze == 500; }, true},
        {"separator row", maSam, [](SkriptAnsicht& v) { v.trennzeichen = 256; },
         [](const Profil& p) { return p.Trennzeichen[0] == 256; }, false},
        {"shots out of range", maSam, [](SkriptAnsicht& v) { v.texte[Feld::SchussProScheibe] = "0"; },
         [](const Profil& p) { return p.Scheibenschusszahl == 1; }, false},
    };
    for (const auto& fall : faelle) {
        SCOPED_TRACE(fall.name);
        m_liste.clear();
        starte({[&](Profil& p) {
            p.Maschine = fall.maschine;
            p.Zehntelringe = 1;
        }});
        fall.edit(m_view);
        EXPECT_FALSE(m_logik->Aenderungspruefung());
        EXPECT_TRUE(m_logik->SteuerelementeUebernehmen());
        EXPECT_TRUE(fall.gespeichert(aktiv()));
        EXPECT_EQ(m_logik->geoeffnet, fall.reconnect ? 1 : 0);
        EXPECT_TRUE(m_logik->Aenderungspruefung());
    }

    // "Übernehmen" signs a machine on that is not connected (none is, here), whether or not a
    // setting changed, and once only when applying signed it on already.
    m_logik->geoeffnet = 0;
    m_logik->UebernehmenClick();
    EXPECT_EQ(m_logik->geoeffnet, 1);
    m_view.gezeigterPort = "ttyUSB0";
    m_logik->UebernehmenClick();
    EXPECT_EQ(m_logik->geoeffnet, 2);
    EXPECT_FALSE(m_view.verbunden);
    EXPECT_EQ(m_view.tipp, "Ringlesemaschine: nicht verbunden (ttyUSB0: nicht angemeldet)");
}

// The Disag prints ASCII only: a "Zusatztext" typed with other characters is refused, nothing is
// applied and the field is shown; a stored one is kept (the machine gets its ASCII spelling).
TEST_F(EinstellungslogikTest, aZusatztextTheDisagCannotPrintIsRefused) {
    starte({[](Profil& p) {
        p.Maschine = maDisag;
        setText(p.Scheibentext, "M\xFChle");
    }});
    EXPECT_TRUE(m_logik->SteuerelementeUebernehmen());
    EXPECT_TRUE(m_view.fragen.empty());

    m_view.texte[Feld::Scheibentext] = "Sch\u00fctzen";
    m_view.wahlen[Wahl::Datei] = 1;
    EXPECT_FALSE(m_logik->SteuerelementeUebernehmen());
    ASSERT_EQ(m_view.fragen.size(), 1u);
    EXPECT_EQ(m_view.fragen[0].titel, "Fehler");
    EXPECT_NE(m_view.fragen[0].text.find("Sch\u00fctzen"), std::string::npos);
    EXPECT_EQ(m_view.seite, Seite::Maschinen);
    EXPECT_EQ(m_view.fokus.back(), Feld::Scheibentext);
    EXPECT_EQ(text(aktiv().Scheibentext), "M\xFChle");
    EXPECT_EQ(aktiv().Dateimodus, 0); // nothing applied

    m_view.texte[Feld::Scheibentext] = "Schuetzen";
    EXPECT_TRUE(m_logik->SteuerelementeUebernehmen());
    EXPECT_EQ(text(aktiv().Scheibentext), "Schuetzen");
}

TEST_F(EinstellungslogikTest, aNumberFieldLeftOutOfRangeGetsItsDefaultAndTheFocusBack) {
    starte({[](Profil&) {}});
    const struct {
        Feld feld;
        const char* getippt;
        const char* danach;
    } faelle[] = {
        {Feld::SchussProScheibe, "0", "1"},
        {Feld::SchussProScheibe, "16", "1"},
        {Feld::SchussProScheibe, "15", "15"},
        {Feld::Teilergrenze, "9", "250"},
        {Feld::Teilergrenze, "99999999999", "250"},
        {Feld::Teilergrenze, "10000", "10000"},
        {Feld::Schusszahl, "121", "10"},
        {Feld::Schusszahl, "", "10"},
    };
    for (const auto& fall : faelle) {
        SCOPED_TRACE(fall.getippt);
        m_view.fokus.clear();
        m_view.texte[fall.feld] = fall.getippt;
        m_logik->ZahlenfeldExit(fall.feld);
        EXPECT_EQ(m_view.texte[fall.feld], fall.danach);
        EXPECT_EQ(m_view.fokus.size(), std::string(fall.getippt) == fall.danach ? 0u : 1u);
    }
    EXPECT_TRUE(m_view.fragen.empty());
}

// Every change of the profiles is in the configuration file at once: a crash keeps it.
TEST_F(EinstellungslogikTest, theProfileBoxRenamesDeletesAndTheTrayMenuSwitches) {
    starte({[](Profil& p) { setText(p.Name, "Verein"); }, [](Profil& p) { setText(p.Name, "Jugend"); }});
    EXPECT_EQ(m_view.profile, (std::vector<std::string>{"Verein", "Jugend"}));

    m_logik->ProfilboxSelect(1);
    m_logik->ProfilboxChange("J\u00fcgend");
    m_logik->ProfilboxExit(false);
    EXPECT_EQ(text(m_liste[1].Name), "J\xFCgend");
    EXPECT_EQ(m_view.profile[1], "J\u00fcgend");
    EXPECT_EQ(gespeicherteNamen(), (std::vector<std::string>{"Verein", "J\xFCgend"}));

    m_logik->NeuesProfilClick(); // a copy named "Unbenannt", at the end
    EXPECT_EQ(m_view.profile.back(), "Unbenannt");
    EXPECT_EQ(m_logik->Profilindex(), 2);
    EXPECT_EQ(gespeicherteNamen().size(), 3u);
    m_logik->ProfilboxChange("");
    m_logik->ProfilboxExit(false); // cleared: deleted, the first one active
    EXPECT_EQ(m_liste.size(), 2u);
    EXPECT_EQ(gespeicherteNamen().size(), 2u);
    EXPECT_EQ(m_view.profilAuswahl, 0);
    m_logik->ProfilboxChange("");
    m_logik->ProfilboxExit(false); // the first one stays
    EXPECT_EQ(text(m_liste[0].Name), "Verein");

    // the tray's profile menu: only while the window is hidden, the active profile checked; a
    // click switches and signs the machine on
    m_view.sichtbar = true;
    m_logik->TrayIconClick(Trayklick::Links);
    EXPECT_EQ(m_view.profilmenue, 0);
    m_view.sichtbar = false;
    m_logik->TrayIconClick(Trayklick::Links);
    EXPECT_EQ(m_view.profilmenue, 1);
    auto menue = m_logik->Profilmenue();
    ASSERT_EQ(menue.size(), 2u);
    EXPECT_TRUE(menue[0].haken && !menue[1].haken);
    m_view.texte[Feld::Dateiname] = "a.rls"; // an edit the choice in the tray applies
    m_logik->ProfilmenueClick(1);
    EXPECT_EQ(m_liste.activeIndex(), 1u);
    EXPECT_TRUE(m_logik->Profilmenue()[1].haken);
    EXPECT_EQ(m_logik->geoeffnet, 1);
    Profilliste gespeichert;
    ASSERT_TRUE(ConfigFile::Load(ConfigFile::path(m_dir.path()), gespeichert));
    EXPECT_EQ(text(gespeichert[0].Dateiname), "a.rls");

    // "Übernehmen" saves; a file that cannot be saved is told once, not with every change
    m_view.texte[Feld::Dateiname] = "b.rls";
    m_logik->UebernehmenClick();
    gespeichert.clear();
    ASSERT_TRUE(ConfigFile::Load(ConfigFile::path(m_dir.path()), gespeichert));
    EXPECT_EQ(text(gespeichert[1].Dateiname), "b.rls");
    std::filesystem::remove(ConfigFile::path(m_dir.path()));
    std::filesystem::create_directory(ConfigFile::path(m_dir.path()));
    m_view.fragen.clear();
    for (const char* name : {"A", "B"}) {
        m_logik->ProfilboxChange(name);
        m_logik->ProfilboxExit(false);
    }
    ASSERT_EQ(m_view.fragen.size(), 1u);
    EXPECT_EQ(m_view.fragen[0].text.rfind("Die Einstellungen konnten nicht in der Datei", 0), 0u);
}

TEST_F(EinstellungslogikTest, theLayoutEditorMovesElementsAndApplyingStoresTheirOrder) {
    starte({[](Profil&) {}});
    auto& v = m_view;
    v.auswahl[Liste::Elemente] = 2; // Ringwert
    v.auswahl[Liste::Datensatz] = -1;
    m_logik->HinzufuegenClick();
    v.auswahl[Liste::Elemente] = 4; // Y-Koordinate, the last one
    m_logik->HinzufuegenClick();    // after the selected Ringwert
    EXPECT_EQ(v.listen[Liste::Datensatz], (std::vector<std::string>{"Ringwert", "Y-Koordinate"}));
    EXPECT_EQ(v.auswahl[Liste::Elemente], 3);
    m_logik->NachObenClick();
    EXPECT_EQ(v.listen[Liste::Datensatz], (std::vector<std::string>{"Y-Koordinate", "Ringwert"}));
    m_logik->NachObenClick(); // the first row: nothing
    v.auswahl[Liste::Datensatz] = 0;
    m_logik->EntfernenClick(); // back at the end of the available ones
    EXPECT_EQ(v.listen[Liste::Elemente].back(), "Y-Koordinate");
    EXPECT_EQ(m_logik->DatensatzTitel(), std::vector<std::string>{"Ringwert"});

    // with a header line in a file of all records, a changed record list asks first
    v.schalterAn[Schalter::Header] = true;
    v.wahlen[Wahl::Datei] = 0;
    v.antworten = {IdNo};
    EXPECT_FALSE(m_logik->SteuerelementeUebernehmen());
    EXPECT_EQ(aktiv().Header, 0);
    v.antworten = {IdYes};
    EXPECT_TRUE(m_logik->SteuerelementeUebernehmen());
    EXPECT_EQ(aktiv().Datensatz, (std::array<int8_t, 6>{2, -1, -1, -1, -1, -1}));
    EXPECT_EQ(aktiv().Elemente, (std::array<int8_t, 6>{0, 1, 3, 4, 5, -1}));
    EXPECT_EQ(v.fragen.size(), 2u);
}

TEST_F(EinstellungslogikTest, theCloseQueryAsksAppliesAndSaves) {
    const struct {
        bool aendern;
        int antwort;
        bool schliesst;
        int schusszahl; // stored afterwards
    } faelle[] = {
        {false, IdNo, false, 10}, {false, IdYes, true, 10}, {true, IdCancel, false, 10},
        {true, IdNo, true, 10},   {true, IdYes, true, 20},
    };
    for (const auto& fall : faelle) {
        m_liste.clear();
        starte({[](Profil&) {}});
        if (fall.aendern)
            m_view.texte[Feld::Schusszahl] = "20";
        m_view.fragen.clear();
        m_view.antworten = {fall.antwort};
        EXPECT_EQ(m_logik->CloseQuery(), fall.schliesst);
        EXPECT_EQ(m_view.fragen.at(0).text,
                  fall.aendern ? "Sollen die \u00c4nderungen \u00fcbernommen werden?" : "Wirklich beenden ?");
        EXPECT_EQ(m_view.tray, !fall.schliesst);
        Profilliste gespeichert;
        ASSERT_TRUE(ConfigFile::Load(ConfigFile::path(m_dir.path()), gespeichert));
        EXPECT_EQ(gespeichert[0].Gesamtschusszahl, fall.schliesst ? fall.schusszahl : 10);
    }

    // A series the protocol file has not taken yet is named under the question, with the file.
    const std::string datei = m_dir / "fehlt/Protokoll1.rls";
    m_liste.clear();
    starte({[&datei](Profil& p) { setText(p.Dateiname, datei); }});
    TSerienDatensatz serie;
    serie.Schusszahl = "1";
    serie.Schuesse.resize(1);
    m_logik->Pfad().Ausgabe().WriteSeries(serie);
    m_view.fragen.clear();
    m_view.antworten = {IdNo};
    EXPECT_FALSE(m_logik->CloseQuery());
    const std::string& frage = m_view.fragen.at(0).text;
    EXPECT_TRUE(frage.starts_with(
        "Wirklich beenden ?\n\r\n\rNoch nicht geschrieben, f\u00fcr die Protokolldatei\n\r" + datei +
        ":\n\r"))
        << frage;
    EXPECT_TRUE(
        frage.ends_with("  Profil \u201eStandardprofil\u201c, 1 Schuss\n\rBeim Beenden kommen sie in eine "
                        "Datei Trefflux-nicht-geschrieben-\u2026.rls im Startverzeichnis."))
        << frage;
}

} // namespace
