#include "Win32Programm.h"

#include "ConfigFile.h"
#include "Desktop.h"
#include "Win1252.h"
#include "Win32Text.h"

#include <stdexcept>

namespace {

const wchar_t* const kKlasse = L"TreffluxTray";
constexpr UINT_PTR kProfilmenueZeitgeber = 1;
constexpr UINT kProfileJeMenue = 30;

const char* const kWirklichBeenden = "Wirklich beenden ?";
// Until the settings window of this edition is there, the settings are made with the Linux
// edition (or copied from another computer) and this box says so.
const char* const kEinstellungenFolgen =
    "Das Einstellungsfenster gibt es in dieser Windows-Ausgabe noch nicht.\n\r"
    "Die Profile stehen in der Datei\n\r";

} // namespace

Win32Programm::Win32Programm(Profilliste& liste, std::string startverzeichnis)
    : m_liste(liste), m_startverzeichnis(std::move(startverzeichnis)) {
    const HINSTANCE instanz = ::GetModuleHandleW(nullptr);
    m_icon = static_cast<HICON>(::LoadImageW(instanz, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                             ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                             LR_DEFAULTCOLOR));
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

    m_pfad = std::make_unique<Serienpfad>(m_liste);
    // A machine that does not answer, or a port that cannot be opened, is told by the series path.
    addTrayIcon();
    m_liste.clear();
    if (!ConfigFile::Load(ConfigFile::path(m_startverzeichnis), m_liste)) {
        m_liste.clear();
        m_liste.appendStandard(m_startverzeichnis);
        m_ersteinrichtung = true;
    }
    m_liste.select(0);
    // At a first start the default profile's machine and port are a guess: nothing is opened
    // before a profile is chosen.
    if (!m_ersteinrichtung)
        m_pfad->MaschineOeffnen();
}

Win32Programm::~Win32Programm() {
    m_pfad->MaschinenSchliessen();
    removeTrayIcon();
    ::SetWindowLongPtrW(m_fenster, GWLP_USERDATA, 0);
    ::DestroyWindow(m_fenster);
    if (m_icon)
        ::DestroyIcon(m_icon);
}

void Win32Programm::addTrayIcon() {
    NOTIFYICONDATAW daten{};
    daten.cbSize = sizeof(daten);
    daten.hWnd = m_fenster;
    daten.uID = kTrayId;
    daten.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    daten.uCallbackMessage = kTrayNachricht;
    daten.hIcon = m_icon;
    wcsncpy(daten.szTip, L"Ringlesemaschine", std::size(daten.szTip) - 1);
    m_trayIconDa = ::Shell_NotifyIconW(NIM_ADD, &daten) != FALSE;
}

void Win32Programm::removeTrayIcon() {
    if (!m_trayIconDa)
        return;
    NOTIFYICONDATAW daten{};
    daten.cbSize = sizeof(daten);
    daten.hWnd = m_fenster;
    daten.uID = kTrayId;
    ::Shell_NotifyIconW(NIM_DELETE, &daten);
    m_trayIconDa = false;
}

HMENU Win32Programm::PopupMenu2Popup() const {
    HMENU oben = ::CreatePopupMenu();
    HMENU menu = oben;
    for (std::size_t i = 0; i < m_liste.size(); ++i) {
        if (i > 0 && i % kProfileJeMenue == 0) {
            HMENU weiter = ::CreatePopupMenu();
            ::AppendMenuW(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(weiter), L"Weitere Profile");
            menu = weiter;
        }
        // "&" in a name is a character of the name, not the mark of an access key.
        std::wstring titel;
        for (const wchar_t c : ansiZuWide(text(m_liste[i].Name))) {
            if (c == L'&')
                titel += L'&';
            titel += c;
        }
        const UINT haken = i == m_liste.activeIndex() ? MF_CHECKED : MF_UNCHECKED;
        ::AppendMenuW(menu, MF_STRING | haken, kProfilBefehl + i, titel.c_str());
    }
    return oben;
}

HMENU Win32Programm::PopupMenu1() {
    HMENU menu = ::CreatePopupMenu();
    ::AppendMenuW(menu, MF_STRING, kEinstellungen, L"&Einstellungen");
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, kBeenden, L"&Beenden");
    ::SetMenuDefaultItem(menu, kEinstellungen, FALSE); // the default item is shown in bold
    return menu;
}

void Win32Programm::menueZeigen(HMENU menu) {
    POINT punkt{};
    if (!::GetCursorPos(&punkt)) {
        ::DestroyMenu(menu);
        Wiederherstellen1Click();
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
        Wiederherstellen1Click();
    else if (befehl == kBeenden)
        CloseQuery();
    else if (befehl >= kProfilBefehl && befehl - kProfilBefehl < m_liste.size())
        ProfilMenuItemClick(befehl - kProfilBefehl);
}

void Win32Programm::ProfilMenuItemClick(std::size_t index) {
    if (!m_liste.select(index))
        return;
    m_pfad->MaschineAnmelden();
}

void Win32Programm::Wiederherstellen1Click() {
    if (m_einstellungenOffen)
        return;
    m_einstellungenOffen = true;
    desktop().messageBox(std::string(kEinstellungenFolgen) +
                             utf8ToWin1252(ConfigFile::path(m_startverzeichnis)),
                         "Einstellungen", Mb::Ok | Mb::IconInformation);
    m_einstellungenOffen = false;
}

void Win32Programm::TrayIconMessage(UINT mausnachricht) {
    // While the settings or the overwrite warning are open, the icon does nothing.
    if (m_einstellungenOffen || desktop().overwriteWarningVisible() || m_endet)
        return;
    switch (mausnachricht) {
    case WM_LBUTTONUP:
        // The profile menu opens once the double-click time has passed without a second click.
        ::SetTimer(m_fenster, kProfilmenueZeitgeber, ::GetDoubleClickTime(), nullptr);
        break;
    case WM_LBUTTONDBLCLK:
        ::KillTimer(m_fenster, kProfilmenueZeitgeber);
        Wiederherstellen1Click();
        break;
    case WM_RBUTTONUP:
        menueZeigen(PopupMenu1());
        break;
    default:
        break;
    }
}

bool Win32Programm::saveProfiles(bool report) {
    const std::string pfad = ConfigFile::path(m_startverzeichnis);
    const auto ergebnis = ConfigFile::Save(pfad, m_liste);
    if (!ergebnis.ok && report)
        desktop().messageBox("Die Einstellungen konnten nicht in der Datei\n\r" + utf8ToWin1252(pfad) +
                                 "\n\rgespeichert werden:\n\r" + utf8ToWin1252(ergebnis.error),
                             "Fehler", Mb::Ok | Mb::IconError | Mb::SystemModal);
    return ergebnis.ok;
}

bool Win32Programm::CloseQuery() {
    if (m_endet)
        return true;
    if (desktop().messageBox(kWirklichBeenden, "Hinweis", Mb::YesNo | Mb::SystemModal) != IdYes)
        return false;
    if (m_endet) // the session ended while the question was open
        return true;
    m_endet = true;
    saveProfiles(true);
    removeTrayIcon();
    ::PostQuitMessage(0);
    return true;
}

void Win32Programm::endWithoutAsking() {
    if (m_endet)
        return;
    m_endet = true;
    m_ohneFragen = true;
    saveProfiles(false);
    removeTrayIcon();
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
            TrayIconMessage(static_cast<UINT>(lParam));
        return 0;
    case WM_TIMER:
        if (wParam == kProfilmenueZeitgeber) {
            ::KillTimer(m_fenster, kProfilmenueZeitgeber);
            if (!m_einstellungenOffen && !desktop().overwriteWarningVisible() && !m_endet)
                menueZeigen(PopupMenu2Popup());
            return 0;
        }
        break;
    case WM_QUERYENDSESSION:
        return TRUE; // the profiles are saved when the end comes
    case WM_ENDSESSION:
        // The process may be ended as soon as this returns: everything happens here, the
        // series the protocol file could not take included.
        if (wParam) {
            endWithoutAsking();
            m_pfad->Ausgabe().nichtGeschriebeneSichern(m_startverzeichnis);
        }
        return 0;
    case WM_CLOSE:
        // Only another program closes this hidden window (taskkill, an installer): as at the end
        // of the session, nobody is there to answer.
        endWithoutAsking();
        return 0;
    default:
        if (msg == m_taskbarNeu && m_taskbarNeu != 0) {
            // The shell was started again: the icon comes back.
            if (!m_endet) {
                m_trayIconDa = false;
                addTrayIcon();
            }
            return 0;
        }
        break;
    }
    return ::DefWindowProcW(m_fenster, msg, wParam, lParam);
}
