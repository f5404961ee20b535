#include "Win32Uebertragungsmonitor.h"

#include "Desktop.h"
#include "PlatformFile.h"
#include "Win1252.h"
#include "Win32Desktop.h"
#include "Win32Text.h"

#include <commctrl.h>
#include <commdlg.h>

#include <stdexcept>
#include <vector>

namespace {

const wchar_t* const kKlasse = L"TreffluxUebertragungsmonitor";
constexpr UINT_PTR kZeitgeber = 1;
constexpr UINT kNachlesezeit = 250; // ms between two looks at the file

Win32Uebertragungsmonitor* g_monitor = nullptr;

std::wstring fensterText(HWND fenster) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(fenster)) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(::GetWindowTextW(fenster, text.data(), static_cast<int>(text.size()))));
    return text;
}

// "\r\n" of the edit control to "\n" and back.
std::wstring ohneWagenruecklauf(const std::wstring& text) {
    std::wstring aus;
    aus.reserve(text.size());
    for (wchar_t c : text) {
        if (c != L'\r')
            aus += c;
    }
    return aus;
}

std::wstring mitWagenruecklauf(const std::wstring& text) {
    std::wstring aus;
    aus.reserve(text.size() + text.size() / 32);
    for (wchar_t c : text) {
        if (c == L'\n')
            aus += L'\r';
        aus += c;
    }
    return aus;
}

// Whether the last line is in sight (or there is no scroll bar, all lines are).
bool amEnde(HWND anzeige) {
    SCROLLINFO leiste{};
    leiste.cbSize = sizeof(leiste);
    leiste.fMask = SIF_ALL;
    if (!::GetScrollInfo(anzeige, SB_VERT, &leiste))
        return true;
    return leiste.nPos + static_cast<int>(leiste.nPage) >= leiste.nMax;
}

} // namespace

Win32Uebertragungsmonitor& Win32Uebertragungsmonitor::zeigen(const std::string& pfad) {
    if (g_monitor && !::IsWindowVisible(g_monitor->m_fenster)) {
        // Opened again after it was closed: the last lines of the file, as at the first opening.
        g_monitor->m_leser.vonVorn();
        g_monitor->m_angehalten = false;
        ::SetWindowTextW(g_monitor->element(kAnhalten), L"&Anhalten");
        g_monitor->leeren();
        g_monitor->nachlesen();
        ::SetTimer(g_monitor->m_fenster, kZeitgeber, kNachlesezeit, nullptr);
    }
    if (!g_monitor)
        g_monitor = new Win32Uebertragungsmonitor(pfad);
    ::ShowWindow(g_monitor->m_fenster, SW_SHOWNORMAL);
    ::SetForegroundWindow(g_monitor->m_fenster);
    return *g_monitor;
}

Win32Uebertragungsmonitor* Win32Uebertragungsmonitor::offen() {
    return g_monitor;
}

void Win32Uebertragungsmonitor::schliessen() {
    delete g_monitor;
    g_monitor = nullptr;
}

bool Win32Uebertragungsmonitor::dialogNachricht(MSG& msg) {
    if (!g_monitor)
        return false;
    HWND w = g_monitor->m_fenster;
    if (msg.hwnd != w && !::IsChild(w, msg.hwnd))
        return false;
    return ::IsDialogMessageW(w, &msg) != FALSE;
}

Win32Uebertragungsmonitor::Win32Uebertragungsmonitor(std::string pfad) : m_leser(std::move(pfad), Zeilen) {
    const HINSTANCE instanz = ::GetModuleHandleW(nullptr);
    WNDCLASSW klasse{};
    klasse.lpfnWndProc = &Win32Uebertragungsmonitor::prozedur;
    klasse.hInstance = instanz;
    klasse.hIcon = ::LoadIconW(instanz, MAKEINTRESOURCEW(1));
    klasse.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    klasse.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    klasse.lpszClassName = kKlasse;
    ::RegisterClassW(&klasse); // fails harmlessly when already registered

    NONCLIENTMETRICSW metriken{};
    metriken.cbSize = sizeof(metriken);
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metriken), &metriken, 0))
        m_schrift = ::CreateFontIndirectW(&metriken.lfMessageFont);
    m_festbreite =
        ::CreateFontW(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                      CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, L"Courier New");

    m_fenster =
        ::CreateWindowExW(WS_EX_CONTROLPARENT, kKlasse, L"\u00dcbertragungsmonitor", WS_OVERLAPPEDWINDOW,
                          CW_USEDEFAULT, CW_USEDEFAULT, 900, 560, nullptr, nullptr, instanz, nullptr);
    if (!m_fenster)
        throw std::runtime_error("Das Fenster \"\xDC"
                                 "bertragungsmonitor\" kann nicht angelegt werden.");
    ::SetWindowLongPtrW(m_fenster, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

    auto neu = [&](UINT id, const wchar_t* klasse, const std::wstring& text, DWORD stil, HFONT schrift,
                   DWORD exStil = 0) {
        HWND e = ::CreateWindowExW(exStil, klasse, text.c_str(), WS_CHILD | WS_VISIBLE | stil, 0, 0, 10, 10,
                                   m_fenster, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), instanz,
                                   nullptr);
        ::SendMessageW(e, WM_SETFONT, reinterpret_cast<WPARAM>(schrift), FALSE);
        return e;
    };
    neu(kDatei, WC_STATICW,
        m_leser.pfad().empty() ? std::wstring(L"Kein \u00dcbertragungsprotokoll")
                               : L"Datei: " + utf8ZuWide(m_leser.pfad()),
        SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, m_schrift);
    HWND anzeige = neu(kAnzeige, WC_EDITW, L"",
                       ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL |
                           WS_HSCROLL | WS_TABSTOP,
                       m_festbreite ? m_festbreite : m_schrift, WS_EX_CLIENTEDGE);
    ::SendMessageW(anzeige, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
    const DWORD knopf = BS_PUSHBUTTON | WS_TABSTOP;
    neu(kAnhalten, WC_BUTTONW, L"&Anhalten", knopf, m_schrift);
    neu(kLeeren, WC_BUTTONW, L"Anzeige &leeren", knopf, m_schrift);
    neu(kKopieren, WC_BUTTONW, L"&Kopieren", knopf, m_schrift);
    neu(kSpeichernUnter, WC_BUTTONW, L"&Speichern unter\u2026", knopf, m_schrift);
    neu(kSchliessen, WC_BUTTONW, L"S&chlie\u00dfen", knopf, m_schrift);
    RECT innen{};
    ::GetClientRect(m_fenster, &innen);
    anordnen(innen.right, innen.bottom);

    nachlesen();
    ::SetTimer(m_fenster, kZeitgeber, kNachlesezeit, nullptr);
}

Win32Uebertragungsmonitor::~Win32Uebertragungsmonitor() {
    ::KillTimer(m_fenster, kZeitgeber);
    ::SetWindowLongPtrW(m_fenster, GWLP_USERDATA, 0);
    ::DestroyWindow(m_fenster);
    for (HFONT schrift : {m_schrift, m_festbreite}) {
        if (schrift)
            ::DeleteObject(schrift);
    }
}

void Win32Uebertragungsmonitor::anordnen(int breite, int hoehe) {
    constexpr int rand = 8, knopfHoehe = 29, zeile = 20;
    ::MoveWindow(element(kDatei), rand, rand, breite - 2 * rand, zeile, TRUE);
    const int untenY = hoehe - rand - knopfHoehe;
    ::MoveWindow(element(kAnzeige), rand, rand + zeile + 4, breite - 2 * rand, untenY - rand - zeile - 12,
                 TRUE);
    int x = rand;
    for (const auto& [id, b] : {std::pair{kAnhalten, 110}, std::pair{kLeeren, 130}, std::pair{kKopieren, 110},
                                std::pair{kSpeichernUnter, 140}}) {
        ::MoveWindow(element(id), x, untenY, b, knopfHoehe, TRUE);
        x += b + 6;
    }
    ::MoveWindow(element(kSchliessen), breite - rand - 110, untenY, 110, knopfHoehe, TRUE);
}

void Win32Uebertragungsmonitor::nachlesen() {
    if (m_angehalten || m_leser.pfad().empty())
        return;
    const std::string neu = m_leser.neueZeilen();
    if (!neu.empty())
        anhaengen(neu);
}

void Win32Uebertragungsmonitor::anhaengen(const std::string& zeilen) {
    HWND anzeige = element(kAnzeige);
    const int erste = static_cast<int>(::SendMessageW(anzeige, EM_GETFIRSTVISIBLELINE, 0, 0));
    // The view follows new lines until the user scrolls away from the end, and again once they
    // are back there. Where the view stands after it was last moved here says nothing: a long line
    // brings the horizontal scroll bar and takes a line of the page then.
    if (erste != m_gestellt)
        m_folgen = amEnde(anzeige);
    DWORD auswahlVon = 0, auswahlBis = 0;
    ::SendMessageW(anzeige, EM_GETSEL, reinterpret_cast<WPARAM>(&auswahlVon),
                   reinterpret_cast<LPARAM>(&auswahlBis));

    ::SendMessageW(anzeige, WM_SETREDRAW, FALSE, 0);
    const int laenge = ::GetWindowTextLengthW(anzeige);
    ::SendMessageW(anzeige, EM_SETSEL, laenge, laenge);
    ::SendMessageW(anzeige, EM_REPLACESEL, FALSE,
                   reinterpret_cast<LPARAM>(mitWagenruecklauf(utf8ZuWide(zeilen)).c_str()));
    // What is above the last Zeilen lines goes.
    int weg = 0;
    const int zeilenJetzt =
        static_cast<int>(::SendMessageW(anzeige, EM_GETLINECOUNT, 0, 0)) - 1; // after the last break
    if (zeilenJetzt > Zeilen) {
        weg = static_cast<int>(::SendMessageW(anzeige, EM_LINEINDEX, zeilenJetzt - Zeilen, 0));
        ::SendMessageW(anzeige, EM_SETSEL, 0, weg);
        ::SendMessageW(anzeige, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    }
    const auto verschoben = [weg](DWORD stelle) {
        return stelle > static_cast<DWORD>(weg) ? stelle - weg : 0;
    };
    ::SendMessageW(anzeige, EM_SETSEL, verschoben(auswahlVon), verschoben(auswahlBis));
    if (m_folgen) {
        ::SendMessageW(anzeige, WM_VSCROLL, SB_BOTTOM, 0);
    } else {
        const int jetzt = static_cast<int>(::SendMessageW(anzeige, EM_GETFIRSTVISIBLELINE, 0, 0));
        ::SendMessageW(anzeige, EM_LINESCROLL, 0, erste - jetzt);
    }
    m_gestellt = static_cast<int>(::SendMessageW(anzeige, EM_GETFIRSTVISIBLELINE, 0, 0));
    ::SendMessageW(anzeige, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(anzeige, nullptr, TRUE);
}

void Win32Uebertragungsmonitor::leeren() {
    ::SetWindowTextW(element(kAnzeige), L"");
    m_folgen = true;
    m_gestellt = 0;
}

std::wstring Win32Uebertragungsmonitor::text() const {
    return ohneWagenruecklauf(fensterText(element(kAnzeige)));
}

void Win32Uebertragungsmonitor::kopieren() {
    HWND anzeige = element(kAnzeige);
    DWORD von = 0, bis = 0;
    ::SendMessageW(anzeige, EM_GETSEL, reinterpret_cast<WPARAM>(&von), reinterpret_cast<LPARAM>(&bis));
    std::wstring alles = fensterText(anzeige);
    if (bis > von && bis <= alles.size())
        alles = alles.substr(von, bis - von);
    desktop().setClipboardText(wideZuAnsi(ohneWagenruecklauf(alles)));
}

void Win32Uebertragungsmonitor::speichernUnter() {
    static constexpr Speicherart kTextdatei{L"Speichern unter",
                                            L"Textdateien (*.txt)\0*.txt\0Alle Dateien (*.*)\0*.*\0", L"txt"};
    const std::string gewaehlt = speicherDialog(m_fenster, "uebertragung.txt", kTextdatei);
    if (gewaehlt.empty())
        return;
    const std::wstring ziel = utf8ZuWide(gewaehlt);
    const std::string inhalt = wideZuUtf8(text()) + "\n";
    // Written beside it first, so that a failure leaves a file there as it was.
    const std::wstring neu = ziel + L".neu";
    DWORD fehler = 0;
    HANDLE datei =
        ::CreateFileW(neu.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (datei == INVALID_HANDLE_VALUE) {
        fehler = ::GetLastError();
    } else {
        DWORD geschrieben = 0;
        if (!::WriteFile(datei, inhalt.data(), static_cast<DWORD>(inhalt.size()), &geschrieben, nullptr) ||
            geschrieben != inhalt.size())
            fehler = ::GetLastError() ? ::GetLastError() : ERROR_DISK_FULL;
        if (!::CloseHandle(datei) && !fehler)
            fehler = ::GetLastError();
        if (!fehler &&
            !::MoveFileExW(neu.c_str(), ziel.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            fehler = ::GetLastError();
        if (fehler)
            ::DeleteFileW(neu.c_str());
    }
    if (fehler)
        desktop().messageBox("Die Datei " + wideZuAnsi(ziel) + " konnte nicht gespeichert werden: " +
                                 utf8ToWin1252(platform::systemErrorText(static_cast<int>(fehler))),
                             "Fehler", Mb::Ok | Mb::IconError);
}

LRESULT CALLBACK Win32Uebertragungsmonitor::prozedur(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Win32Uebertragungsmonitor*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self ? self->nachricht(msg, wParam, lParam) : ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT Win32Uebertragungsmonitor::nachricht(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_TIMER:
        if (wParam == kZeitgeber)
            nachlesen();
        return 0;
    case WM_SIZE:
        anordnen(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_CTLCOLORSTATIC:
        // The text on white, as an edit the user types into, though it is read-only.
        if (reinterpret_cast<HWND>(lParam) == element(kAnzeige)) {
            ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_WINDOW));
            ::SetTextColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_WINDOWTEXT));
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
        }
        break;
    case WM_GETMINMAXINFO:
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {560, 240};
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED)
            break;
        switch (LOWORD(wParam)) {
        case kAnhalten:
            m_angehalten = !m_angehalten;
            ::SetWindowTextW(element(kAnhalten), m_angehalten ? L"&Weiter" : L"&Anhalten");
            if (!m_angehalten)
                nachlesen();
            return 0;
        case kLeeren:
            leeren();
            return 0;
        case kKopieren:
            kopieren();
            return 0;
        case kSpeichernUnter:
            speichernUnter();
            return 0;
        case kSchliessen:
        case IDCANCEL: // the Escape key
            ::PostMessageW(m_fenster, WM_CLOSE, 0, 0);
            return 0;
        default:
            break;
        }
        break;
    case WM_CLOSE:
        // The window is hidden and stops looking; the log goes on being written.
        ::KillTimer(m_fenster, kZeitgeber);
        ::ShowWindow(m_fenster, SW_HIDE);
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(m_fenster, msg, wParam, lParam);
}
