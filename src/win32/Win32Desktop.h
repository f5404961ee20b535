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
    void setClipboardText(const std::string& text) override;
    int overwriteWarning(const std::string& fileName) override;
    bool overwriteWarningVisible() const override { return m_warnungOffen; }

    // The text of the clipboard as Unicode, empty when there is none (for the self-test).
    static std::wstring clipboardUnicode(HWND fenster);

private:
    HWND m_fenster;
    bool m_warnungOffen = false;
};

// The save dialog for a protocol file, preset with a path (UTF-8); returns the chosen path
// (UTF-8), or an empty text when the user cancelled.
std::string speicherDialog(HWND besitzer, const std::string& vorgabe);
