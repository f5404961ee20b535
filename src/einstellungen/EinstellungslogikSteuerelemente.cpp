// The controls and the active profile: loading the profile into the controls, telling whether
// they differ, and applying them.
//
// Every control is compared with what it shows for the profile's value, so a value that a
// control cannot show (a damaged or hand-made profile) is no difference the user could see or
// undo, and it is kept until the user chooses another.

#include "Einstellungslogik.h"

#include "Serienpfad.h"

#include "Desktop.h"
#include "DisagEinstellstring.h"
#include "Profilliste.h"
#include "Win1252.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <string_view>

namespace {

constexpr std::size_t kMaxPortName = std::tuple_size_v<decltype(Profil::Port)> - 1;

// The element numbers a list shows for the slots of a profile: the valid ones, in slot order.
std::vector<int> gezeigt(const std::array<int8_t, 6>& werte) {
    std::vector<int> codes;
    for (int8_t slot : werte) {
        if (const auto code = elementCode(slot))
            codes.push_back(*code);
    }
    return codes;
}

std::int8_t low8(std::int32_t wert) {
    return static_cast<std::int8_t>(static_cast<std::uint8_t>(wert & 0xFF));
}

// Deletes the protocol file before a changed record layout is applied. Only a file is deleted
// (never a folder); a failure is ignored.
void loescheProtokolldatei(const std::string& utf8) {
    namespace fs = std::filesystem;
    try {
        std::error_code ec;
        const fs::path path(std::u8string(utf8.begin(), utf8.end()));
        const fs::file_status status = fs::symlink_status(path, ec);
        if (!ec && (fs::is_regular_file(status) || fs::is_symlink(status)))
            fs::remove(path, ec);
    } catch (const std::exception&) {
        // a name the system cannot take names no file to delete
    }
}

} // namespace

const std::array<Einstellungslogik::Zahlenfeld, 3> Einstellungslogik::Zahlenfelder{{
    {Feld::SchussProScheibe, 1, 15, "1"},
    {Feld::Teilergrenze, 10, 10000, "250"},
    {Feld::Schusszahl, 1, 120, "10"},
}};

int Einstellungslogik::zahl(Feld feld, int fallback) const {
    const std::string gelesen = m_ansicht.feldText(feld);
    std::string_view text = gelesen;
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty() ? value : fallback;
}

bool Einstellungslogik::pruefeZahlenfeld(const Zahlenfeld& feld) {
    const int value = zahl(feld.feld, 0);
    if (value >= feld.min && value <= feld.max)
        return false;
    m_ansicht.zeigeText(feld.feld, feld.standard);
    return true;
}

void Einstellungslogik::ZahlenfeldExit(Feld feld) {
    for (const Zahlenfeld& z : Zahlenfelder) {
        if (z.feld == feld && pruefeZahlenfeld(z))
            m_ansicht.setzeFokus(feld);
    }
}

std::string Einstellungslogik::gezeigt(Feld feld, const std::string& ansi) {
    const int grenze = eingabegrenze(feld);
    return grenze > 0 && ansi.size() > static_cast<std::size_t>(grenze) ? ansi.substr(0, grenze) : ansi;
}

void Einstellungslogik::zeige(Feld feld, const std::string& ansi) {
    m_ansicht.zeigeText(feld, win1252ToUtf8(gezeigt(feld, ansi)));
}

std::string Einstellungslogik::ansiText(Feld feld) const {
    return utf8ToWin1252(m_ansicht.feldText(feld));
}

int Einstellungslogik::gezeigt(Wahl wahl, std::int32_t wert) const {
    int anzahl = 0;
    switch (wahl) {
    case Wahl::Datei:
        anzahl = 2;
        break;
    case Wahl::Maschine:
        for (const Maschinenart& art : maschinentabelle())
            anzahl = std::max(anzahl, art.nummer + 1);
        break;
    case Wahl::Scheibentyp:
        anzahl = 6;
        break;
    case Wahl::Trennzeichenart:
        anzahl = 3;
        break;
    }
    return wert >= 0 && wert < anzahl ? wert : -1;
}

bool Einstellungslogik::portnamePasst(const std::string& port) {
    if (port.size() <= kMaxPortName)
        return true;
    m_ansicht.frage("Der Name der Schnittstelle\n\r" + port +
                        "\n\rist zu lang und kann nicht gespeichert werden (h\u00f6chstens " +
                        std::to_string(kMaxPortName) + " Zeichen).",
                    "Fehler", Mb::Ok | Mb::IconError);
    return false;
}

bool Einstellungslogik::scheibentextPasst() {
    const std::string scheibentext = ansiText(Feld::Scheibentext);
    if (scheibentext == gezeigt(Feld::Scheibentext, text(m_liste.aktiv().Scheibentext)) ||
        std::all_of(scheibentext.begin(), scheibentext.end(), istDruckbarAscii))
        return true;
    m_ansicht.zeigeSeite(Seite::Maschinen);
    m_ansicht.frage("Der Zusatztext\n\r" + m_ansicht.feldText(Feld::Scheibentext) +
                        "\n\renth\u00e4lt Zeichen, die die Maschine nicht drucken kann. Erlaubt sind "
                        "Buchstaben ohne Umlaute und \u00df, Ziffern, Leerzeichen und Satzzeichen.",
                    "Fehler", Mb::Ok | Mb::IconError);
    m_ansicht.setzeFokus(Feld::Scheibentext);
    return false;
}

std::string Einstellungslogik::standardPort() const {
    for (const std::string& port : m_ansicht.gelistetePorts()) {
        if (port.size() <= kMaxPortName)
            return port;
    }
    return {};
}

void Einstellungslogik::SteuerelementeLaden() {
    const Profil& p = m_liste.aktiv();
    // 1. working copies
    for (std::size_t i = 0; i < 3; ++i) {
        m_reserviert[i] = low8(p.Reserviert[i]);
        m_trennzeichen[i] = p.Trennzeichen[i];
    }
    // 2. port: always the profile's own, listed or not
    m_ansicht.zeigePort(text(p.Port));
    // 3. machine and file mode, with their reactions
    m_ansicht.zeigeWahl(Wahl::Maschine, gezeigt(Wahl::Maschine, p.Maschine));
    MaschinenwahlClick(gezeigt(Wahl::Maschine, p.Maschine));
    m_ansicht.zeigeWahl(Wahl::Datei, gezeigt(Wahl::Datei, p.Dateimodus));
    // 4.
    m_ansicht.zeigeSchalter(Schalter::Warnen, p.Warnen != 0);
    m_ansicht.zeigeSchalter(Schalter::Zehntelringe, p.Zehntelringe != 0);
    // 5. the separator shown, without the reaction to a switch by the user
    const int wahl = gezeigt(Wahl::Trennzeichenart, p.TrennzeichenWahl);
    m_ansicht.zeigeWahl(Wahl::Trennzeichenart, wahl);
    zeigeTrennzeichen(wahl >= 0 ? m_trennzeichen[static_cast<std::size_t>(wahl)] : -1);
    // 6. element lists
    m_elemente = ::gezeigt(p.Elemente);
    m_datensatz = ::gezeigt(p.Datensatz);
    zeigeElementliste(Liste::Elemente);
    zeigeElementliste(Liste::Datensatz);
    // 7., 8.
    zeige(Feld::Dateiname, text(p.Dateiname));
    DateiwahlClick(gezeigt(Wahl::Datei, p.Dateimodus));
    // 9.
    m_ansicht.zeigeSchalter(Schalter::Header, p.Header != 0);
    m_ansicht.zeigeWahl(Wahl::Scheibentyp, gezeigt(Wahl::Scheibentyp, p.Scheibentyp));
    // 10.
    zeige(Feld::Schusszahl, std::to_string(p.Gesamtschusszahl));
    zeige(Feld::SchussProScheibe, std::to_string(p.Scheibenschusszahl));
    zeige(Feld::Scheibentext, text(p.Scheibentext));
    m_ansicht.zeigeSchalter(Schalter::Drucker, p.Drucker != 0);
    zeige(Feld::Teilergrenze, std::to_string(p.Teilergrenze));
}

bool Einstellungslogik::Aenderungspruefung() {
    const Profil& p = m_liste.aktiv();
    if (m_ansicht.wahl(Wahl::Maschine) != gezeigt(Wahl::Maschine, p.Maschine) ||
        m_ansicht.port() != text(p.Port) ||
        m_ansicht.wahl(Wahl::Datei) != gezeigt(Wahl::Datei, p.Dateimodus) ||
        m_ansicht.schalter(Schalter::Warnen) != (p.Warnen != 0) ||
        m_ansicht.schalter(Schalter::Zehntelringe) != (p.Zehntelringe != 0) ||
        m_ansicht.wahl(Wahl::Trennzeichenart) != gezeigt(Wahl::Trennzeichenart, p.TrennzeichenWahl))
        return false;

    for (std::size_t i = 0; i < 3; ++i) {
        if (m_reserviert[i] != low8(p.Reserviert[i]) || m_trennzeichen[i] != p.Trennzeichen[i])
            return false;
    }
    // A row chosen in the separator list that is not yet in the working copy. With no row
    // selected nothing was chosen.
    const int wahl = m_ansicht.wahl(Wahl::Trennzeichenart);
    const int zeile = m_ansicht.gewaehltesTrennzeichen();
    if (wahl >= 0 && wahl < 3 && zeile >= 0 && zeile != m_trennzeichen[static_cast<std::size_t>(wahl)])
        return false;

    if (m_elemente != ::gezeigt(p.Elemente) || m_datensatz != ::gezeigt(p.Datensatz))
        return false;

    return ansiText(Feld::Dateiname) == gezeigt(Feld::Dateiname, text(p.Dateiname)) &&
           m_ansicht.wahl(Wahl::Scheibentyp) == gezeigt(Wahl::Scheibentyp, p.Scheibentyp) &&
           zahl(Feld::Schusszahl, 0) == p.Gesamtschusszahl &&
           zahl(Feld::SchussProScheibe, 1) == p.Scheibenschusszahl &&
           ansiText(Feld::Scheibentext) == gezeigt(Feld::Scheibentext, text(p.Scheibentext)) &&
           m_ansicht.schalter(Schalter::Drucker) == (p.Drucker != 0) &&
           zahl(Feld::Teilergrenze, 250) == p.Teilergrenze &&
           m_ansicht.schalter(Schalter::Header) == (p.Header != 0);
}

bool Einstellungslogik::SteuerelementeUebernehmen() {
    // A port name longer than the profile's field would be cut into the name of another port:
    // it is refused, and nothing is applied.
    const std::string port = m_ansicht.port();
    if (port != text(m_liste.aktiv().Port) && !portnamePasst(port))
        return false;
    // A "Zusatztext" the Disag cannot print is refused the same way.
    if (!scheibentextPasst())
        return false;
    // A new protocol file name that cannot work is refused the same way: it never reaches the
    // profile, so "Abbrechen" puts the working one back.
    if (ansiText(Feld::Dateiname) != gezeigt(Feld::Dateiname, text(m_liste.aktiv().Dateiname)) &&
        !DateinameMelden())
        return false;
    // A number out of range never reaches the profile or the machine, even when the field was
    // not left before applying (a shortcut key applies without moving the focus).
    for (const Zahlenfeld& feld : Zahlenfelder)
        pruefeZahlenfeld(feld);

    // 1.
    if (Aenderungspruefung())
        return true;
    Profil& p = m_liste.aktiv();
    const bool header = m_ansicht.schalter(Schalter::Header);
    const int dateimodus = m_ansicht.wahl(Wahl::Datei);
    // 2. With a header line in a file of all records, an old file whose header no longer matches
    // the record list may be deleted; only a change of what the header line describes asks, and
    // "Nein" (the default) applies nothing. Asked once the machine has taken the values.
    const bool loeschenFragen =
        header && dateimodus == 0 && (p.Header == 0 || m_datensatz != ::gezeigt(p.Datensatz));
    const Profil vorher = p;
    const std::array<std::int32_t, 3> trennzeichenVorher = m_trennzeichen;
    const auto nichtsUebernehmen = [&] {
        p = vorher;
        m_trennzeichen = trennzeichenVorher;
        return false;
    };

    // 3.
    bool reconnect = false;
    // 4.
    if (port != text(p.Port)) {
        setText(p.Port, port);
        reconnect = true;
    }
    // 5. A value that a control cannot show is kept until the user chooses another (5, 6, 9, 13).
    const int maschine = m_ansicht.wahl(Wahl::Maschine);
    if (maschine != gezeigt(Wahl::Maschine, p.Maschine)) {
        p.Maschine = maschine;
        reconnect = true;
    }
    // 6.
    if (dateimodus != gezeigt(Wahl::Datei, p.Dateimodus))
        p.Dateimodus = dateimodus;
    p.Warnen = m_ansicht.schalter(Schalter::Warnen) ? 1 : 0;
    // 7. tenths change the settings of a machine that takes them from the profile (the Disag)
    const bool zehntel = m_ansicht.schalter(Schalter::Zehntelringe);
    if (zehntel != (p.Zehntelringe != 0)) {
        p.Zehntelringe = zehntel ? 1 : 0;
        if (const Maschinenart* art = maschinenart(p.Maschine); art && art->einstellen)
            reconnect = true;
    }
    // 8.
    setText(p.Dateiname, ansiText(Feld::Dateiname));
    // 9. the separator shown takes the row chosen for it
    const int wahl = m_ansicht.wahl(Wahl::Trennzeichenart);
    if (wahl != gezeigt(Wahl::Trennzeichenart, p.TrennzeichenWahl))
        p.TrennzeichenWahl = wahl;
    const int zeile = m_ansicht.gewaehltesTrennzeichen();
    if (wahl >= 0 && wahl < 3 && zeile >= 0)
        m_trennzeichen[static_cast<std::size_t>(wahl)] = zeile;
    // 10.
    for (std::size_t i = 0; i < 3; ++i) {
        p.Reserviert[i] = m_reserviert[i];
        p.Trennzeichen[i] = m_trennzeichen[i];
    }
    // 11. used slots first, in list order
    for (std::size_t i = 0; i < 6; ++i) {
        p.Elemente[i] = static_cast<int8_t>(i < m_elemente.size() ? m_elemente[i] : -1);
        p.Datensatz[i] = static_cast<int8_t>(i < m_datensatz.size() ? m_datensatz[i] : -1);
    }
    // 12.
    p.Header = header ? 1 : 0;
    // 13. the Disag's settings, whatever the machine
    const auto store = [&reconnect](auto& field, auto value) {
        if (field != value) {
            field = value;
            reconnect = true;
        }
    };
    const int scheibentyp = m_ansicht.wahl(Wahl::Scheibentyp);
    if (scheibentyp != gezeigt(Wahl::Scheibentyp, p.Scheibentyp))
        store(p.Scheibentyp, scheibentyp);
    store(p.Gesamtschusszahl, zahl(Feld::Schusszahl, 10));
    store(p.Scheibenschusszahl, zahl(Feld::SchussProScheibe, 1));
    const std::string scheibentext = ansiText(Feld::Scheibentext);
    if (scheibentext != gezeigt(Feld::Scheibentext, text(p.Scheibentext))) {
        setText(p.Scheibentext, scheibentext);
        reconnect = true;
    }
    store(p.Drucker, static_cast<uint8_t>(m_ansicht.schalter(Schalter::Drucker) ? 1 : 0));
    store(p.Teilergrenze, zahl(Feld::Teilergrenze, 250));
    // Values the chosen machine cannot work with apply nothing; the window stays open.
    if (const std::string fehler = profilFehler(p); !fehler.empty()) {
        nichtsUebernehmen();
        m_ansicht.frage(win1252ToUtf8(fehler), "Fehler", Mb::Ok | Mb::IconError);
        return false;
    }
    if (loeschenFragen) {
        if (m_ansicht.frage("Der Datensatzaufbau wurde ge\u00e4ndert.\n\r"
                            "Deshalb sollte die Protokolldatei gel\u00f6scht werden!\n\r"
                            "l\u00f6schen?",
                            "Meldung", Mb::YesNo | Mb::DefButton2) != IdYes)
            return nichtsUebernehmen();
        loescheProtokolldatei(m_ansicht.feldText(Feld::Dateiname));
    }
    // A value the machine takes in its own way is told when it is chosen, and applied.
    if (const Maschinenart* art = maschinenart(p.Maschine);
        art && art->profilHinweis && (p.Maschine != vorher.Maschine || p.Teilergrenze != vorher.Teilergrenze))
        if (const std::string hinweis = art->profilHinweis(p); !hinweis.empty())
            m_ansicht.frage(win1252ToUtf8(hinweis), "Hinweis", Mb::Ok | Mb::IconInformation);
    // 14. file, layout and separators take effect with the next record
    if (reconnect)
        MaschineAnmelden();
    return true;
}
