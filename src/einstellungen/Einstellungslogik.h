#pragma once

// What the settings window does, without a window: it shows the active profile in the view's
// controls, tells whether they differ from it, applies them, switches, creates, renames and
// deletes profiles, edits the record layout, tests and searches the machines, asks before the
// program ends, and serves the tray icon's profile menu. It owns the series path, so the machine
// of the active profile is opened and closed here.
//
// The view (Einstellungsansicht) is the window on some toolkit. It passes each user action to
// the method named after the control's handler below; the logic reads and fills the view's
// controls and asks its questions through it. Messages of the series path (a machine that does
// not answer, a port that cannot be opened) still go through desktop().
//
// Edits stay in the view's controls until they are applied (SteuerelementeUebernehmen) or
// discarded (SteuerelementeLaden). Two things take effect at once: the profile name typed into
// the profile box (renaming, deleting), and the separator kind chosen on the page
// "Datensatz-Einstellungen".
//
// Main thread only.

#include "Einstellungsansicht.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Profilliste;
class Serienpfad;
class TCustomComPort;
class Verbindungswache;

// The tray icon's clicks.
enum class Trayklick { Links, Doppel, Rechts };

class Einstellungslogik {
public:
    // Nothing is shown or loaded yet (see Starten); the series path is made here. The view must
    // outlive the logic.
    Einstellungslogik(Profilliste& liste, std::string startverzeichnis, Einstellungsansicht& ansicht);
    // Closes every machine port.
    virtual ~Einstellungslogik();
    Einstellungslogik(const Einstellungslogik&) = delete;
    Einstellungslogik& operator=(const Einstellungslogik&) = delete;

    // The start, once the view's controls exist, in the order the program has always used: own
    // state, tray icon, separator list, profiles (the default profile when none can be loaded),
    // profile box, element table, controls, machine, first rows of the element lists, page
    // "Info". At a first start the machine is not opened before the user has applied.
    void Starten();

    // Set when no profile could be loaded and the default profile was made: the window then
    // stays open after start.
    bool Ersteinrichtung() const { return m_ersteinrichtung; }
    // Whether the settings window comes up at the start: at a first start, and when the
    // protocol file's name cannot work, so that the user can choose another at once.
    bool FensterBeimStart() const;
    const std::string& Startverzeichnis() const { return m_startverzeichnis; }
    std::string configPath() const;
    int Profilindex() const { return m_profilindex; }
    Serienpfad& Pfad() const { return *m_pfad; }

    // Copies the active profile into the controls.
    void SteuerelementeLaden();
    // Copies the controls into the active profile, reconnecting the machine when a setting it
    // takes changed; false when nothing was applied (the user refused the question about the
    // protocol file, the port name does not fit the profile, or a new file name cannot work).
    virtual bool SteuerelementeUebernehmen();
    // True when the controls show exactly the active profile.
    virtual bool Aenderungspruefung();
    // Configures and opens the machine of the active profile; closes the ports of all machines.
    virtual void MaschineOeffnen();
    virtual void MaschinenSchliessen();
    // Signs the machine of the active profile on: closes all machine ports, waits the sign-on
    // pause and opens it. A failure is told, and the connection watch keeps trying.
    void MaschineAnmelden();
    // Applies the controls to the active profile, makes the profile at index active and loads it
    // into the controls. The machine is not reconnected.
    void ProfilWaehlen(int index);

    // The close query, for every request to close the window: asks, applies on consent, saves
    // the profiles, removes the tray icon. Returns whether the program may end.
    bool CloseQuery();
    // The end of the session: nobody can answer, so the profiles are saved without asking and
    // the tray icon is removed.
    void OhneFrageBeenden();
    // The end of the program, once its loop has ended: the machine ports closed, then series
    // the protocol file never took and the shots of an unfinished series written to files of
    // their own, which the next start tells of. What could not be kept, and where they went
    // when there is no journal to tell it next time, is said on standard error, and in a message
    // box when jemandDa (not at the end of the session).
    void Abschliessen(bool jemandDa);
    // Saves the profiles; a failure is told with a message when melden is set.
    bool ProfileSpeichern(bool melden);
    // After every change of the profiles (applied, new, renamed, deleted, chosen, the separator
    // kind, a machine found): saves them at once as at the end, when they differ from the file,
    // so that a crash keeps them, and tells the series path where series go now. A failure is
    // told once until a save succeeds.
    void ProfileGeaendert();

    // Why the protocol file named in the file name field (or the default one that could not be
    // stored) cannot be used, as a Windows-1252 sentence; empty when it can.
    std::string DateinameFehler() const;
    // Tells the user when the file name cannot be used and puts the focus into the field on the
    // page "Allgemeine Einstellungen". Returns whether the name can be used.
    bool DateinameMelden();

    // The column titles of the header line of a new protocol file: the record list "Datensatz
    // für 1 Schuss" as shown now (Windows-1252), in output order.
    std::vector<std::string> DatensatzTitel() const;

    // --- What the user did ---------------------------------------------------------------
    void DurchsuchenClick();    // "&Durchsuchen"
    void UebernehmenClick();    // "Ü&bernehmen"
    void AbbrechenClick();      // "&Abbrechen", also the Escape key
    void NeuesProfilClick();    // "&Neues Profil"
    void NeuAnmeldenClick();    // "Neu an &Ringlesemaschine anmelden"
    void MaschinentestClick();  // "Maschinen&test"
    void MaschinensucheClick(); // "Maschinen&suche"
    // ("&Programm beenden" and the tray entry "&Beenden" are a request to close: CloseQuery.)

    void DateiwahlClick(int index);           // "Datei" changed
    void MaschinenwahlClick(int index);       // "Ringlesemaschine" changed
    void TrennzeichenartwahlClick(int index); // the user switched the separator kind

    // The profile box: its text typed or chosen, an entry chosen from its list, the focus left
    // for another control of the window (listeOeffnet false) or its list about to open (true).
    void ProfilboxChange(const std::string& text);
    void ProfilboxSelect(int index);
    void ProfilboxExit(bool listeOeffnet);

    // A number field (Schusszahl, SchussProScheibe, Teilergrenze) was left for another control:
    // a value out of range is replaced by the field's default, and the focus goes back into it.
    void ZahlenfeldExit(Feld feld);

    // The record layout editor.
    void HinzufuegenClick(); // "> &Hinzufügen >"
    void EntfernenClick();   // "< &Entfernen <"
    void NachObenClick();
    void NachUntenClick();

    // The tray icon: a click on it (nothing happens while the window or the overwrite warning
    // is open), the menu entry "&Einstellungen", the items of the profile menu (see
    // Profilmenueeintrag) and a click on one of them (its index in the profile list).
    void TrayIconClick(Trayklick klick);
    bool TrayBereit() const; // whether the icon reacts now
    void EinstellungenClick();
    std::vector<Profilmenueeintrag> Profilmenue() const;
    void ProfilmenueClick(int index);

    // A machine reported an error: the window comes up on the page "Allgemeine Einstellungen"
    // unless the overwrite warning is open. (The series path closes the ports and tells.)
    void VorMaschinenfehler();
    // A machine component's error event: the series path closes all ports and tells the user.
    void TfxError(TCustomComPort* Sender, std::int32_t ErrorCode);

protected:
    Profilliste& m_liste;
    Einstellungsansicht& m_ansicht;

private:
    // Number fields: the range and the default put back.
    struct Zahlenfeld {
        Feld feld;
        int min;
        int max;
        const char* standard;
    };
    static const std::array<Zahlenfeld, 3> Zahlenfelder;
    // Puts the default back into a field whose value is out of range; true when it did.
    bool pruefeZahlenfeld(const Zahlenfeld& feld);
    // A field's text read as a decimal number, or the fallback.
    int zahl(Feld feld, int fallback) const;
    // A profile text (Windows-1252) shown in a field, cut to what the field takes.
    void zeige(Feld feld, const std::string& ansi);
    // What the field shows for a profile text, in Windows-1252.
    static std::string gezeigt(Feld feld, const std::string& ansi);
    std::string ansiText(Feld feld) const;
    // What a radio group shows for a profile value: its item, or none where it has none.
    int gezeigt(Wahl wahl, std::int32_t wert) const;

    void zeigeProfilbox(int gewaehlt);
    void zeigeElementliste(Liste liste);
    void zeigeTrennzeichen(std::int32_t code);
    std::vector<int>& codes(Liste liste) { return liste == Liste::Datensatz ? m_datensatz : m_elemente; }
    int gewaehlteZeile(Liste liste);

    // True when the port name fits the profile's field; otherwise the user is told.
    bool portnamePasst(const std::string& port);
    // True when a changed "Zusatztext" holds only what the Disag prints (ASCII); otherwise the
    // user is told and the field shown.
    bool scheibentextPasst();
    // The port of a new default profile: the first listed port that fits, "" when none does.
    std::string standardPort() const;
    // The ports the machine search tries: the port shown when the list does not hold it (a typed
    // or stored one), then every listed port.
    std::vector<std::string> suchPorts() const;
    void meldePortfehler(const std::string& text);
    // After a machine test or search: the active profile's machine opened again.
    void MaschineZurueckgeben();

    std::string m_startverzeichnis;
    std::unique_ptr<Serienpfad> m_pfad;
    std::unique_ptr<Verbindungswache> m_wache;
    bool m_ersteinrichtung = false;
    std::string m_verworfenerStandardname; // the default protocol file, when no profile can hold its name
    // Set at a first start until the machine is signed on for the first time: the default
    // profile's machine and port are a guess, so nothing is opened before the user has applied.
    bool m_anmeldungAusstehend = false;

    std::string m_gespeichert;             // the configuration file's bytes as last loaded or saved
    bool m_speicherfehlerGemeldet = false; // a failed save has been told

    int m_profilindex = -1;          // the profile the window works on, in the profile box
    int m_boxAuswahl = -1;           // the entry selected in the profile box
    std::string m_profilnameEingabe; // the text last typed into or chosen in the profile box

    // Working copies of the active profile's three Reserviert values (low 8 bits) and its three
    // separator codes; the layout editor edits the codes here until they are applied.
    std::array<std::int8_t, 3> m_reserviert{};
    std::array<std::int32_t, 3> m_trennzeichen{};
    // The element numbers of the rows of the two element lists. Every number 0 to 5 of a sound
    // profile is in exactly one of them: rows are only ever moved, never copied.
    std::vector<int> m_elemente;
    std::vector<int> m_datensatz;
};
