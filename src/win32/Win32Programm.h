#pragma once

#include "Einstellungsansicht.h"
#include "Einstellungslogik.h"
#include "Profilliste.h"
#include "Serienpfad.h"

#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// after windows.h
#include <shellapi.h>

// The running program on Windows: a hidden top-level window that owns the tray icon and its two
// menus, the settings window with its four pages, and the end of the program. What the settings
// window and the tray icon do is the settings logic's (Einstellungslogik); this class is its
// view on the Win32 API. A left click on the icon opens the profile menu (after the double-click
// time, so that a double click is not taken for it), a double click the settings, a right click
// the menu with "Einstellungen" and "Beenden".
//
// Main thread only.
class Win32Programm : public Einstellungsansicht {
public:
    static constexpr UINT kTrayNachricht = 32868;
    static constexpr UINT kTrayId = 1006;
    // Command numbers of the menus; profile i has kProfilBefehl + i.
    enum : UINT { kEinstellungen = 1, kBeenden = 2, kMonitor = 3, kProfilBefehl = 1000 };

    // The controls of the settings window: each has the name of the same control in the Qt
    // window (src/ui/Einstellungsfenster.ui) with a k in front. The items of a radio group follow
    // its number (item i: number + i).
    enum Element : UINT {
        kProfilbox = 100,
        kNeuesProfil,
        kSeiten,
        kUebernehmen,
        kAbbrechen,
        kProgrammBeenden,
        kDateiname,
        kDurchsuchen,
        kWarnen,
        kHeader,
        kPort,
        kMaschinensuche,
        kMaschinentest,
        kNeuAnmelden,
        kErsteinrichtungHinweis,
        kElementeliste,
        kHinzufuegen,
        kEntfernen,
        kDatensatzliste,
        kZehntelringe,
        kNachOben,
        kNachUnten,
        kTrennzeichenliste,
        kSchusszahl,
        kSchussProScheibe,
        kScheibentext,
        kTeilergrenze,
        kDrucker,
        kInfo,
        kMonitorKnopf,
        kDateiwahl = 200,
        kMaschinenwahl = 210, // up to 10 items
        kScheibentypwahl = 220,
        kTrennzeichenartwahl = 230,
    };

    // Builds the window, the settings window (hidden) and the tray icon, loads the profiles from
    // the start directory's configuration file (the default profile when none can be loaded),
    // makes the first one active and opens its machine; at a first start the machine waits (see
    // Ersteinrichtung).
    Win32Programm(Profilliste& liste, std::string startverzeichnis);
    // Closes the machine ports and removes the tray icon.
    ~Win32Programm() override;
    Win32Programm(const Win32Programm&) = delete;
    Win32Programm& operator=(const Win32Programm&) = delete;

    HWND fenster() const { return m_fenster; }
    HWND einstellungsfenster() const { return m_einstellungen; }
    // A control of the settings window (nullptr for an unknown number).
    HWND element(UINT id) const;
    const Profilliste& Liste() const { return m_liste; }
    // The settings logic this program is the view of.
    Einstellungslogik& Logik() { return *m_logik; }
    bool trayIconDa() const { return m_trayIconDa; }

    // The keyboard of the settings window (Tab, access keys, Escape): true when msg was taken.
    bool dialogNachricht(MSG& msg);
    // The controls Tab goes through, in its order: the profile row, the page tabs, the page shown
    // from top left to bottom right, the buttons below; of a group of radio buttons the checked
    // one. Only those that are visible and enabled.
    std::vector<HWND> tabReihe() const;

    // The profile menu, built afresh from the logic's items (Profilmenueeintrag). The caller
    // destroys it.
    HMENU ProfilmenueBauen() const;
    // The menu of the right click: "&Einstellungen" (the default item, bold),
    // "Übertragungs&monitor", a line, "&Beenden".
    static HMENU TraymenueBauen();
    // What a choice from either menu does (a command number from above).
    void Menuebefehl(UINT befehl);
    // Brings up the settings.
    void EinstellungenClick();
    // Opens the window "Übertragungsmonitor" on this program's transmission log.
    void MonitorZeigen();

    // Every request of the user to end ("&Beenden", "&Programm beenden", the window's close
    // button): the close query of the settings, then the message loop ends. Returns whether the
    // program ends.
    bool CloseQuery();
    // The end of the session, or a request from another program: nobody can answer, so the
    // profiles are saved without asking, the icon removed and the message loop ended.
    void OhneFrageBeenden();
    bool Endet() const { return m_endet; }
    // The program ended without asking (nobody may be there to read a message).
    bool OhneFragen() const { return m_ohneFragen; }

    // --- Einstellungsansicht -------------------------------------------------------------
    void fuelleMaschinenwahl(const std::vector<std::string>& eintraege) override;
    void fuelleTrennzeichenliste(const std::array<std::string, 4>& titel,
                                 const std::vector<std::array<std::string, 4>>& zeilen) override;
    void zeigeText(Feld feld, const std::string& text) override;
    void zeigeWahl(Wahl wahl, int index) override;
    void zeigeSchalter(Schalter schalter, bool an) override;
    void setzeSchalterAktiv(Schalter schalter, bool aktiv) override;
    void setzeNeuAnmeldenAktiv(bool aktiv) override;
    void zeigePort(const std::string& port) override;
    void zeigeProfile(const std::vector<std::string>& namen, int gewaehlt) override;
    void fokusInProfilbox() override;
    void zeigeListe(::Liste liste, const std::vector<std::string>& zeilen) override;
    void waehleZeile(::Liste liste, int zeile, bool fokus) override;
    void waehleTrennzeichen(int code) override;
    void setzeFokus(Feld feld) override;
    void zeigeSeite(Seite seite) override;
    void setzeSeiteSichtbar(Seite seite, bool sichtbar) override;
    void zeigeErsteinrichtungHinweis(bool zeigen) override;
    std::string feldText(Feld feld) const override;
    int wahl(Wahl wahl) const override;
    bool schalter(Schalter schalter) const override;
    std::string port() const override;
    std::vector<std::string> gelistetePorts() const override;
    int gewaehlteZeile(::Liste liste) const override;
    int gewaehltesTrennzeichen() const override;
    void zeigeFenster(bool aktivieren) override;
    void versteckeFenster() override;
    bool fensterSichtbar() const override;
    void trayIconHinzufuegen() override;
    void trayIconEntfernen() override;
    void zeigeVerbindung(bool verbunden, const std::string& tipp) override;
    // What the tray icon shows (for the self-test).
    bool zeigtVerbunden() const { return m_verbunden; }
    const std::wstring& trayTipp() const { return m_tipp; }
    bool hatGetrenntSymbol() const { return m_iconGetrennt != nullptr; }
    void oeffneProfilmenue() override;
    void oeffneTraymenue() override;
    int frage(const std::string& text, const std::string& titel, unsigned flags) override;
    std::string speichernDialog(const std::string& vorgabe) override;
    void sanduhr(bool an) override;

private:
    static LRESULT CALLBACK fensterProzedur(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK einstellungsProzedur(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK seitenProzedur(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT nachricht(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT einstellungsnachricht(UINT msg, WPARAM wParam, LPARAM lParam);
    void befehl(UINT id, UINT code);
    void benachrichtigung(const NMHDR& kopf);
    void TrayIconClick(UINT mausnachricht);
    void menueZeigen(HMENU menu);
    // The record of the tray icon: its window and number, the icon and tooltip of the state.
    NOTIFYICONDATAW trayDaten() const;

    // The settings window, built in code with the Qt window's geometry (pixels).
    void einstellungsfensterBauen();
    HWND neu(HWND eltern, UINT id, const wchar_t* klasse, const std::wstring& text, DWORD stil, int x, int y,
             int b, int h, DWORD exStil = 0);
    HWND gruppe(HWND eltern, const std::wstring& titel, int x, int y, int b, int h);
    // The radio buttons of a group, one under the other in its box.
    void radios(Wahl wahl, HWND eltern, UINT ersteId, const std::vector<std::wstring>& texte, int x, int y,
                int b, int h, int abstand);
    void tipp(HWND element, const wchar_t* text);
    void seitenZeigen();
    // Tab (weiter) or Shift+Tab: the focus to the next or previous control of tabReihe().
    void tabSchritt(bool weiter);
    // The radio buttons of the group the control belongs to; nullptr for another control.
    const std::vector<HWND>* radiogruppe(HWND element) const;
    HWND feldFenster(Feld feld) const;
    HWND schalterFenster(Schalter schalter) const;
    HWND listeFenster(::Liste liste) const;

    Profilliste& m_liste;
    HWND m_fenster = nullptr;
    HICON m_icon = nullptr;
    HICON m_iconGetrennt = nullptr; // greyed and crossed out: the machine is not connected
    bool m_verbunden = true;
    std::wstring m_tipp = L"Ringlesemaschine";
    UINT m_taskbarNeu = 0; // the shell's message when the task bar was made again
    bool m_trayIconDa = false;
    bool m_endet = false;
    bool m_ohneFragen = false;

    HWND m_einstellungen = nullptr;
    HFONT m_schrift = nullptr;
    HWND m_tipps = nullptr;
    std::map<UINT, HWND> m_elemente;
    std::array<HWND, 4> m_seiten{};
    std::array<bool, 4> m_seiteSichtbar{true, true, true, true};
    std::array<std::vector<HWND>, 4> m_radios; // by Wahl
    HWND m_gruppeMaschine = nullptr;
    std::vector<std::string> m_ports; // the ports found, in list order
    std::string m_portZusatz;         // the entry zeigePort added, "" for none
    HWND m_fokus = nullptr;           // the control that had the focus when the window was left
    bool m_sanduhr = false;

    std::unique_ptr<Einstellungslogik> m_logik;
};
