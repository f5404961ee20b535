#include "Win32Desktop.h"

#include "Win32Text.h"

#include <commdlg.h>
// after windows.h
#include <shellapi.h>

#include <cstring>
#include <cwchar>
#include <iterator>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// The clipboard may be held for a moment by another program: a few tries, then it is left alone.
bool clipboardOeffnen(HWND fenster) {
    for (int versuch = 0; versuch < 10; ++versuch) {
        if (::OpenClipboard(fenster))
            return true;
        ::Sleep(20);
    }
    return false;
}

HGLOBAL globalKopie(const void* daten, std::size_t bytes) {
    HGLOBAL speicher = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!speicher)
        return nullptr;
    std::memcpy(::GlobalLock(speicher), daten, bytes);
    ::GlobalUnlock(speicher);
    return speicher;
}

void setzen(UINT format, const void* daten, std::size_t bytes) {
    HGLOBAL speicher = globalKopie(daten, bytes);
    if (speicher && !::SetClipboardData(format, speicher))
        ::GlobalFree(speicher); // still ours when the clipboard did not take it
}

// The overwrite warning: a fixed frame without system menu, always on top, centred, "Warnung";
// the text in the middle, three buttons below. Built in memory, in dialog units.
class Dialogvorlage {
public:
    void dword(DWORD wert) {
        wort(LOWORD(wert));
        wort(HIWORD(wert));
    }
    void wort(WORD wert) { m_daten.push_back(wert); }
    void text(const wchar_t* s) {
        do
            wort(static_cast<WORD>(*s));
        while (*s++);
    }
    void ausrichten() {
        if (m_daten.size() % 2)
            wort(0);
    }
    void element(DWORD stil, short x, short y, short cx, short cy, WORD id, WORD klasse,
                 const wchar_t* titel) {
        ausrichten();
        dword(stil | WS_CHILD | WS_VISIBLE);
        dword(0);
        for (short v : {x, y, cx, cy})
            wort(static_cast<WORD>(v));
        wort(id);
        wort(0xFFFF);
        wort(klasse);
        text(titel);
        wort(0);
    }
    const DLGTEMPLATE* vorlage() const { return reinterpret_cast<const DLGTEMPLATE*>(m_daten.data()); }

private:
    std::vector<WORD> m_daten;
};

constexpr WORD kText = 100;
constexpr WORD kKnopf = 0x0080;
constexpr WORD kStatisch = 0x0082;

INT_PTR CALLBACK warnungProzedur(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        ::SetDlgItemTextW(dlg, kText, reinterpret_cast<const wchar_t*>(lParam));
        ::SetForegroundWindow(dlg);
        ::SetFocus(::GetDlgItem(dlg, IDRETRY));
        return FALSE; // the focus is set
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDABORT:
        case IDRETRY:
        case IDIGNORE:
            ::EndDialog(dlg, LOWORD(wParam));
            return TRUE;
        default:
            return FALSE; // Escape: the dialog stays, there is no button for it
        }
    default:
        return FALSE;
    }
}

} // namespace

Win32Desktop::Win32Desktop(HWND clipboardFenster) : m_fenster(clipboardFenster) {
    setDesktop(this);
}

Win32Desktop::~Win32Desktop() {
    setDesktop(nullptr);
}

int Win32Desktop::messageBox(const std::string& text, const std::string& title, unsigned flags) {
    // The program lives in the tray: its boxes come to the front. A box without an owner blocks
    // the program's windows (the settings window) until it is answered, so that no click there
    // runs while a question is open.
    if ((flags & (MB_SYSTEMMODAL | MB_TASKMODAL)) == 0)
        flags |= MB_TASKMODAL;
    return ::MessageBoxW(nullptr, bildschirmtext(text).c_str(), ansiZuWide(title).c_str(),
                         flags | MB_SETFOREGROUND);
}

void Win32Desktop::closeMessageBox(const std::string& text) {
    // The boxes are dialogs of this thread; the one whose text control shows this text is
    // answered as the Escape key would: "Abbrechen" where it has one, else "OK".
    struct Suche {
        std::wstring text;
        std::vector<HWND> boxen;
    } suche{bildschirmtext(text), {}};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND fenster, LPARAM daten) -> BOOL {
            auto& s = *reinterpret_cast<Suche*>(daten);
            wchar_t klasse[16] = {};
            ::GetClassNameW(fenster, klasse, 15);
            if (std::wstring_view(klasse) != L"#32770" || !::IsWindowVisible(fenster))
                return TRUE;
            for (HWND kind = ::GetWindow(fenster, GW_CHILD); kind; kind = ::GetWindow(kind, GW_HWNDNEXT)) {
                std::wstring t(static_cast<std::size_t>(::GetWindowTextLengthW(kind)) + 1, L'\0');
                t.resize(
                    static_cast<std::size_t>(::GetWindowTextW(kind, t.data(), static_cast<int>(t.size()))));
                if (t == s.text) {
                    s.boxen.push_back(fenster);
                    break;
                }
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&suche));
    for (HWND box : suche.boxen) {
        const int knopf = ::GetDlgItem(box, IDCANCEL) ? IDCANCEL : IDOK;
        if (::GetDlgItem(box, knopf))
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(knopf, BN_CLICKED), 0);
    }
}

void Win32Desktop::setClipboardText(const std::string& text) {
    const std::string bisNul(text.c_str(), strnlen(text.data(), text.size()));
    const std::wstring unicode = ansiZuWide(bisNul);
    if (!clipboardOeffnen(m_fenster))
        return;
    ::EmptyClipboard();
    setzen(CF_UNICODETEXT, unicode.c_str(), (unicode.size() + 1) * sizeof(wchar_t));
    setzen(CF_TEXT, bisNul.c_str(), bisNul.size() + 1);
    ::CloseClipboard();
}

std::wstring Win32Desktop::clipboardUnicode(HWND fenster) {
    std::wstring text;
    if (!clipboardOeffnen(fenster))
        return text;
    if (HANDLE daten = ::GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* p = static_cast<const wchar_t*>(::GlobalLock(daten))) {
            text = p;
            ::GlobalUnlock(daten);
        }
    }
    ::CloseClipboard();
    return text;
}

int Win32Desktop::overwriteWarning(const std::string& fileName) {
    // 369 x 117 pixels of client area, the text 337 x 49 at 16, 16, buttons of 115 x 25.
    Dialogvorlage v;
    v.dword(DS_MODALFRAME | DS_CENTER | DS_SETFONT | DS_SETFOREGROUND | WS_POPUP | WS_CAPTION);
    v.dword(WS_EX_TOPMOST);
    v.wort(4);
    for (short wert : {0, 0, 246, 78})
        v.wort(static_cast<WORD>(wert));
    v.wort(0); // no menu
    v.wort(0); // the standard dialog class
    v.text(L"Warnung");
    v.wort(8);
    v.text(L"MS Shell Dlg");
    v.element(SS_CENTER, 11, 11, 224, 33, kText, kStatisch, L"");
    v.element(BS_PUSHBUTTON | WS_TABSTOP, 6, 56, 76, 16, IDABORT, kKnopf, L"&Abbrechen");
    v.element(BS_DEFPUSHBUTTON | WS_TABSTOP, 85, 56, 76, 16, IDRETRY, kKnopf, L"&Wiederholen");
    v.element(BS_PUSHBUTTON | WS_TABSTOP, 164, 56, 76, 16, IDIGNORE, kKnopf, L"&Datei \u00FCberschreiben");

    const std::wstring text = bildschirmtext("Datei\n\r" + fileName + "\n\rbereits vorhanden !");
    m_warnungOffen = true;
    const INT_PTR ergebnis =
        ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), v.vorlage(), nullptr, warnungProzedur,
                                  reinterpret_cast<LPARAM>(text.c_str()));
    if (ergebnis == -1 || ergebnis == 0) {
        // The dialog could not be made: the system's box asks the same with its own buttons.
        // Should that fail too, nobody can answer; the file's record is kept.
        const int antwort =
            ::MessageBoxW(nullptr, text.c_str(), L"Warnung",
                          MB_ABORTRETRYIGNORE | MB_ICONWARNING | MB_SETFOREGROUND | MB_TOPMOST);
        m_warnungOffen = false;
        return antwort == IDRETRY || antwort == IDIGNORE ? antwort : mrAbort;
    }
    m_warnungOffen = false;
    return static_cast<int>(ergebnis);
}

void Win32Desktop::trayMessage(const std::string& text, const std::string& title) {
    if (m_trayFenster) {
        NOTIFYICONDATAW daten{};
        daten.cbSize = sizeof(daten);
        daten.hWnd = m_trayFenster;
        daten.uID = m_trayId;
        daten.uFlags = NIF_INFO;
        daten.dwInfoFlags = NIIF_INFO;
        const std::wstring textW = bildschirmtext(text);
        const std::wstring titelW = ansiZuWide(title);
        wcsncpy(daten.szInfo, textW.c_str(), std::size(daten.szInfo) - 1);
        wcsncpy(daten.szInfoTitle, titelW.c_str(), std::size(daten.szInfoTitle) - 1);
        if (::Shell_NotifyIconW(NIM_MODIFY, &daten))
            return;
    }
    messageBox(text, title, Mb::Ok | Mb::IconInformation);
}

std::string speicherDialog(HWND besitzer, const std::string& vorgabe, const Speicherart& art) {
    std::vector<wchar_t> name(32768, L'\0');
    const std::wstring vorgabeW = utf8ZuWide(vorgabe);
    if (vorgabeW.size() < name.size())
        std::copy(vorgabeW.begin(), vorgabeW.end(), name.begin());
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = besitzer;
    ofn.lpstrFilter = art.filter;
    ofn.lpstrFile = name.data();
    ofn.nMaxFile = static_cast<DWORD>(name.size());
    ofn.lpstrDefExt = art.endung;
    ofn.lpstrTitle = art.titel;
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    if (!::GetSaveFileNameW(&ofn))
        return {};
    return wideZuUtf8(name.data());
}
