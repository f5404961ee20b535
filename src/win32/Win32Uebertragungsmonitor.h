#pragma once

#include "Lognachleser.h"

#include <string>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// The window "Übertragungsmonitor" of the Windows program: the transmission log as it is written,
// the last 10,000 lines of the current file, looked at four times a second, with "&Anhalten"
// (pause), "Anzeige &leeren", "&Kopieren" (the marked text, else all), "&Speichern unter…" and
// "S&chließen". It only reads the file; the log is written whether the window is open or not.
//
// Main thread only.
class Win32Uebertragungsmonitor {
public:
    static constexpr int Zeilen = 10000;
    enum Element : UINT {
        kDatei = 100,
        kAnzeige,
        kAnhalten,
        kLeeren,
        kKopieren,
        kSpeichernUnter,
        kSchliessen
    };

    // Opens the monitor on the log file at the path (one window at most) and brings it to the
    // front; an empty path shows "Kein Übertragungsprotokoll".
    static Win32Uebertragungsmonitor& zeigen(const std::string& pfad);
    // The open monitor, nullptr when there is none.
    static Win32Uebertragungsmonitor* offen();
    // The keyboard of the window (Tab, access keys, Escape): true when msg was taken.
    static bool dialogNachricht(MSG& msg);
    // Closes the monitor (at the end of the program).
    static void schliessen();

    HWND fenster() const { return m_fenster; }
    HWND element(UINT id) const { return ::GetDlgItem(m_fenster, static_cast<int>(id)); }
    // Reads what was added to the file since the last look (the timer calls it).
    void nachlesen();
    // The text shown, lines separated by "\n".
    std::wstring text() const;

private:
    explicit Win32Uebertragungsmonitor(std::string pfad);
    ~Win32Uebertragungsmonitor();
    static LRESULT CALLBACK prozedur(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT nachricht(UINT msg, WPARAM wParam, LPARAM lParam);
    void anhaengen(const std::string& zeilen);
    void leeren();
    void anordnen(int breite, int hoehe);
    void kopieren();
    void speichernUnter();

    Lognachleser m_leser;
    bool m_angehalten = false;
    bool m_folgen = true; // the view stays at the end as lines come
    int m_gestellt = 0;   // the first line shown when lines were last added
    HWND m_fenster = nullptr;
    HFONT m_schrift = nullptr;
    HFONT m_festbreite = nullptr;
};
