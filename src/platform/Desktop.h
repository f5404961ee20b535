#pragma once

#include <string>

// What the core needs from the desktop: message boxes, the clipboard, the overwrite warning and
// messages at the tray icon.
// The core never shows anything itself; it calls the installed Desktop. The program installs
// the Qt implementation, tests install a ScriptedDesktop.
//
// All texts are Windows-1252 bytes, as everywhere in the core. "\n\r" is one line break on screen.

// Message box flags and results, with the values the program has always used.
namespace Mb {
enum : unsigned {
    Ok = 0x0,
    OkCancel = 0x1,
    YesNoCancel = 0x3,
    YesNo = 0x4,
    IconError = 0x10,
    IconQuestion = 0x20,
    IconWarning = 0x30,
    IconInformation = 0x40,
    DefButton2 = 0x100,
    DefButton3 = 0x200,
    SystemModal = 0x1000,
};
constexpr unsigned ButtonsMask = 0xF;
constexpr unsigned IconMask = 0xF0;
constexpr unsigned DefButtonMask = 0xF00;
} // namespace Mb

enum MbResult : int { IdOk = 1, IdCancel = 2, IdAbort = 3, IdRetry = 4, IdIgnore = 5, IdYes = 6, IdNo = 7 };

// The answer a box gets when it is answered without looking: "Ja" where there is one, else "OK".
inline int jaOderOk(unsigned flags) {
    const unsigned knoepfe = flags & Mb::ButtonsMask;
    return knoepfe == Mb::YesNo || knoepfe == Mb::YesNoCancel ? IdYes : IdOk;
}

// Modal results of the overwrite warning. mrKeep is the answer of a program without a window: the
// file is not overwritten, the series is kept (and later ones behind it, in order) and written
// once the results program has taken the file away.
enum OverwriteChoice : int { mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrKeep = 6 };

class Desktop {
public:
    virtual ~Desktop() = default;

    // Shows a modal message box and returns the button pressed (an MbResult).
    virtual int messageBox(const std::string& text, const std::string& title, unsigned flags) = 0;
    // Takes an open message box with this text off the screen, as the Escape key would answer it
    // (a box with only "OK" returns IdOk); nothing happens when none is open. A desktop whose
    // messages do not stay on screen has nothing to take away.
    virtual void closeMessageBox(const std::string& text) { (void)text; }

    // Replaces the clipboard's contents by the text (bytes up to the first NUL).
    virtual void setClipboardText(const std::string& text) = 0;
    // False where there is no clipboard (a program without a window): messages do not point to it.
    virtual bool hasClipboard() const { return true; }

    // Shows the overwrite warning for the file modally and returns an OverwriteChoice.
    virtual int overwriteWarning(const std::string& fileName) = 0;

    // True while the overwrite warning is on screen.
    virtual bool overwriteWarningVisible() const = 0;

    // Shows a short message at the tray icon that needs no answer (a balloon); a program without
    // a tray writes it where its other messages go.
    virtual void trayMessage(const std::string& text, const std::string& title) = 0;
};

// The installed desktop. Without an installed one, a silent desktop answers every box with its
// first button and keeps no clipboard.
Desktop& desktop();
void setDesktop(Desktop* desktop);
