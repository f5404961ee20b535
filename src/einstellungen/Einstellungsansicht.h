#pragma once

// The settings window as the settings logic (Einstellungslogik) sees it: a set of controls that
// the logic fills and reads, a few things it can show, and one call that asks the user a
// question. The Qt window (ui/Einstellungsfenster) is one such view; a window on another toolkit
// implements the same calls and nothing else. A control has one name in every view (the Qt
// window's object name, the Win32 window's control id with a k in front): the names below.
//
// How the two meet:
// - The logic fills the controls (zeige..., fuelle...) and reads them back when it needs them
//   (feldText, wahl, schalter, port, gewaehlte...). It keeps no copy of what the user can edit
//   there, so the view reports the user's actions, not the values of its controls.
// - The view passes every user action on to the logic, by the logic's method named after the
//   control's handler (Einstellungslogik::UebernehmenClick for "Übernehmen" and so on).
// - The view runs no rule of its own: which control is enabled, which page shows, what a
//   number field falls back to, all of that comes from the logic. What the view does itself:
//   number fields take digits only (and Schusszahl at most Eingabegrenze characters), the
//   profile box does not switch entries on arrow keys or the wheel while its list is closed,
//   and the Escape key is "Abbrechen".
// - Values the logic sets need not be reported back. A view may report a change of the radio
//   groups "Datei" and "Ringlesemaschine" made by the program as well as by the user (the
//   reactions are harmless to repeat); the separator kind must be reported only when the user
//   switches it, since that switch writes the profile.
//
// A view's life: install a Desktop (platform/Desktop.h) first, since the series path tells
// through it (a machine that does not answer, a port that cannot be opened), the protocol
// output puts the clipboard and the overwrite warning there, and the tray icon asks it whether
// that warning is open. Make the window with all its controls (hidden), fill the port box with
// the ports present, make Einstellungslogik(liste, startverzeichnis, view) and call Starten(); then
// show the window only if Ersteinrichtung() (or the protocol file's name cannot work:
// DateinameFehler()). Every request to close the window (its close button, "&Programm
// beenden", the tray entry "&Beenden") runs CloseQuery(), and only true ends the program; the
// end of the session runs OhneFrageBeenden() instead. The user's actions, by control:
// - buttons: DurchsuchenClick "&Durchsuchen", UebernehmenClick "Ü&bernehmen", AbbrechenClick
//   "&Abbrechen" (and Escape), NeuesProfilClick "&Neues Profil", NeuAnmeldenClick "Neu an
//   &Ringlesemaschine anmelden", MaschinentestClick, MaschinensucheClick, HinzufuegenClick,
//   EntfernenClick, NachObenClick, NachUntenClick;
// - radio groups: DateiwahlClick, MaschinenwahlClick (see below), TrennzeichenartwahlClick;
// - profile box: ProfilboxChange on every edit of its text, ProfilboxSelect when an entry is
//   chosen from its list, ProfilboxExit(false) when the focus leaves it for another control of
//   the window, ProfilboxExit(true) just before its list opens;
// - number fields: ZahlenfeldExit when the focus leaves one for another control of the window;
// - tray icon: TrayIconClick, and TrayBereit() again before a delayed menu opens;
//   EinstellungenClick for "&Einstellungen"; ProfilmenueClick(index) for a profile.
// Nothing else needs reporting: check boxes, edits, the port box and the list selections are
// read when the logic needs them.
//
// Texts are UTF-8 std::string both ways (the logic converts to and from the Windows-1252 of the
// profiles and the protocol file). Indices count from 0; -1 means none. Calls come on the main
// thread only. The view must not call back into the logic from inside one of these calls,
// except for the radio group reports named above.

#include <array>
#include <string>
#include <vector>

// The four pages of the settings window, in their order on the page control.
enum class Seite {
    Allgemein, // "Allgemeine Einstellungen" (SeiteAllgemein)
    Datensatz, // "Datensatz-Einstellungen" (SeiteDatensatz), the record layout editor
    Maschinen, // "Maschinen-Einstellungen" (SeiteMaschinen), shown for a machine with settings
    Info,      // "Info" (SeiteInfo)
};

// The edit fields, each named as its control.
enum class Feld {
    Dateiname,        // group "Dateiname": the protocol file's full path
    Schusszahl,       // group "Schusszahl für 1 Serie": digits, hint "1 - 120"
    SchussProScheibe, // group "Schuss pro Scheibe": digits, hint "1-15"
    Scheibentext,     // "Zusatztext", hint "( max. 10 Zeichen )"
    Teilergrenze,     // "Teilergrenze": digits, hint "10 - 10000"
};

// The radio groups; their value is the index of the checked item, -1 for none.
enum class Wahl {
    Datei,           // Dateiwahl "Datei": "Alle Datensätze (Serien) in Datei speichern",
                     // "Nur einen Datensatz (Serie) in Datei Speichern"
    Maschine,        // Maschinenwahl "Ringlesemaschine": items from fuelleMaschinenwahl
    Scheibentyp,     // Scheibentypwahl "Scheibentyp": "LG 10er-Band", "LG 5er-Band",
                     // "LG Einzelscheibe", "Luftpistole", "Zimmerstutzen", "KK 50m"
    Trennzeichenart, // Trennzeichenartwahl "Trennzeichen zwischen": "Datensatzelement ",
                     // "Schuss", "Serie"
};

// The check boxes, each named as its control.
enum class Schalter {
    Warnen,       // "&Vor Überschreiben einer Datei warnen"
    Zehntelringe, // "1/10 Ringe"
    Drucker,      // "Drucker Ein "
    Header,       // "&Header an den Anfang der Datei"
};

// The two element lists of the record layout editor (one column, whole-row selection).
enum class Liste {
    Elemente,  // Elementeliste, group "Daten der Auswertmaschine"
    Datensatz, // Datensatzliste, group "Datensatz für 1 Schuss"
};

// How many characters a field takes (0: no limit of its own). The logic cuts what it shows to
// this length; the view keeps typed text within it. The profile box takes Profilname characters.
namespace Eingabegrenze {
constexpr int Dateiname = 511;
constexpr int Schusszahl = 3;
constexpr int Scheibentext = 9;
constexpr int Profilname = 99;
} // namespace Eingabegrenze
int eingabegrenze(Feld feld);

// The one line on the page "Allgemeine Einstellungen" that tells a first-time user what to do.
inline constexpr const char* ErsteinrichtungHinweis =
    "Maschine und Schnittstelle w\u00e4hlen oder \u201eMaschinensuche\u201c, dann \u201e\u00dc"
    "bernehmen\u201c.";

// One item of the profile menu of the tray icon: one per profile, in list order. So that every
// profile stays reachable on any screen, the list goes on after every kProfileJeMenue items in a
// submenu kWeitereProfile at the end of the menu before.
struct Profilmenueeintrag {
    static constexpr int kProfileJeMenue = 30;
    static constexpr const char* kWeitereProfile = "Weitere Profile";

    std::string titel; // the profile's name with "&" doubled: a character of the name, no access key
    bool haken;        // the check mark: the active profile
    bool weitere;      // the first item of a submenu kWeitereProfile
};

class Einstellungsansicht {
public:
    virtual ~Einstellungsansicht() = default;

    // --- Filled once, at the start -------------------------------------------------------
    // The items of the machine choice "Ringlesemaschine", at their index.
    virtual void fuelleMaschinenwahl(const std::vector<std::string>& eintraege) = 0;
    // The separator list (258 rows, one per separator code, in code order) with its four column
    // titles; the fourth column is a narrow empty one.
    virtual void fuelleTrennzeichenliste(const std::array<std::string, 4>& titel,
                                         const std::vector<std::array<std::string, 4>>& zeilen) = 0;

    // --- Controls: shown by the logic ----------------------------------------------------
    virtual void zeigeText(Feld feld, const std::string& text) = 0;
    virtual void zeigeWahl(Wahl wahl, int index) = 0; // -1: no item checked
    virtual void zeigeSchalter(Schalter schalter, bool an) = 0;
    virtual void setzeSchalterAktiv(Schalter schalter, bool aktiv) = 0;
    // Enables "Neu an &Ringlesemaschine anmelden" (NeuAnmelden).
    virtual void setzeNeuAnmeldenAktiv(bool aktiv) = 0;

    // The port box (Port): shows the port, selecting its item in the list of ports when it is
    // there (the very name), otherwise as an entry of its own, marked as not present (only one
    // such entry at a time). An empty name shows nothing.
    virtual void zeigePort(const std::string& port) = 0;

    // The profile box (Profilbox): its entries, and the one selected (its text in the edit).
    virtual void zeigeProfile(const std::vector<std::string>& namen, int gewaehlt) = 0;
    // Puts the focus into the profile box with its text marked, so a name can be typed at once.
    virtual void fokusInProfilbox() = 0;

    // An element list: its rows (captions), none selected afterwards.
    virtual void zeigeListe(Liste liste, const std::vector<std::string>& zeilen) = 0;
    // Selects a row (-1: none); with fokus it also becomes the list's focused row.
    virtual void waehleZeile(Liste liste, int zeile, bool fokus) = 0;
    // Selects the separator list's row of the code and scrolls it into view; -1 selects none.
    virtual void waehleTrennzeichen(int code) = 0;

    // Puts the focus into the field once the user's change of focus is over; the file name's
    // text is marked, so another name can be typed at once.
    virtual void setzeFokus(Feld feld) = 0;

    virtual void zeigeSeite(Seite seite) = 0;
    virtual void setzeSeiteSichtbar(Seite seite, bool sichtbar) = 0;
    virtual void zeigeErsteinrichtungHinweis(bool zeigen) = 0; // the line ErsteinrichtungHinweis

    // --- Controls: read by the logic -----------------------------------------------------
    virtual std::string feldText(Feld feld) const = 0;
    virtual int wahl(Wahl wahl) const = 0;
    virtual bool schalter(Schalter schalter) const = 0;
    // The port name shown or typed in the port box, without surrounding blanks; "" for none.
    virtual std::string port() const = 0;
    // The ports found on this computer, in list order (not an entry zeigePort added).
    virtual std::vector<std::string> gelistetePorts() const = 0;
    virtual int gewaehlteZeile(Liste liste) const = 0;
    virtual int gewaehltesTrennzeichen() const = 0; // the selected row of the separator list

    // --- The window and the tray icon ----------------------------------------------------
    // Shows the window; with aktivieren it also comes to the front and takes the focus.
    virtual void zeigeFenster(bool aktivieren) = 0;
    virtual void versteckeFenster() = 0;
    virtual bool fensterSichtbar() const = 0;
    virtual void trayIconHinzufuegen() = 0; // tip "Ringlesemaschine"
    virtual void trayIconEntfernen() = 0;
    // Whether the machine is connected: the icon shows the target as it is, or greyed and
    // crossed out; tipp is its tooltip. May come before the icon is there, and again unchanged.
    virtual void zeigeVerbindung(bool verbunden, const std::string& tipp) = 0;
    // Opens the tray icon's profile menu at the mouse (items: Einstellungslogik::Profilmenue(),
    // a click: Einstellungslogik::ProfilmenueClick), or its menu "&Einstellungen" (bold, the
    // default: Einstellungslogik::EinstellungenClick), "-", "&Beenden" (a request to close).
    virtual void oeffneProfilmenue() = 0;
    virtual void oeffneTraymenue() = 0;

    // --- Dialogs -------------------------------------------------------------------------
    // A modal message box: the text ("\n\r" is one line break), its title, the Mb:: flags of
    // platform/Desktop.h (the values of the Windows MB_ flags). Returns the button pressed as an
    // MbResult (the values of the Windows ID results).
    virtual int frage(const std::string& text, const std::string& titel, unsigned flags) = 0;
    // The save dialog of "&Durchsuchen": title "Datei Speichern", filter
    // "Ringlesemaschine-Protokoll|*.rls", default extension "rls", asks before overwriting, does
    // not change the current directory. Returns the chosen path, "" when cancelled.
    virtual std::string speichernDialog(const std::string& vorgabe) = 0;
    // The hourglass cursor on or off (the machine test and search).
    virtual void sanduhr(bool an) = 0;
};
