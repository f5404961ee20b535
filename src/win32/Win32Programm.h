#pragma once

#include "Profilliste.h"
#include "Serienpfad.h"

#include <memory>
#include <string>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// after windows.h
#include <shellapi.h>

// The running program on Windows: a hidden top-level window that owns the tray icon and its two
// menus, the series path, and the end of the program. A left click on the icon opens the profile
// menu (after the double-click time, so that a double click is not taken for it), a double click
// the settings, a right click the menu with "Einstellungen" and "Beenden".
//
// Main thread only.
class Win32Programm {
public:
    static constexpr UINT kTrayNachricht = 32868;
    static constexpr UINT kTrayId = 1006;
    // Command numbers of the menus; profile i has kProfilBefehl + i.
    enum : UINT { kEinstellungen = 1, kBeenden = 2, kProfilBefehl = 1000 };

    // Builds the window and the tray icon, loads the profiles from the start directory's
    // configuration file (the default profile when none can be loaded), makes the first one
    // active and opens its machine; at a first start the machine waits (see Ersteinrichtung).
    Win32Programm(Profilliste& liste, std::string startverzeichnis);
    // Closes the machine ports and removes the tray icon.
    ~Win32Programm();
    Win32Programm(const Win32Programm&) = delete;
    Win32Programm& operator=(const Win32Programm&) = delete;

    // No profile could be loaded and the default profile was made.
    bool Ersteinrichtung() const { return m_ersteinrichtung; }
    const std::string& Startverzeichnis() const { return m_startverzeichnis; }
    HWND fenster() const { return m_fenster; }
    const Profilliste& Liste() const { return m_liste; }
    bool trayIconDa() const { return m_trayIconDa; }
    Serienpfad& Pfad() { return *m_pfad; }
    TProtokollAusgabe& Ausgabe() { return m_pfad->Ausgabe(); }

    // The profile menu, built afresh: one item per profile in list order, the active one checked;
    // after every 30 items the list goes on in a submenu "Weitere Profile". The caller destroys it.
    HMENU PopupMenu2Popup() const;
    // The menu of the right click: "&Einstellungen" (the default item, bold), a line, "&Beenden".
    static HMENU PopupMenu1();
    // What a choice from either menu does (a command number from above).
    void Menuebefehl(UINT befehl);
    // A profile chosen in the profile menu: it becomes active and the machine is signed on again.
    void ProfilMenuItemClick(std::size_t index);
    // Brings up the settings.
    void Wiederherstellen1Click();

    // "&Beenden": asks, then saves the profiles, removes the tray icon and ends the message loop.
    // Returns whether the program ends.
    bool CloseQuery();
    // The end of the session, or a request from another program: nobody can answer, so the
    // profiles are saved without asking, the icon removed and the message loop ended.
    void endWithoutAsking();
    bool Endet() const { return m_endet; }
    // The program ended without asking (nobody may be there to read a message).
    bool OhneFragen() const { return m_ohneFragen; }

private:
    static LRESULT CALLBACK fensterProzedur(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT nachricht(UINT msg, WPARAM wParam, LPARAM lParam);
    void TrayIconMessage(UINT mausnachricht);
    void menueZeigen(HMENU menu);
    void addTrayIcon();
    void removeTrayIcon();
    bool saveProfiles(bool report);

    Profilliste& m_liste;
    std::string m_startverzeichnis;
    HWND m_fenster = nullptr;
    HICON m_icon = nullptr;
    UINT m_taskbarNeu = 0; // the shell's message when the task bar was made again
    bool m_trayIconDa = false;
    bool m_ersteinrichtung = false;
    bool m_einstellungenOffen = false;
    bool m_endet = false;
    bool m_ohneFragen = false;
    std::unique_ptr<Serienpfad> m_pfad;
};
