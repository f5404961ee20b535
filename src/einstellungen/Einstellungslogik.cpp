#include "Einstellungslogik.h"

#include "Serienpfad.h"
#include "Verbindungswache.h"

#include "ConfigFile.h"
#include "Datensatzelemente.h"
#include "Desktop.h"
#include "Profilliste.h"
#include "Trennzeichen.h"
#include "Win1252.h"

#include <cstddef>
#include <cstdio>
#include <utility>

namespace {

constexpr std::size_t kMaxDateiname = std::tuple_size_v<decltype(Profil::Dateiname)> - 1;

// Whether the profiles (Windows-1252) can hold a text as it is; control characters end or
// break a stored text.
bool istAnsi(const std::string& utf8) {
    for (char c : utf8) {
        if (static_cast<unsigned char>(c) < 0x20)
            return false;
    }
    return win1252ToUtf8(utf8ToWin1252(utf8)) == utf8;
}

} // namespace

int eingabegrenze(Feld feld) {
    switch (feld) {
    case Feld::Dateiname:
        return Eingabegrenze::Dateiname;
    case Feld::Schusszahl:
        return Eingabegrenze::Schusszahl;
    case Feld::Scheibentext:
        return Eingabegrenze::Scheibentext;
    default:
        return 0;
    }
}

Einstellungslogik::Einstellungslogik(Profilliste& liste, std::string startverzeichnis,
                                     Einstellungsansicht& ansicht)
    : m_liste(liste), m_ansicht(ansicht), m_startverzeichnis(std::move(startverzeichnis)),
      m_pfad(std::make_unique<Serienpfad>(liste, [this] { return DatensatzTitel(); })),
      m_wache(std::make_unique<Verbindungswache>(*m_pfad)) {
    m_pfad->VorMaschinenfehler = [this] { VorMaschinenfehler(); };
    m_pfad->VorSchnittstellenfehler = [this] { m_ansicht.zeigeFenster(true); };
    m_wache->Zustandswechsel = [this] {
        m_ansicht.zeigeVerbindung(m_wache->verbunden(), win1252ToUtf8(m_wache->tipp()));
    };
}

Einstellungslogik::~Einstellungslogik() {
    m_pfad->MaschinenSchliessen();
}

void Einstellungslogik::Starten() {
    // The machine choice: an item per line of the machine table, at its number.
    std::vector<std::string> maschinen;
    for (const Maschinenart& art : maschinentabelle()) {
        if (art.nummer >= static_cast<int>(maschinen.size()))
            maschinen.resize(static_cast<std::size_t>(art.nummer) + 1);
        maschinen[static_cast<std::size_t>(art.nummer)] = win1252ToUtf8(art.auswahl);
    }
    m_ansicht.fuelleMaschinenwahl(maschinen);

    // 1. own state
    m_profilnameEingabe.clear();
    m_profilindex = -1;
    // 2. tray icon
    m_ansicht.trayIconHinzufuegen();
    // 3. separator list
    std::array<std::string, 4> titel;
    for (std::size_t c = 0; c < titel.size(); ++c)
        titel[c] = win1252ToUtf8(trennzeichenSpalten[c]);
    std::vector<std::array<std::string, 4>> zeilen = trennzeichenliste();
    for (auto& zeile : zeilen) {
        for (std::string& zelle : zeile)
            zelle = win1252ToUtf8(zelle);
    }
    m_ansicht.fuelleTrennzeichenliste(titel, zeilen);
    // 4. profiles
    m_ersteinrichtung = false;
    m_liste.clear();
    m_gespeichert.clear();
    if (ConfigFile::Load(configPath(), m_liste)) {
        m_gespeichert = ConfigFile::inhalt(m_liste);
    } else {
        m_liste.clear();
        m_liste.appendStandard(m_startverzeichnis, standardPort());
        m_ersteinrichtung = true;
        if (text(m_liste.aktiv().Dateiname).empty())
            m_verworfenerStandardname = Profil::standardDateiname(m_startverzeichnis);
    }
    // 5. profile box; the first profile is active
    zeigeProfilbox(m_liste.empty() ? -1 : 0);
    m_liste.select(0);
    // 6. element table
    Datensatzelemente();
    // 7. the record writer came with the series path: the header line of a new file shows the
    // record list as it stands
    // 8. controls, 9. machine; at a first start the machine waits until the user has applied
    SteuerelementeLaden();
    // What an earlier run handed over and did not write, before the machine sends anything new.
    m_pfad->Nachtragen(m_startverzeichnis);
    m_anmeldungAusstehend = m_ersteinrichtung;
    if (m_anmeldungAusstehend) {
        m_ansicht.zeigeErsteinrichtungHinweis(true);
    } else {
        m_wache->neueAnmeldung();
        MaschineOeffnen();
    }
    m_wache->zustandMelden();
    // 10. the first row of each element list selected and focused
    for (Liste liste : {Liste::Elemente, Liste::Datensatz}) {
        if (!codes(liste).empty())
            m_ansicht.waehleZeile(liste, 0, true);
    }
    // 11. page "Info", 12. Profilindex
    m_ansicht.zeigeSeite(Seite::Info);
    m_profilindex = m_boxAuswahl;
}

std::string Einstellungslogik::configPath() const {
    return ConfigFile::path(m_startverzeichnis);
}

void Einstellungslogik::zeigeProfilbox(int gewaehlt) {
    std::vector<std::string> namen;
    namen.reserve(m_liste.size());
    for (const Profil& p : m_liste)
        namen.push_back(win1252ToUtf8(text(p.Name)));
    m_boxAuswahl = gewaehlt;
    m_ansicht.zeigeProfile(namen, gewaehlt);
}

// --- Profiles -------------------------------------------------------------------------------

void Einstellungslogik::ProfilWaehlen(int index) {
    SteuerelementeUebernehmen();
    m_liste.select(static_cast<std::size_t>(index));
    SteuerelementeLaden();
    ProfileGeaendert();
}

void Einstellungslogik::ProfilboxChange(const std::string& text) {
    m_profilnameEingabe = utf8ToWin1252(text);
}

void Einstellungslogik::ProfilboxSelect(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= m_liste.size())
        return;
    m_profilnameEingabe = text(m_liste[static_cast<std::size_t>(index)].Name);
    m_profilindex = index;
    m_boxAuswahl = index;
    ProfilWaehlen(index);
}

void Einstellungslogik::ProfilboxExit(bool listeOeffnet) {
    if (m_profilindex < 0 || static_cast<std::size_t>(m_profilindex) >= m_liste.size())
        return;
    if (!m_profilnameEingabe.empty()) {
        // Renaming takes effect at once, without "Übernehmen".
        m_liste.umbenennen(m_profilnameEingabe);
        zeigeProfilbox(listeOeffnet ? m_boxAuswahl : m_profilindex);
    } else if (m_profilindex >= 1) {
        // An empty name deletes the profile; the first one can never be deleted.
        if (listeOeffnet)
            SteuerelementeUebernehmen();
        m_liste.entferneAktives();
        zeigeProfilbox(0);
        m_profilindex = 0;
        SteuerelementeLaden();
    }
    ProfileGeaendert();
}

void Einstellungslogik::NeuesProfilClick() {
    Profil copy = m_liste.aktiv();
    SteuerelementeUebernehmen();
    m_profilnameEingabe = "Unbenannt";
    setText(copy.Name, "Unbenannt");
    m_liste.append(copy);
    m_liste.select(m_liste.size() - 1);
    m_profilindex = static_cast<int>(m_liste.size()) - 1;
    zeigeProfilbox(m_profilindex);
    m_ansicht.fokusInProfilbox();
    ProfileGeaendert();
}

// --- Buttons --------------------------------------------------------------------------------

void Einstellungslogik::DurchsuchenClick() {
    const std::string path = m_ansicht.speichernDialog(m_ansicht.feldText(Feld::Dateiname));
    if (path.empty())
        return;
    // The profile stores the name as Windows-1252 text in a field of its own size: a name that
    // does not fit would name another file.
    if (!istAnsi(path)) {
        m_ansicht.frage("Der gew\u00e4hlte Dateiname enth\u00e4lt Zeichen, die nicht gespeichert werden "
                        "k\u00f6nnen:\n\r" +
                            path + "\n\rBitte einen anderen Namen oder Ordner w\u00e4hlen.",
                        "Fehler", Mb::Ok | Mb::IconError);
        return;
    }
    if (utf8ToWin1252(path).size() > kMaxDateiname) {
        m_ansicht.frage("Der gew\u00e4hlte Dateiname ist zu lang (h\u00f6chstens " +
                            std::to_string(kMaxDateiname) +
                            " Zeichen).\n\rBitte einen k\u00fcrzeren Namen oder Ordner w\u00e4hlen.",
                        "Fehler", Mb::Ok | Mb::IconError);
        return;
    }
    m_ansicht.zeigeText(Feld::Dateiname, path);
}

void Einstellungslogik::UebernehmenClick() {
    // Not applied (the question about the protocol file answered "Nein", or a port name refused):
    // the window stays open with the edits in it.
    const unsigned anmeldungen = m_wache->anmeldungen();
    if (!SteuerelementeUebernehmen())
        return;
    ProfileGeaendert();
    // A machine that is not connected is signed on, whether or not a setting changed; one that
    // applying signed on already, or that answers, is left alone (a Disag would get its settings
    // again in the middle of a series).
    if (m_anmeldungAusstehend || (m_wache->anmeldungen() == anmeldungen && m_wache->anmeldungNoetig()))
        MaschineAnmelden();
    m_ansicht.setzeNeuAnmeldenAktiv(true);
    if (DateinameMelden()) // else the window stays open for another name
        m_ansicht.versteckeFenster();
}

void Einstellungslogik::AbbrechenClick() {
    SteuerelementeLaden();
    m_ansicht.versteckeFenster();
}

void Einstellungslogik::NeuAnmeldenClick() {
    if (Aenderungspruefung())
        m_ansicht.versteckeFenster();
    MaschineAnmelden();
}

void Einstellungslogik::DateiwahlClick(int index) {
    if (index == 0)
        m_ansicht.setzeSchalterAktiv(Schalter::Warnen, false);
    else if (index == 1)
        m_ansicht.setzeSchalterAktiv(Schalter::Warnen, true);
}

void Einstellungslogik::MaschinenwahlClick(int index) {
    m_ansicht.setzeNeuAnmeldenAktiv(!m_liste.empty() && index == m_liste.aktiv().Maschine);
    // The page "Maschinen-Einstellungen" shows for a machine that takes settings of its own.
    const Maschinenart* gewaehlt = maschinenart(index);
    m_ansicht.setzeSeiteSichtbar(Seite::Maschinen, gewaehlt && gewaehlt->einstellseite);
}

// --- The end --------------------------------------------------------------------------------

bool Einstellungslogik::CloseQuery() {
    // Series the protocol file has not taken yet are named below the question.
    const std::string wartend = win1252ToUtf8(m_pfad->Ausgabe().wartendeSerien());
    const std::string dazu = wartend.empty() ? std::string() : "\n\r\n\r" + wartend;
    if (!Aenderungspruefung()) {
        const int answer = m_ansicht.frage("Sollen die \u00c4nderungen \u00fcbernommen werden?" + dazu,
                                           "Hinweis", Mb::YesNoCancel | Mb::SystemModal);
        if (answer == IdCancel)
            return false;
        if (answer == IdYes)
            SteuerelementeUebernehmen();
    } else if (m_ansicht.frage("Wirklich beenden ?" + dazu, "Hinweis", Mb::YesNo | Mb::SystemModal) !=
               IdYes) {
        return false;
    }
    ProfileSpeichern(true);
    m_ansicht.trayIconEntfernen();
    return true;
}

void Einstellungslogik::Abschliessen(bool jemandDa) {
    m_pfad->MaschinenSchliessen();
    const Serienpfad::Abschluss abschluss = m_pfad->Abschliessen(m_startverzeichnis, true);
    const auto sagen = [jemandDa](const std::string& text, const char* titel, unsigned flags) {
        std::fprintf(stderr, "trefflux: %s\n", win1252ToUtf8(text).c_str());
        if (jemandDa)
            desktop().messageBox(text, titel, Mb::Ok | flags);
    };
    for (const std::string& text : abschluss.fehler)
        sagen(text, "Fehler", Mb::IconError);
    if (!abschluss.gemerkt) // without a journal the next start cannot tell
        for (const std::string& text : abschluss.meldungen)
            sagen(text, "Meldung", Mb::IconWarning);
}

void Einstellungslogik::OhneFrageBeenden() {
    ProfileSpeichern(false);
    m_ansicht.trayIconEntfernen();
}

bool Einstellungslogik::ProfileSpeichern(bool melden) {
    const std::string path = configPath();
    const auto result = ConfigFile::Save(path, m_liste);
    m_speicherfehlerGemeldet = !result.ok && (melden || m_speicherfehlerGemeldet);
    if (result.ok)
        m_gespeichert = ConfigFile::inhalt(m_liste);
    if (!result.ok && melden) {
        m_ansicht.frage("Die Einstellungen konnten nicht in der Datei\n\r" + path +
                            "\n\rgespeichert werden:\n\r" + result.error,
                        "Fehler", Mb::Ok | Mb::IconError | Mb::SystemModal);
    }
    return result.ok;
}

void Einstellungslogik::ProfileGeaendert() {
    m_pfad->ZielMelden();
    if (ConfigFile::inhalt(m_liste) != m_gespeichert)
        ProfileSpeichern(!m_speicherfehlerGemeldet);
}

// --- The protocol file's name ---------------------------------------------------------------

std::string Einstellungslogik::DateinameFehler() const {
    const std::string name = m_ansicht.feldText(Feld::Dateiname);
    return dateinameFehler(name.empty() && !m_verworfenerStandardname.empty() ? m_verworfenerStandardname
                                                                              : name);
}

bool Einstellungslogik::FensterBeimStart() const {
    return m_ersteinrichtung || !DateinameFehler().empty();
}

bool Einstellungslogik::DateinameMelden() {
    const std::string fehler = DateinameFehler();
    if (fehler.empty())
        return true;
    const std::string feld = m_ansicht.feldText(Feld::Dateiname);
    const std::string name = feld.empty() ? m_verworfenerStandardname : feld;
    m_ansicht.zeigeSeite(Seite::Allgemein);
    m_ansicht.frage("Die Protokolldatei" + (name.empty() ? "" : "\n\r" + name) +
                        "\n\rkann nicht verwendet werden:\n\r" + win1252ToUtf8(fehler) +
                        "\n\rBitte einen anderen Dateinamen w\u00e4hlen.",
                    "Fehler", Mb::Ok | Mb::IconError);
    m_ansicht.setzeFokus(Feld::Dateiname);
    return false;
}

// --- The tray icon --------------------------------------------------------------------------

bool Einstellungslogik::TrayBereit() const {
    return !m_ansicht.fensterSichtbar() && !desktop().overwriteWarningVisible();
}

void Einstellungslogik::TrayIconClick(Trayklick klick) {
    // While the window or the overwrite warning is open, the icon does nothing.
    if (!TrayBereit())
        return;
    switch (klick) {
    case Trayklick::Links:
        m_ansicht.oeffneProfilmenue();
        break;
    case Trayklick::Doppel:
        EinstellungenClick();
        break;
    case Trayklick::Rechts:
        m_ansicht.oeffneTraymenue();
        break;
    }
}

void Einstellungslogik::EinstellungenClick() {
    m_ansicht.zeigeFenster(true);
}

std::vector<Profilmenueeintrag> Einstellungslogik::Profilmenue() const {
    std::vector<Profilmenueeintrag> eintraege;
    eintraege.reserve(m_liste.size());
    for (std::size_t i = 0; i < m_liste.size(); ++i) {
        std::string titel;
        for (const char c : win1252ToUtf8(text(m_liste[i].Name))) {
            if (c == '&')
                titel += '&';
            titel += c;
        }
        eintraege.push_back({std::move(titel), static_cast<int>(i) == m_boxAuswahl,
                             i > 0 && i % Profilmenueeintrag::kProfileJeMenue == 0});
    }
    return eintraege;
}

void Einstellungslogik::ProfilmenueClick(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= m_liste.size())
        return;
    ProfilWaehlen(index);
    // The profile box as a choice in the box leaves it.
    zeigeProfilbox(index);
    m_profilindex = index;
    m_profilnameEingabe = text(m_liste[static_cast<std::size_t>(index)].Name);
    MaschineAnmelden();
}

void Einstellungslogik::VorMaschinenfehler() {
    if (desktop().overwriteWarningVisible())
        return;
    m_ansicht.zeigeSeite(Seite::Allgemein);
    m_ansicht.zeigeFenster(false);
}

void Einstellungslogik::TfxError(TCustomComPort* Sender, std::int32_t ErrorCode) {
    m_pfad->TfxError(Sender, ErrorCode);
}
