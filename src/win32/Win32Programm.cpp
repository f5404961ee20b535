#include "Win32Programm.h"

#include "Uebertragungslog.h"
#include "Win32Desktop.h"
#include "Win32Text.h"
#include "Win32Uebertragungsmonitor.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace {

const wchar_t* const kKlasse = L"TreffluxTray";
constexpr UINT_PTR kProfilmenueZeitgeber = 1;

// The icon greyed and crossed out in red: the machine is not connected. Made from the icon's
// own pixels; an icon without an alpha channel takes its opacity from its mask.
HICON nichtVerbunden(HICON icon) {
    ICONINFO info{};
    if (!icon || !::GetIconInfo(icon, &info))
        return nullptr;
    BITMAP bm{};
    ::GetObjectW(info.hbmColor, sizeof bm, &bm);
    const int b = bm.bmWidth;
    const int h = bm.bmHeight;
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = b;
    format.bmiHeader.biHeight = -h; // top row first
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> farbe(static_cast<std::size_t>(b) * h);
    std::vector<std::uint32_t> maske(farbe.size());
    HDC dc = ::GetDC(nullptr);
    ::GetDIBits(dc, info.hbmColor, 0, h, farbe.data(), &format, DIB_RGB_COLORS);
    ::GetDIBits(dc, info.hbmMask, 0, h, maske.data(), &format, DIB_RGB_COLORS);
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    const bool mitAlpha = std::any_of(farbe.begin(), farbe.end(), [](std::uint32_t p) { return p >> 24; });
    const int rand = b / 6;
    const int dicke = std::max(1, b / 16);
    const WORD zeilenbreite = static_cast<WORD>((b + 15) / 16 * 2); // bytes of a mask row
    std::vector<BYTE> undMaske(static_cast<std::size_t>(zeilenbreite) * h, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < b; ++x) {
            std::uint32_t& p = farbe[static_cast<std::size_t>(y) * b + x];
            std::uint32_t alpha =
                mitAlpha ? p >> 24
                         : ((maske[static_cast<std::size_t>(y) * b + x] & 0xFFFFFF) != 0 ? 0u : 255u);
            const std::uint32_t grau =
                96 + (((p >> 16) & 0xFF) * 30 + ((p >> 8) & 0xFF) * 59 + (p & 0xFF) * 11) / 200;
            p = alpha << 24 | grau << 16 | grau << 8 | grau;
            const bool aufKreuz = x >= rand && x < b - rand && y >= rand && y < h - rand &&
                                  (std::abs(x - y) <= dicke || std::abs(x + y - (b - 1)) <= dicke);
            if (aufKreuz) {
                p = 0xFFD20000; // opaque red
                alpha = 255;
            }
            if (alpha == 0)
                undMaske[static_cast<std::size_t>(y) * zeilenbreite + x / 8] |=
                    static_cast<BYTE>(0x80 >> (x % 8));
        }
    }
    void* bits = nullptr;
    HBITMAP neueFarbe = ::CreateDIBSection(dc, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    ::ReleaseDC(nullptr, dc);
    if (!neueFarbe)
        return nullptr;
    std::copy(farbe.begin(), farbe.end(), static_cast<std::uint32_t*>(bits));
    HBITMAP neueMaske = ::CreateBitmap(b, h, 1, 1, undMaske.data());
    ICONINFO neu{TRUE, 0, 0, neueMaske, neueFarbe};
    HICON ergebnis = ::CreateIconIndirect(&neu);
    ::DeleteObject(neueFarbe);
    ::DeleteObject(neueMaske);
    return ergebnis;
}

} // namespace

Win32Programm::Win32Programm(Profilliste& liste, std::string startverzeichnis) : m_liste(liste) {
    const HINSTANCE instanz = ::GetModuleHandleW(nullptr);
    m_icon = static_cast<HICON>(::LoadImageW(instanz, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                             ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                             LR_DEFAULTCOLOR));
    m_iconGetrennt = nichtVerbunden(m_icon);
    WNDCLASSW klasse{};
    klasse.lpfnWndProc = &Win32Programm::fensterProzedur;
    klasse.hInstance = instanz;
    klasse.hIcon = ::LoadIconW(instanz, MAKEINTRESOURCEW(1));
    klasse.lpszClassName = kKlasse;
    ::RegisterClassW(&klasse);
    // A top-level window that is never shown: the shell's and the session's messages reach it.
    m_fenster = ::CreateWindowExW(0, kKlasse, L"Ringlesemaschine", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                  nullptr, instanz, nullptr);
    if (!m_fenster)
        throw std::runtime_error("Das Fenster des Programms kann nicht angelegt werden.");
    ::SetWindowLongPtrW(m_fenster, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_taskbarNeu = ::RegisterWindowMessageW(L"TaskbarCreated");

    einstellungsfensterBauen();
    // The logic loads the profiles, adds the tray icon and opens the machine of the active
    // profile; a machine that does not answer, or a port that cannot be opened, is told by the
    // series path.
    m_logik = std::make_unique<Einstellungslogik>(m_liste, std::move(startverzeichnis), *this);
    m_logik->Starten();
}

Win32Programm::~Win32Programm() {
    Win32Uebertragungsmonitor::schliessen();
    m_logik->Pfad().MaschinenSchliessen();
    trayIconEntfernen();
    // Nothing the controls report while they go may reach the logic.
    ::SetWindowLongPtrW(m_einstellungen, GWLP_USERDATA, 0);
    for (HWND seite : m_seiten)
        ::SetWindowLongPtrW(seite, GWLP_USERDATA, 0);
    m_logik.reset();
    ::DestroyWindow(m_einstellungen); // with the tooltips it owns
    ::SetWindowLongPtrW(m_fenster, GWLP_USERDATA, 0);
    ::DestroyWindow(m_fenster);
    if (m_schrift)
        ::DeleteObject(m_schrift);
    if (m_icon)
        ::DestroyIcon(m_icon);
    if (m_iconGetrennt)
        ::DestroyIcon(m_iconGetrennt);
}

NOTIFYICONDATAW Win32Programm::trayDaten() const {
    NOTIFYICONDATAW daten{};
    daten.cbSize = sizeof(daten);
    daten.hWnd = m_fenster;
    daten.uID = kTrayId;
    daten.uFlags = NIF_ICON | NIF_TIP;
    daten.hIcon = m_verbunden || !m_iconGetrennt ? m_icon : m_iconGetrennt;
    wcsncpy(daten.szTip, m_tipp.c_str(), std::size(daten.szTip) - 1);
    return daten;
}

void Win32Programm::trayIconHinzufuegen() {
    if (m_trayIconDa)
        return;
    NOTIFYICONDATAW daten = trayDaten();
    daten.uFlags |= NIF_MESSAGE;
    daten.uCallbackMessage = kTrayNachricht;
    m_trayIconDa = ::Shell_NotifyIconW(NIM_ADD, &daten) != FALSE;
    // Messages at the icon (a machine back after a pulled cable) appear as its balloons.
    if (auto* win32 = dynamic_cast<Win32Desktop*>(&desktop()))
        win32->setTrayIcon(m_trayIconDa ? m_fenster : nullptr, kTrayId);
}

void Win32Programm::zeigeVerbindung(bool verbunden, const std::string& tipp) {
    const std::wstring text = utf8ZuWide(tipp);
    if (verbunden == m_verbunden && text == m_tipp)
        return;
    m_verbunden = verbunden;
    m_tipp = text;
    if (!m_trayIconDa)
        return;
    NOTIFYICONDATAW daten = trayDaten();
    ::Shell_NotifyIconW(NIM_MODIFY, &daten);
}

void Win32Programm::trayIconEntfernen() {
    if (!m_trayIconDa)
        return;
    NOTIFYICONDATAW daten = trayDaten();
    daten.uFlags = 0;
    ::Shell_NotifyIconW(NIM_DELETE, &daten);
    m_trayIconDa = false;
    if (auto* win32 = dynamic_cast<Win32Desktop*>(&desktop()))
        win32->setTrayIcon(nullptr, kTrayId);
}

HMENU Win32Programm::ProfilmenueBauen() const {
    HMENU oben = ::CreatePopupMenu();
    HMENU menu = oben;
    const std::vector<Profilmenueeintrag> eintraege = m_logik->Profilmenue();
    for (std::size_t i = 0; i < eintraege.size(); ++i) {
        if (eintraege[i].weitere) {
            HMENU weiter = ::CreatePopupMenu();
            ::AppendMenuW(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(weiter),
                          utf8ZuWide(Profilmenueeintrag::kWeitereProfile).c_str());
            menu = weiter;
        }
        const UINT haken = eintraege[i].haken ? MF_CHECKED : MF_UNCHECKED;
        ::AppendMenuW(menu, MF_STRING | haken, kProfilBefehl + i, utf8ZuWide(eintraege[i].titel).c_str());
    }
    return oben;
}

HMENU Win32Programm::TraymenueBauen() {
    HMENU menu = ::CreatePopupMenu();
    ::AppendMenuW(menu, MF_STRING, kEinstellungen, L"&Einstellungen");
    ::AppendMenuW(menu, MF_STRING, kMonitor, L"\u00dcbertragungs&monitor");
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, kBeenden, L"&Beenden");
    ::SetMenuDefaultItem(menu, kEinstellungen, FALSE); // the default item is shown in bold
    return menu;
}

void Win32Programm::menueZeigen(HMENU menu) {
    POINT punkt{};
    if (!::GetCursorPos(&punkt)) {
        ::DestroyMenu(menu);
        EinstellungenClick();
        return;
    }
    // The menu closes when the user clicks elsewhere only if the window is in front; the empty
    // message afterwards lets the next opening work at once.
    ::SetForegroundWindow(m_fenster);
    const UINT befehl = static_cast<UINT>(
        ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | TPM_BOTTOMALIGN, punkt.x,
                         punkt.y, 0, m_fenster, nullptr));
    ::PostMessageW(m_fenster, WM_NULL, 0, 0);
    ::DestroyMenu(menu);
    if (befehl)
        Menuebefehl(befehl);
}

void Win32Programm::Menuebefehl(UINT befehl) {
    if (befehl == kEinstellungen)
        EinstellungenClick();
    else if (befehl == kBeenden)
        CloseQuery();
    else if (befehl == kMonitor)
        MonitorZeigen();
    else if (befehl >= kProfilBefehl)
        m_logik->ProfilmenueClick(static_cast<int>(befehl - kProfilBefehl));
}

void Win32Programm::EinstellungenClick() {
    m_logik->EinstellungenClick();
}

void Win32Programm::MonitorZeigen() {
    const auto log = uebertragungslog();
    Win32Uebertragungsmonitor::zeigen(log ? log->pfad() : std::string());
}

void Win32Programm::TrayIconClick(UINT mausnachricht) {
    if (m_endet)
        return;
    switch (mausnachricht) {
    case WM_LBUTTONUP:
        m_logik->TrayIconClick(Trayklick::Links);
        break;
    case WM_LBUTTONDBLCLK:
        // the click of its first press opens no menu
        ::KillTimer(m_fenster, kProfilmenueZeitgeber);
        m_logik->TrayIconClick(Trayklick::Doppel);
        break;
    case WM_RBUTTONUP:
        m_logik->TrayIconClick(Trayklick::Rechts);
        break;
    default:
        break;
    }
}

void Win32Programm::oeffneProfilmenue() {
    // The profile menu opens once the double-click time has passed without a second click.
    ::SetTimer(m_fenster, kProfilmenueZeitgeber, ::GetDoubleClickTime(), nullptr);
}

void Win32Programm::oeffneTraymenue() {
    menueZeigen(TraymenueBauen());
}

bool Win32Programm::CloseQuery() {
    if (m_endet)
        return true;
    if (!m_logik->CloseQuery())
        return false;
    if (m_endet) // the session ended while the question was open
        return true;
    m_endet = true;
    ::ShowWindow(m_einstellungen, SW_HIDE);
    ::PostQuitMessage(0);
    return true;
}

void Win32Programm::OhneFrageBeenden() {
    if (m_endet)
        return;
    m_endet = true;
    m_ohneFragen = true;
    m_logik->OhneFrageBeenden();
    ::ShowWindow(m_einstellungen, SW_HIDE);
    ::PostQuitMessage(0);
}

LRESULT CALLBACK Win32Programm::fensterProzedur(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Win32Programm*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self ? self->nachricht(msg, wParam, lParam) : ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT Win32Programm::nachricht(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case kTrayNachricht:
        if (wParam == kTrayId)
            TrayIconClick(static_cast<UINT>(lParam));
        return 0;
    case WM_TIMER:
        if (wParam == kProfilmenueZeitgeber) {
            ::KillTimer(m_fenster, kProfilmenueZeitgeber);
            if (!m_endet && m_logik->TrayBereit())
                menueZeigen(ProfilmenueBauen());
            return 0;
        }
        break;
    case WM_QUERYENDSESSION:
        return TRUE; // the profiles are saved when the end comes
    case WM_ENDSESSION:
        // The process may be ended as soon as this returns: everything happens here, the
        // series the protocol file could not take included.
        if (wParam) {
            OhneFrageBeenden();
            m_logik->Abschliessen(false);
        }
        return 0;
    case WM_CLOSE:
        // Only another program closes this hidden window (taskkill, an installer): as at the end
        // of the session, nobody is there to answer.
        OhneFrageBeenden();
        return 0;
    default:
        if (msg == m_taskbarNeu && m_taskbarNeu != 0) {
            // The shell was started again: the icon comes back.
            if (!m_endet) {
                m_trayIconDa = false;
                trayIconHinzufuegen();
            }
            return 0;
        }
        break;
    }
    return ::DefWindowProcW(m_fenster, msg, wParam, lParam);
}
