#pragma once

#include "Desktop.h"

#include <string>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// The desktop of the Windows view: message boxes (MessageBoxW, the flags are the Windows ones),
// the clipboard (CF_UNICODETEXT and CF_TEXT in Windows-1252) and the overwrite warning, a dialog
// of its own. Installs itself for its whole life.
class Win32Desktop : public Desktop {
public:
    // The clipboard belongs to a window of the program: clipboardFenster.
    explicit Win32Desktop(HWND clipboardFenster);
    ~Win32Desktop() override;
    Win32Desktop(const Win32Desktop&) = delete;
    Win32Desktop& operator=(const Win32Desktop&) = delete;

    int messageBox(const std::string& text, const std::string& title, unsigned flags) override;
    void closeMessageBox(const std::string& text) override;
    void setClipboardText(const std::string& text) override;
    int overwriteWarning(const std::string& fileName) override;
    bool overwriteWarningVisible() const override { return m_warnungOffen; }
    // A balloon at the tray icon (NIF_INFO); without one, a message box.
    void trayMessage(const std::string& text, const std::string& title) override;

    // The program's tray icon for trayMessage: its window and number (nullptr: none).
    void setTrayIcon(HWND fenster, UINT id) {
        m_trayFenster = fenster;
        m_trayId = id;
    }

    // The text of the clipboard as Unicode, empty when there is none (for the self-test).
    static std::wstring clipboardUnicode(HWND fenster);

private:
    HWND m_fenster;
    bool m_warnungOffen = false;
    HWND m_trayFenster = nullptr;
    UINT m_trayId = 0;
};

// What a save dialog is for: its title, its filter (pairs of texts, each ended by a NUL, the
// whole ended by another) and the ending added to a name without one.
struct Speicherart {
    const wchar_t* titel;
    const wchar_t* filter;
    const wchar_t* endung;
};
// A protocol file.
inline constexpr Speicherart kProtokolldatei{
    L"Datei Speichern", L"Ringlesemaschine-Protokoll (*.rls)\0*.rls\0Alle Dateien (*.*)\0*.*\0", L"rls"};

// The save dialog, preset with a path (UTF-8); asks before it overwrites a file. Returns the
// chosen path (UTF-8), or an empty text when the user cancelled.
std::string speicherDialog(HWND besitzer, const std::string& vorgabe,
                           const Speicherart& art = kProtokolldatei);
