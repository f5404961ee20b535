// The settings window of the Windows program: built in code with the geometry of the Qt window
// (pixels), four pages on a page control, and each call of the view interface on its control.
// The window runs no rule of its own; every user action goes to the settings logic.

#include "Win32Programm.h"

#include "Desktop.h"
#include "SerialPortSelect.h"
#include "Win1252.h"
#include "Win32Desktop.h"
#include "Win32Text.h"

#include <commctrl.h>

#include <algorithm>
#include <string_view>

namespace {

const wchar_t* const kFensterKlasse = L"TreffluxEinstellungen";
const wchar_t* const kSeitenKlasse = L"TreffluxSeite";
// Posted after a change of focus, when it is over: which control has the focus then decides.
constexpr UINT kFokusVerlassen = WM_APP + 1; // wParam: the control that lost it
constexpr UINT kFokusSetzen = WM_APP + 2;    // wParam: the Feld
constexpr UINT kDateinamePruefen = WM_APP + 3;

constexpr std::array<const wchar_t*, 4> kSeitentitel = {
    L"Allgemeine Einstellungen", L"Datensatz-Einstellungen", L"Maschinen-Einstellungen", L"Info"};

std::wstring fensterText(HWND fenster) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(fenster)) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(::GetWindowTextW(fenster, text.data(), static_cast<int>(text.size()))));
    return text;
}

// Whether Windows-1252 holds the character: the profiles and the protocol file's name are stored
// in it.
bool ansi(wchar_t c) {
    return ansiZuWide(wideZuAnsi(std::wstring_view(&c, 1))) == std::wstring_view(&c, 1);
}

// Takes the characters that pass not out of the text; returns whether there were some.
template <typename Passt> bool filtern(std::wstring& text, Passt passt) {
    const auto weg = std::remove_if(text.begin(), text.end(), [&](wchar_t c) { return !passt(c); });
    const bool gekuerzt = weg != text.end();
    text.erase(weg, text.end());
    return gekuerzt;
}

// Takes what the field cannot take out of an edit as it is typed or pasted.
template <typename Passt> void feldFiltern(HWND feld, Passt passt) {
    std::wstring text = fensterText(feld);
    if (filtern(text, passt)) {
        ::SetWindowTextW(feld, text.c_str());
        ::SendMessageW(feld, EM_SETSEL, text.size(), text.size());
        ::MessageBeep(MB_OK);
    }
}

bool ziffer(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// The program's description for the page "Info": the HTML of the Qt window as plain text (block
// elements become line breaks, cells are separated by a tab, the entities it uses are decoded).
std::wstring infoText() {
    const HINSTANCE instanz = ::GetModuleHandleW(nullptr);
    HRSRC quelle = ::FindResourceW(instanz, MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(10)); // RT_RCDATA
    HGLOBAL daten = quelle ? ::LoadResource(instanz, quelle) : nullptr;
    if (!daten)
        return {};
    const std::string_view html(static_cast<const char*>(::LockResource(daten)),
                                ::SizeofResource(instanz, quelle));
    std::string text;
    bool imStil = false;
    for (std::size_t i = 0; i < html.size();) {
        if (html[i] == '<') {
            const std::size_t ende = html.find('>', i);
            if (ende == std::string_view::npos)
                break;
            std::string tag(html.substr(i + 1, ende - i - 1));
            std::transform(tag.begin(), tag.end(), tag.begin(),
                           [](unsigned char c) { return std::tolower(c); });
            const std::string name = tag.substr(0, tag.find_first_of(" >"));
            if (name == "style")
                imStil = true;
            else if (name == "/style")
                imStil = false;
            else if (name == "/h3" || name == "/p" || name == "/tr" || name == "br" || name == "/li")
                text += "\r\n";
            else if (name == "h3" && !text.empty())
                text += "\r\n";
            else if ((name == "td" || name == "th") && !text.empty() && text.back() != '\n')
                text += '\t';
            else if (name == "li")
                text += "- ";
            i = ende + 1;
            continue;
        }
        if (imStil) {
            ++i;
            continue;
        }
        if (html[i] == '&') {
            static constexpr std::pair<std::string_view, std::string_view> entitaeten[] = {
                {"&quot;", "\""}, {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&nbsp;", " "}};
            bool ersetzt = false;
            for (const auto& [entitaet, zeichen] : entitaeten) {
                if (html.substr(i, entitaet.size()) == entitaet) {
                    text += zeichen;
                    i += entitaet.size();
                    ersetzt = true;
                    break;
                }
            }
            if (ersetzt)
                continue;
        }
        // Line breaks of the source are blanks; runs of blanks are one.
        const char c = html[i] == '\n' || html[i] == '\r' ? ' ' : html[i];
        if (!(c == ' ' && (text.empty() || text.back() == ' ' || text.back() == '\n')))
            text += c;
        ++i;
    }
    return utf8ZuWide(text);
}

} // namespace

// --- Building ---------------------------------------------------------------------------------

HWND Win32Programm::neu(HWND eltern, UINT id, const wchar_t* klasse, const std::wstring& text, DWORD stil,
                        int x, int y, int b, int h, DWORD exStil) {
    HWND element = ::CreateWindowExW(exStil, klasse, text.c_str(), WS_CHILD | WS_VISIBLE | stil, x, y, b, h,
                                     eltern, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                                     ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(element, WM_SETFONT, reinterpret_cast<WPARAM>(m_schrift), FALSE);
    if (id)
        m_elemente[id] = element;
    return element;
}

HWND Win32Programm::gruppe(HWND eltern, const std::wstring& titel, int x, int y, int b, int h) {
    return neu(eltern, 0, WC_BUTTONW, titel, BS_GROUPBOX | WS_GROUP, x, y, b, h);
}

void Win32Programm::radios(Wahl wahl, HWND eltern, UINT ersteId, const std::vector<std::wstring>& texte,
                           int x, int y, int b, int h, int abstand) {
    auto& knoepfe = m_radios[static_cast<std::size_t>(wahl)];
    for (HWND knopf : knoepfe) {
        m_elemente.erase(static_cast<UINT>(::GetDlgCtrlID(knopf)));
        ::DestroyWindow(knopf);
    }
    knoepfe.clear();
    for (std::size_t i = 0; i < texte.size(); ++i) {
        // The first item starts the group and is reached by Tab; the arrow keys move within it.
        const DWORD stil = BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP | WS_TABSTOP : 0);
        knoepfe.push_back(neu(eltern, ersteId + static_cast<UINT>(i), WC_BUTTONW, texte[i], stil, x,
                              y + static_cast<int>(i) * abstand, b, h));
    }
}

void Win32Programm::tipp(HWND element, const wchar_t* text) {
    TTTOOLINFOW info{};
    info.cbSize = sizeof(info);
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = ::GetParent(element);
    info.uId = reinterpret_cast<UINT_PTR>(element);
    info.lpszText = const_cast<wchar_t*>(text);
    ::SendMessageW(m_tipps, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

void Win32Programm::einstellungsfensterBauen() {
    const HINSTANCE instanz = ::GetModuleHandleW(nullptr);
    INITCOMMONCONTROLSEX cc{sizeof(cc), ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&cc);

    WNDCLASSW klasse{};
    klasse.lpfnWndProc = &Win32Programm::einstellungsProzedur;
    klasse.hInstance = instanz;
    klasse.hIcon = ::LoadIconW(instanz, MAKEINTRESOURCEW(1));
    klasse.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    klasse.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    klasse.lpszClassName = kFensterKlasse;
    ::RegisterClassW(&klasse);
    klasse.lpfnWndProc = &Win32Programm::seitenProzedur;
    klasse.hIcon = nullptr;
    klasse.lpszClassName = kSeitenKlasse;
    ::RegisterClassW(&klasse);

    NONCLIENTMETRICSW metriken{};
    metriken.cbSize = sizeof(metriken);
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metriken), &metriken, 0))
        m_schrift = ::CreateFontIndirectW(&metriken.lfMessageFont);

    // A fixed window of 600 x 500 pixels inside, centred on the screen.
    // Without WS_CLIPCHILDREN: the group boxes do not paint their inside, the window does.
    const DWORD stil = WS_CAPTION | WS_SYSMENU;
    const DWORD exStil = WS_EX_CONTROLPARENT;
    RECT rahmen{0, 0, 600, 500};
    ::AdjustWindowRectEx(&rahmen, stil, FALSE, exStil);
    const int breite = rahmen.right - rahmen.left;
    const int hoehe = rahmen.bottom - rahmen.top;
    RECT arbeit{0, 0, 1024, 768};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &arbeit, 0);
    m_einstellungen = ::CreateWindowExW(exStil, kFensterKlasse, L"Einstellungen Trefflux", stil,
                                        arbeit.left + (arbeit.right - arbeit.left - breite) / 2,
                                        arbeit.top + (arbeit.bottom - arbeit.top - hoehe) / 2, breite, hoehe,
                                        nullptr, nullptr, instanz, nullptr);
    if (!m_einstellungen)
        throw std::runtime_error("Das Einstellungsfenster kann nicht angelegt werden.");
    ::SetWindowLongPtrW(m_einstellungen, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    HWND w = m_einstellungen;
    m_tipps = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, w, nullptr, instanz, nullptr);

    const DWORD knopf = BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP;
    const DWORD schalter = BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP;
    const DWORD feld = ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP | WS_BORDER;
    const DWORD liste = LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP | WS_GROUP | WS_BORDER;

    // The profile, above the pages
    gruppe(w, L"Einstellungsprofil", 8, 6, 584, 56);
    neu(w, 0, WC_STATICW, L"S\u00e4mtliche Einstellungen beziehen sich auf dieses Profil:",
        SS_LEFT | WS_GROUP, 18, 32, 332, 20);
    HWND profilbox =
        neu(w, kProfilbox, WC_COMBOBOXW, L"",
            CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP | WS_GROUP, 354, 26, 130, 240);
    ::SendMessageW(profilbox, CB_LIMITTEXT, Eingabegrenze::Profilname, 0);
    neu(w, kNeuesProfil, WC_BUTTONW, L"&Neues Profil", knopf, 492, 25, 92, 29);

    // The page control and its pages: windows of their own over its display area.
    HWND seiten =
        neu(w, kSeiten, WC_TABCONTROLW, L"", WS_TABSTOP | WS_GROUP | WS_CLIPSIBLINGS, 8, 68, 584, 390);
    RECT flaeche{0, 0, 584, 390};
    for (const wchar_t* titel : kSeitentitel) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(titel);
        ::SendMessageW(seiten, TCM_INSERTITEMW, ::SendMessageW(seiten, TCM_GETITEMCOUNT, 0, 0),
                       reinterpret_cast<LPARAM>(&item));
    }
    ::SendMessageW(seiten, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&flaeche));
    for (std::size_t i = 0; i < m_seiten.size(); ++i) {
        m_seiten[i] = ::CreateWindowExW(WS_EX_CONTROLPARENT, kSeitenKlasse, L"", WS_CHILD | WS_CLIPSIBLINGS,
                                        8 + flaeche.left, 68 + flaeche.top, flaeche.right - flaeche.left,
                                        flaeche.bottom - flaeche.top, w, nullptr, instanz, nullptr);
        ::SetWindowLongPtrW(m_seiten[i], GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ::SetWindowPos(m_seiten[i], HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }

    // "Allgemeine Einstellungen"
    HWND s = m_seiten[static_cast<std::size_t>(Seite::Allgemein)];
    gruppe(s, L"Dateiname", 8, 8, 560, 62);
    HWND dateiname = neu(s, kDateiname, WC_EDITW, L"", feld, 18, 33, 428, 23, WS_EX_CLIENTEDGE);
    ::SendMessageW(dateiname, EM_LIMITTEXT, Eingabegrenze::Dateiname, 0);
    neu(s, kDurchsuchen, WC_BUTTONW, L"&Durchsuchen", knopf, 454, 31, 104, 29);
    gruppe(s, L"Datei", 8, 78, 360, 84);
    radios(Wahl::Datei, s, kDateiwahl,
           {L"Alle Datens\u00e4tze (Serien) in Datei speichern",
            L"Nur einen Datensatz (Serie) in Datei Speichern"},
           18, 100, 344, 20, 28);
    neu(s, kWarnen, WC_BUTTONW, L"&Vor \u00dcberschreiben einer Datei warnen", schalter, 16, 170, 350, 22);
    neu(s, kHeader, WC_BUTTONW, L"&Header an den Anfang der Datei", schalter, 16, 196, 350, 22);
    m_gruppeMaschine = gruppe(s, L"Ringlesemaschine", 378, 78, 190, 110);
    gruppe(s, L"Schnittstelle", 378, 196, 190, 62);
    neu(s, kPort, WC_COMBOBOXW, L"", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP | WS_GROUP, 388,
        222, 170, 240);
    neu(s, kMonitorKnopf, WC_BUTTONW, L"\u00dcbertragungs&monitor", knopf, 8, 266, 360, 29);
    neu(s, kMaschinensuche, WC_BUTTONW, L"Maschinen&suche", knopf, 378, 266, 190, 29);
    neu(s, kNeuAnmelden, WC_BUTTONW, L"Neu an &Ringlesemaschine anmelden", knopf, 8, 302, 360, 29);
    neu(s, kMaschinentest, WC_BUTTONW, L"Maschinen&test", knopf, 378, 302, 190, 29);
    HWND hinweis = neu(s, kErsteinrichtungHinweis, WC_STATICW, utf8ZuWide(ErsteinrichtungHinweis),
                       SS_LEFT | SS_NOPREFIX, 8, 338, 560, 20);
    ::ShowWindow(hinweis, SW_HIDE);

    // "Datensatz-Einstellungen": the record layout editor and the separators
    s = m_seiten[static_cast<std::size_t>(Seite::Datensatz)];
    gruppe(s, L"Daten der Auswertmaschine", 8, 3, 180, 128);
    gruppe(s, L"Datensatz f\u00fcr 1 Schuss", 324, 3, 226, 128);
    // One column as wide as the list inside, without a header, as the Qt window shows them.
    const auto elementliste = [&](UINT id, int x, int h) {
        HWND l = neu(s, id, WC_LISTVIEWW, L"", liste | LVS_NOCOLUMNHEADER, x, 23, 164, h, WS_EX_CLIENTEDGE);
        ::SendMessageW(l, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
        RECT innen{};
        ::GetClientRect(l, &innen);
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT | LVCF_WIDTH;
        c.cx = innen.right - ::GetSystemMetrics(SM_CXVSCROLL);
        c.pszText = const_cast<wchar_t*>(L"Element");
        ::SendMessageW(l, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&c));
    };
    // Made in the order of Tab: the elements, the buttons between the lists, the record with its
    // arrows, "1/10 Ringe" below it.
    elementliste(kElementeliste, 16, 100);
    neu(s, kHinzufuegen, WC_BUTTONW, L"> &Hinzuf\u00fcgen >", knopf, 198, 38, 116, 29);
    neu(s, kEntfernen, WC_BUTTONW, L"< &Entfernen <", knopf, 198, 78, 116, 29);
    elementliste(kDatensatzliste, 332, 80);
    // The arrows are drawn as those of a scroll bar (WM_DRAWITEM).
    for (const auto& [id, y, titel] :
         {std::tuple{kNachOben, 33, L"Nach oben"}, std::tuple{kNachUnten, 73, L"Nach unten"}})
        tipp(neu(s, id, WC_BUTTONW, titel, BS_OWNERDRAW | WS_TABSTOP | WS_GROUP, 510, y, 29, 29), titel);
    neu(s, kZehntelringe, WC_BUTTONW, L"1/10 Ringe", schalter, 332, 107, 160, 20);
    gruppe(s, L"Trennzeichen zwischen", 6, 142, 564, 208);
    radios(Wahl::Trennzeichenart, s, kTrennzeichenartwahl, {L"Datensatzelement ", L"Schuss", L"Serie"}, 16,
           166, 150, 20, 28);
    HWND trenn = neu(s, kTrennzeichenliste, WC_LISTVIEWW, L"", liste | LVS_NOSORTHEADER, 174, 160, 390, 182,
                     WS_EX_CLIENTEDGE);
    ::SendMessageW(trenn, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);

    // "Maschinen-Einstellungen"
    s = m_seiten[static_cast<std::size_t>(Seite::Maschinen)];
    gruppe(s, L"Einstellungen der Auswertmaschine Disag RMIII im FERN-Betrieb mit Win-Startdiskette:", 8, 8,
           562, 244);
    gruppe(s, L"Scheibentyp", 20, 38, 200, 200);
    radios(
        Wahl::Scheibentyp, s, kScheibentypwahl,
        {L"LG 10er-Band", L"LG 5er-Band", L"LG Einzelscheibe", L"Luftpistole", L"Zimmerstutzen", L"KK 50m"},
        30, 60, 180, 20, 28);
    gruppe(s, L"Schusszahl f\u00fcr 1 Serie", 232, 38, 160, 62);
    gruppe(s, L"Schuss pro Scheibe", 402, 38, 154, 62);
    gruppe(s, L"Drucker", 232, 110, 324, 128);
    neu(s, 0, WC_STATICW, L"Zusatztext", SS_LEFT | WS_GROUP, 242, 142, 96, 20);
    neu(s, 0, WC_STATICW, L"Teilergrenze", SS_LEFT | WS_GROUP, 242, 178, 96, 20);
    for (const auto& [id, x, y, b, zahl, titel] :
         {std::tuple{kSchusszahl, 242, 64, 70, true, L"1 - 120"},
          std::tuple{kSchussProScheibe, 412, 64, 70, true, L"1-15"},
          std::tuple{kScheibentext, 342, 138, 120, false, L"( max. 10 Zeichen )"},
          std::tuple{kTeilergrenze, 342, 174, 120, true, L"10 - 10000"}}) {
        HWND e = neu(s, id, WC_EDITW, L"", feld | (zahl ? ES_NUMBER : 0), x, y, b, 23, WS_EX_CLIENTEDGE);
        tipp(e, titel);
    }
    for (Feld f : {Feld::Schusszahl, Feld::Scheibentext}) {
        ::SendMessageW(feldFenster(f), EM_LIMITTEXT, static_cast<WPARAM>(eingabegrenze(f)), 0);
    }
    neu(s, kDrucker, WC_BUTTONW, L"Drucker Ein ", schalter, 242, 208, 200, 22);

    // "Info"
    s = m_seiten[static_cast<std::size_t>(Seite::Info)];
    neu(s, kInfo, WC_EDITW, infoText(), ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP,
        4, 4, 570, 350, WS_EX_CLIENTEDGE);

    // The buttons below the pages
    neu(w, kUebernehmen, WC_BUTTONW, L"\u00dc&bernehmen", knopf, 8, 464, 150, 29);
    neu(w, kAbbrechen, WC_BUTTONW, L"&Abbrechen", knopf, 225, 464, 150, 29);
    neu(w, kProgrammBeenden, WC_BUTTONW, L"&Programm beenden", knopf, 442, 464, 150, 29);

    // The ports present, in list order; "COM1" first chosen when it is there, else the first.
    EnumComPorts(m_ports);
    HWND portbox = element(kPort);
    for (const std::string& p : m_ports)
        ::SendMessageW(portbox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(utf8ZuWide(p).c_str()));
    const auto com1 = std::find(m_ports.begin(), m_ports.end(), "COM1");
    ::SendMessageW(portbox, CB_SETCURSEL,
                   m_ports.empty() ? -1 : (com1 != m_ports.end() ? com1 - m_ports.begin() : 0), 0);
    seitenZeigen();
}

HWND Win32Programm::element(UINT id) const {
    const auto gefunden = m_elemente.find(id);
    return gefunden == m_elemente.end() ? nullptr : gefunden->second;
}

HWND Win32Programm::feldFenster(Feld feld) const {
    switch (feld) {
    case Feld::Dateiname:
        return element(kDateiname);
    case Feld::Schusszahl:
        return element(kSchusszahl);
    case Feld::SchussProScheibe:
        return element(kSchussProScheibe);
    case Feld::Scheibentext:
        return element(kScheibentext);
    case Feld::Teilergrenze:
        break;
    }
    return element(kTeilergrenze);
}

HWND Win32Programm::schalterFenster(Schalter s) const {
    switch (s) {
    case Schalter::Warnen:
        return element(kWarnen);
    case Schalter::Zehntelringe:
        return element(kZehntelringe);
    case Schalter::Drucker:
        return element(kDrucker);
    case Schalter::Header:
        break;
    }
    return element(kHeader);
}

HWND Win32Programm::listeFenster(::Liste liste) const {
    return element(liste == ::Liste::Datensatz ? kDatensatzliste : kElementeliste);
}

// The tabs of the visible pages, and the page of the selected tab shown.
void Win32Programm::seitenZeigen() {
    HWND seiten = element(kSeiten);
    const int alt = static_cast<int>(::SendMessageW(seiten, TCM_GETCURSEL, 0, 0));
    TCITEMW item{};
    item.mask = TCIF_PARAM;
    Seite gezeigt = Seite::Allgemein;
    if (alt >= 0 && ::SendMessageW(seiten, TCM_GETITEMW, alt, reinterpret_cast<LPARAM>(&item)))
        gezeigt = static_cast<Seite>(item.lParam);
    ::SendMessageW(seiten, TCM_DELETEALLITEMS, 0, 0);
    int auswahl = 0;
    for (std::size_t i = 0; i < m_seiten.size(); ++i) {
        if (!m_seiteSichtbar[i])
            continue;
        TCITEMW neuesItem{};
        neuesItem.mask = TCIF_TEXT | TCIF_PARAM;
        neuesItem.pszText = const_cast<wchar_t*>(kSeitentitel[i]);
        neuesItem.lParam = static_cast<LPARAM>(i);
        const int index = static_cast<int>(::SendMessageW(seiten, TCM_INSERTITEMW,
                                                          ::SendMessageW(seiten, TCM_GETITEMCOUNT, 0, 0),
                                                          reinterpret_cast<LPARAM>(&neuesItem)));
        if (static_cast<Seite>(i) == gezeigt)
            auswahl = index;
    }
    ::SendMessageW(seiten, TCM_SETCURSEL, auswahl, 0);
    item.mask = TCIF_PARAM;
    ::SendMessageW(seiten, TCM_GETITEMW, auswahl, reinterpret_cast<LPARAM>(&item));
    for (std::size_t i = 0; i < m_seiten.size(); ++i)
        ::ShowWindow(m_seiten[i], static_cast<LPARAM>(i) == item.lParam ? SW_SHOW : SW_HIDE);
}

// --- Messages ---------------------------------------------------------------------------------

LRESULT CALLBACK Win32Programm::einstellungsProzedur(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Win32Programm*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self && self->m_logik ? self->einstellungsnachricht(msg, wParam, lParam)
                                 : ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK Win32Programm::seitenProzedur(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    // A page passes what its controls report on to the window.
    switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
        return ::SendMessageW(::GetParent(hwnd), msg, wParam, lParam);
    default:
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

bool Win32Programm::dialogNachricht(MSG& msg) {
    if (!m_einstellungen || !::IsWindowVisible(m_einstellungen))
        return false;
    if (msg.hwnd != m_einstellungen && !::IsChild(m_einstellungen, msg.hwnd))
        return false;
    // The profile box does not switch entries on arrow keys or the wheel while its list is closed.
    HWND profilbox = element(kProfilbox);
    if ((msg.hwnd == profilbox || ::GetParent(msg.hwnd) == profilbox) &&
        !::SendMessageW(profilbox, CB_GETDROPPEDSTATE, 0, 0)) {
        if (msg.message == WM_MOUSEWHEEL)
            return true;
        if (msg.message == WM_KEYDOWN &&
            (msg.wParam == VK_UP || msg.wParam == VK_DOWN || msg.wParam == VK_PRIOR || msg.wParam == VK_NEXT))
            return true;
    }
    // Tab and Shift+Tab go by tabReihe(); the pages are windows of their own over the page
    // control, which the system's order of Tab would put before the profile row.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && !(::GetKeyState(VK_CONTROL) & 0x8000) &&
        !(::GetKeyState(VK_MENU) & 0x8000)) {
        tabSchritt(!(::GetKeyState(VK_SHIFT) & 0x8000));
        return true;
    }
    // Ctrl+Tab and Ctrl+Shift+Tab turn the pages.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && (::GetKeyState(VK_CONTROL) & 0x8000)) {
        HWND seiten = element(kSeiten);
        const int anzahl = static_cast<int>(::SendMessageW(seiten, TCM_GETITEMCOUNT, 0, 0));
        const int schritt = (::GetKeyState(VK_SHIFT) & 0x8000) ? anzahl - 1 : 1;
        if (anzahl > 0) {
            const int jetzt = static_cast<int>(::SendMessageW(seiten, TCM_GETCURSEL, 0, 0));
            ::SendMessageW(seiten, TCM_SETCURSEL, (jetzt + schritt) % anzahl, 0);
            seitenZeigen();
        }
        return true;
    }
    return ::IsDialogMessageW(m_einstellungen, &msg) != FALSE;
}

std::vector<HWND> Win32Programm::tabReihe() const {
    std::vector<HWND> reihe;
    const auto sammeln = [this, &reihe](HWND eltern, const auto& selbst) -> void {
        for (HWND w = ::GetWindow(eltern, GW_CHILD); w; w = ::GetWindow(w, GW_HWNDNEXT)) {
            if (std::find(m_seiten.begin(), m_seiten.end(), w) != m_seiten.end())
                continue; // a page comes after the page tabs
            if (!::IsWindowVisible(w) || !::IsWindowEnabled(w))
                continue;
            // A group of radio buttons is one stop (its first button has the style): its checked
            // button, else its first.
            HWND ziel = w;
            if (const std::vector<HWND>* gruppe = radiogruppe(w)) {
                for (HWND knopf : *gruppe) {
                    if (::SendMessageW(knopf, BM_GETCHECK, 0, 0) == BST_CHECKED && ::IsWindowEnabled(knopf))
                        ziel = knopf;
                }
            }
            if (::GetWindowLongW(w, GWL_STYLE) & WS_TABSTOP)
                reihe.push_back(ziel);
            if (w == element(kSeiten)) {
                for (HWND seite : m_seiten) {
                    if (::IsWindowVisible(seite))
                        selbst(seite, selbst);
                }
            }
        }
    };
    sammeln(m_einstellungen, sammeln);
    return reihe;
}

const std::vector<HWND>* Win32Programm::radiogruppe(HWND element) const {
    for (const std::vector<HWND>& gruppe : m_radios) {
        if (element && std::find(gruppe.begin(), gruppe.end(), element) != gruppe.end())
            return &gruppe;
    }
    return nullptr;
}

void Win32Programm::tabSchritt(bool weiter) {
    const std::vector<HWND> reihe = tabReihe();
    if (reihe.empty())
        return;
    // Where the focus is: the control, the box whose edit has it, or the group of a radio button.
    HWND jetzt = ::GetFocus();
    const std::vector<HWND>* gruppe = radiogruppe(jetzt);
    const std::size_t stelle =
        static_cast<std::size_t>(std::find_if(reihe.begin(), reihe.end(),
                                              [&](HWND w) {
                                                  return w == jetzt || (jetzt && w == ::GetParent(jetzt)) ||
                                                         (gruppe && radiogruppe(w) == gruppe);
                                              }) -
                                 reihe.begin());
    const std::size_t n = reihe.size();
    const std::size_t naechste =
        stelle == n ? (weiter ? 0 : n - 1) : (weiter ? stelle + 1 : stelle + n - 1) % n;
    HWND ziel = reihe[naechste];
    ::SetFocus(ziel);
    // As in a dialog, the text of a field reached by Tab is marked.
    wchar_t klasse[32] = {};
    ::GetClassNameW(ziel, klasse, 31);
    if (::lstrcmpiW(klasse, WC_EDITW) == 0 && !(::GetWindowLongW(ziel, GWL_STYLE) & ES_MULTILINE))
        ::SendMessageW(ziel, EM_SETSEL, 0, -1);
    else if (::lstrcmpiW(klasse, WC_COMBOBOXW) == 0)
        ::SendMessageW(ziel, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
}

LRESULT Win32Programm::einstellungsnachricht(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_COMMAND:
        befehl(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_NOTIFY:
        benachrichtigung(*reinterpret_cast<const NMHDR*>(lParam));
        return 0;
    case WM_DRAWITEM: {
        // The two arrow buttons of the record list.
        const auto& zeichnen = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        RECT r = zeichnen.rcItem;
        UINT art = zeichnen.CtlID == kNachOben ? DFCS_SCROLLUP : DFCS_SCROLLDOWN;
        if (zeichnen.itemState & ODS_SELECTED)
            art |= DFCS_PUSHED;
        if (zeichnen.itemState & ODS_DISABLED)
            art |= DFCS_INACTIVE;
        ::DrawFrameControl(zeichnen.hDC, &r, DFC_SCROLL, art);
        if (zeichnen.itemState & ODS_FOCUS) {
            ::InflateRect(&r, -4, -4);
            ::DrawFocusRect(zeichnen.hDC, &r);
        }
        return TRUE;
    }
    case WM_SYSCOMMAND:
        // The close button and Alt+F4: the user's request to end.
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            CloseQuery();
            return 0;
        }
        break;
    case WM_CLOSE:
        // Only another program sends this without the close button (taskkill, an installer):
        // nobody is there to answer.
        OhneFrageBeenden();
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // The hidden window keeps the series the protocol file could not take.
        if (wParam)
            OhneFrageBeenden();
        return 0;
    case WM_ACTIVATE:
        // The focus comes back to the control that had it.
        if (LOWORD(wParam) == WA_INACTIVE) {
            m_fokus = ::GetFocus();
        } else {
            // the first control in the order of Tab when none had it yet
            if (!m_fokus || !::IsChild(m_einstellungen, m_fokus)) {
                const std::vector<HWND> reihe = tabReihe();
                m_fokus = reihe.empty() ? nullptr : reihe.front();
            }
            if (m_fokus) {
                ::SetFocus(m_fokus);
                return 0;
            }
        }
        break;
    case WM_SETCURSOR:
        if (m_sanduhr) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        break;
    case kFokusVerlassen: {
        // Only a change of focus within the window counts; another window taking it does not.
        HWND verlassen = reinterpret_cast<HWND>(wParam);
        HWND jetzt = ::GetFocus();
        if (!jetzt || !::IsChild(m_einstellungen, jetzt) || jetzt == verlassen ||
            ::GetParent(jetzt) == verlassen)
            return 0;
        if (verlassen == element(kProfilbox)) {
            m_logik->ProfilboxExit(false);
            return 0;
        }
        for (Feld f : {Feld::SchussProScheibe, Feld::Teilergrenze, Feld::Schusszahl}) {
            if (verlassen == feldFenster(f))
                m_logik->ZahlenfeldExit(f);
        }
        return 0;
    }
    case kFokusSetzen: {
        HWND f = feldFenster(static_cast<Feld>(wParam));
        ::SetFocus(f);
        if (static_cast<Feld>(wParam) == Feld::Dateiname)
            ::SendMessageW(f, EM_SETSEL, 0, -1);
        return 0;
    }
    case kDateinamePruefen:
        // Once the window is on screen, a file name that cannot work is reported.
        if (::IsWindowVisible(m_einstellungen))
            m_logik->DateinameMelden();
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(m_einstellungen, msg, wParam, lParam);
}

void Win32Programm::befehl(UINT id, UINT code) {
    Einstellungslogik& l = *m_logik;
    if (id >= kDateiwahl && id < kDateiwahl + 10) {
        if (code == BN_CLICKED)
            l.DateiwahlClick(static_cast<int>(id - kDateiwahl));
        return;
    }
    if (id >= kMaschinenwahl && id < kMaschinenwahl + 10) {
        if (code == BN_CLICKED)
            l.MaschinenwahlClick(static_cast<int>(id - kMaschinenwahl));
        return;
    }
    if (id >= kTrennzeichenartwahl && id < kTrennzeichenartwahl + 10) {
        if (code == BN_CLICKED)
            l.TrennzeichenartwahlClick(static_cast<int>(id - kTrennzeichenartwahl));
        return;
    }
    switch (id) {
    case IDCANCEL: // the Escape key
        l.AbbrechenClick();
        return;
    case kProfilbox:
        if (code == CBN_EDITCHANGE) {
            HWND box = element(kProfilbox);
            std::wstring text = fensterText(box);
            if (filtern(text, ansi)) {
                ::SetWindowTextW(box, text.c_str());
                ::SendMessageW(box, CB_SETEDITSEL, 0, MAKELPARAM(text.size(), text.size()));
                ::MessageBeep(MB_OK);
            }
            l.ProfilboxChange(wideZuUtf8(text));
        } else if (code == CBN_SELENDOK) {
            const int index = static_cast<int>(::SendMessageW(element(kProfilbox), CB_GETCURSEL, 0, 0));
            if (index >= 0)
                l.ProfilboxSelect(index);
        } else if (code == CBN_DROPDOWN) {
            l.ProfilboxExit(true);
        } else if (code == CBN_KILLFOCUS) {
            ::PostMessageW(m_einstellungen, kFokusVerlassen, reinterpret_cast<WPARAM>(element(kProfilbox)),
                           0);
        }
        return;
    case kDateiname:
    case kScheibentext:
        if (code == EN_CHANGE)
            feldFiltern(element(id), ansi);
        return;
    case kSchusszahl:
    case kSchussProScheibe:
    case kTeilergrenze:
        // Digits only, also when pasted.
        if (code == EN_CHANGE)
            feldFiltern(element(id), ziffer);
        else if (code == EN_KILLFOCUS)
            ::PostMessageW(m_einstellungen, kFokusVerlassen, reinterpret_cast<WPARAM>(element(id)), 0);
        return;
    default:
        break;
    }
    if (code != BN_CLICKED)
        return;
    switch (id) {
    case kNeuesProfil:
        l.NeuesProfilClick();
        break;
    case kUebernehmen:
        l.UebernehmenClick();
        break;
    case kAbbrechen:
        l.AbbrechenClick();
        break;
    case kProgrammBeenden:
        CloseQuery();
        break;
    case kDurchsuchen:
        l.DurchsuchenClick();
        break;
    case kMaschinensuche:
        l.MaschinensucheClick();
        break;
    case kMaschinentest:
        l.MaschinentestClick();
        break;
    case kNeuAnmelden:
        l.NeuAnmeldenClick();
        break;
    case kMonitorKnopf:
        MonitorZeigen();
        break;
    case kHinzufuegen:
        l.HinzufuegenClick();
        break;
    case kEntfernen:
        l.EntfernenClick();
        break;
    case kNachOben:
        l.NachObenClick();
        break;
    case kNachUnten:
        l.NachUntenClick();
        break;
    default:
        break;
    }
}

void Win32Programm::benachrichtigung(const NMHDR& kopf) {
    if (kopf.hwndFrom == element(kSeiten) && kopf.code == TCN_SELCHANGE)
        seitenZeigen();
}

// --- The view interface -----------------------------------------------------------------------

void Win32Programm::fuelleMaschinenwahl(const std::vector<std::string>& eintraege) {
    std::vector<std::wstring> texte;
    for (const std::string& e : eintraege)
        texte.push_back(utf8ZuWide(e));
    texte.resize(std::min<std::size_t>(texte.size(), 10));
    // The items share the box's height below its title.
    const int abstand = texte.empty() ? 0 : std::min(28, 84 / static_cast<int>(texte.size()));
    radios(Wahl::Maschine, m_seiten[static_cast<std::size_t>(Seite::Allgemein)], kMaschinenwahl, texte, 388,
           98, 174, 20, abstand);
    // The group keeps its place in the order of Tab.
    HWND davor = m_gruppeMaschine;
    for (HWND knopf : m_radios[static_cast<std::size_t>(Wahl::Maschine)]) {
        ::SetWindowPos(knopf, davor, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        davor = knopf;
    }
}

void Win32Programm::fuelleTrennzeichenliste(const std::array<std::string, 4>& titel,
                                            const std::vector<std::array<std::string, 4>>& zeilen) {
    HWND l = element(kTrennzeichenliste);
    ::SendMessageW(l, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(l, LVM_DELETEALLITEMS, 0, 0);
    while (::SendMessageW(l, LVM_DELETECOLUMN, 0, 0)) {
    }
    for (std::size_t c = 0; c < titel.size(); ++c) {
        const std::wstring text = utf8ZuWide(titel[c]);
        LVCOLUMNW spalte{};
        spalte.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH;
        spalte.fmt = c == 1 || c == 2 ? LVCFMT_CENTER : LVCFMT_LEFT;
        spalte.cx = 60;
        spalte.pszText = const_cast<wchar_t*>(text.c_str());
        ::SendMessageW(l, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&spalte));
    }
    for (std::size_t r = 0; r < zeilen.size(); ++r) {
        for (std::size_t c = 0; c < zeilen[r].size(); ++c) {
            const std::wstring text = utf8ZuWide(zeilen[r][c]);
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = static_cast<int>(r);
            item.iSubItem = static_cast<int>(c);
            item.pszText = const_cast<wchar_t*>(text.c_str());
            ::SendMessageW(l, c == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, r,
                           reinterpret_cast<LPARAM>(&item));
        }
    }
    // "Zeichen" as wide as its texts, the two code columns as wide as their titles, each between
    // 10 and 200 pixels; the fourth column is a 1-pixel stub.
    ::SendMessageW(l, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE);
    for (int c : {0, 1, 2}) {
        const std::wstring text = utf8ZuWide(titel[static_cast<std::size_t>(c)]);
        const int titelBreite = static_cast<int>(::SendMessageW(l, LVM_GETSTRINGWIDTHW, 0,
                                                                reinterpret_cast<LPARAM>(text.c_str()))) +
                                16;
        const int b =
            c == 0 ? std::max(titelBreite, static_cast<int>(::SendMessageW(l, LVM_GETCOLUMNWIDTH, 0, 0)))
                   : titelBreite;
        ::SendMessageW(l, LVM_SETCOLUMNWIDTH, c, std::clamp(b, 10, 200));
    }
    ::SendMessageW(l, LVM_SETCOLUMNWIDTH, 3, 1);
    ::SendMessageW(l, WM_SETREDRAW, TRUE, 0);
}

void Win32Programm::zeigeText(Feld feld, const std::string& text) {
    ::SetWindowTextW(feldFenster(feld), utf8ZuWide(text).c_str());
}

void Win32Programm::zeigeWahl(Wahl w, int index) {
    const auto& knoepfe = m_radios[static_cast<std::size_t>(w)];
    for (std::size_t i = 0; i < knoepfe.size(); ++i)
        ::SendMessageW(knoepfe[i], BM_SETCHECK, static_cast<int>(i) == index ? BST_CHECKED : BST_UNCHECKED,
                       0);
}

void Win32Programm::zeigeSchalter(Schalter s, bool an) {
    ::SendMessageW(schalterFenster(s), BM_SETCHECK, an ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Win32Programm::setzeSchalterAktiv(Schalter s, bool aktiv) {
    ::EnableWindow(schalterFenster(s), aktiv);
}

void Win32Programm::setzeNeuAnmeldenAktiv(bool aktiv) {
    ::EnableWindow(element(kNeuAnmelden), aktiv);
}

void Win32Programm::zeigePort(const std::string& name) {
    HWND box = element(kPort);
    // Only one added entry at a time: the one of the port shown.
    if (!m_portZusatz.empty() && m_portZusatz != name) {
        ::SendMessageW(box, CB_DELETESTRING, m_ports.size(), 0);
        m_portZusatz.clear();
    }
    if (name.empty()) {
        ::SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        ::SetWindowTextW(box, L"");
        return;
    }
    // Device names differ by case: only the very name is the same port.
    auto gefunden = std::find(m_ports.begin(), m_ports.end(), name);
    std::size_t index = static_cast<std::size_t>(gefunden - m_ports.begin());
    if (gefunden == m_ports.end()) {
        if (m_portZusatz.empty())
            ::SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(utf8ZuWide(name).c_str()));
        m_portZusatz = name;
        index = m_ports.size();
    }
    ::SendMessageW(box, CB_SETCURSEL, index, 0);
    ::SetWindowTextW(box, utf8ZuWide(name).c_str());
}

void Win32Programm::zeigeProfile(const std::vector<std::string>& namen, int gewaehlt) {
    HWND box = element(kProfilbox);
    ::SendMessageW(box, CB_RESETCONTENT, 0, 0);
    for (const std::string& name : namen)
        ::SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(utf8ZuWide(name).c_str()));
    ::SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(gewaehlt), 0);
    if (gewaehlt < 0)
        ::SetWindowTextW(box, L"");
}

void Win32Programm::fokusInProfilbox() {
    HWND box = element(kProfilbox);
    ::SetFocus(box);
    ::SendMessageW(box, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
}

void Win32Programm::zeigeListe(::Liste liste, const std::vector<std::string>& zeilen) {
    HWND l = listeFenster(liste);
    ::SendMessageW(l, LVM_DELETEALLITEMS, 0, 0);
    for (std::size_t r = 0; r < zeilen.size(); ++r) {
        const std::wstring text = utf8ZuWide(zeilen[r]);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(r);
        item.pszText = const_cast<wchar_t*>(text.c_str());
        ::SendMessageW(l, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
}

void Win32Programm::waehleZeile(::Liste liste, int zeile, bool fokus) {
    HWND l = listeFenster(liste);
    LVITEMW keiner{};
    keiner.stateMask = LVIS_SELECTED;
    ::SendMessageW(l, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&keiner));
    if (zeile < 0 || zeile >= static_cast<int>(::SendMessageW(l, LVM_GETITEMCOUNT, 0, 0)))
        return;
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | (fokus ? LVIS_FOCUSED : 0);
    item.state = item.stateMask;
    ::SendMessageW(l, LVM_SETITEMSTATE, static_cast<WPARAM>(zeile), reinterpret_cast<LPARAM>(&item));
}

void Win32Programm::waehleTrennzeichen(int code) {
    HWND l = element(kTrennzeichenliste);
    LVITEMW keiner{};
    keiner.stateMask = LVIS_SELECTED;
    ::SendMessageW(l, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&keiner));
    if (code < 0 || code >= static_cast<int>(::SendMessageW(l, LVM_GETITEMCOUNT, 0, 0)))
        return;
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = item.stateMask;
    ::SendMessageW(l, LVM_SETITEMSTATE, static_cast<WPARAM>(code), reinterpret_cast<LPARAM>(&item));
    ::SendMessageW(l, LVM_ENSUREVISIBLE, static_cast<WPARAM>(code), FALSE);
}

void Win32Programm::setzeFokus(Feld feld) {
    // The focus goes back into the field once the change of focus is over.
    ::PostMessageW(m_einstellungen, kFokusSetzen, static_cast<WPARAM>(feld), 0);
}

void Win32Programm::zeigeSeite(Seite seite) {
    HWND seiten = element(kSeiten);
    const int anzahl = static_cast<int>(::SendMessageW(seiten, TCM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < anzahl; ++i) {
        TCITEMW item{};
        item.mask = TCIF_PARAM;
        ::SendMessageW(seiten, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
        if (static_cast<Seite>(item.lParam) == seite) {
            ::SendMessageW(seiten, TCM_SETCURSEL, i, 0);
            seitenZeigen();
            return;
        }
    }
}

void Win32Programm::setzeSeiteSichtbar(Seite seite, bool sichtbar) {
    if (m_seiteSichtbar[static_cast<std::size_t>(seite)] == sichtbar)
        return;
    m_seiteSichtbar[static_cast<std::size_t>(seite)] = sichtbar;
    seitenZeigen();
}

void Win32Programm::zeigeErsteinrichtungHinweis(bool zeigen) {
    ::ShowWindow(element(kErsteinrichtungHinweis), zeigen ? SW_SHOW : SW_HIDE);
}

std::string Win32Programm::feldText(Feld feld) const {
    return wideZuUtf8(fensterText(feldFenster(feld)));
}

int Win32Programm::wahl(Wahl w) const {
    const auto& knoepfe = m_radios[static_cast<std::size_t>(w)];
    for (std::size_t i = 0; i < knoepfe.size(); ++i) {
        if (::SendMessageW(knoepfe[i], BM_GETCHECK, 0, 0) == BST_CHECKED)
            return static_cast<int>(i);
    }
    return -1;
}

bool Win32Programm::schalter(Schalter s) const {
    return ::SendMessageW(schalterFenster(s), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::string Win32Programm::port() const {
    std::wstring text = fensterText(element(kPort));
    const auto anfang = text.find_first_not_of(L" \t");
    if (anfang == std::wstring::npos)
        return {};
    text = text.substr(anfang, text.find_last_not_of(L" \t") - anfang + 1);
    return wideZuUtf8(text);
}

std::vector<std::string> Win32Programm::gelistetePorts() const {
    return m_ports;
}

int Win32Programm::gewaehlteZeile(::Liste liste) const {
    return static_cast<int>(
        ::SendMessageW(listeFenster(liste), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

int Win32Programm::gewaehltesTrennzeichen() const {
    return static_cast<int>(
        ::SendMessageW(element(kTrennzeichenliste), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void Win32Programm::zeigeFenster(bool aktivieren) {
    const bool warSichtbar = ::IsWindowVisible(m_einstellungen);
    ::ShowWindow(m_einstellungen, aktivieren ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE);
    if (aktivieren)
        ::SetForegroundWindow(m_einstellungen);
    if (!warSichtbar)
        ::PostMessageW(m_einstellungen, kDateinamePruefen, 0, 0);
}

void Win32Programm::versteckeFenster() {
    ::ShowWindow(m_einstellungen, SW_HIDE);
}

bool Win32Programm::fensterSichtbar() const {
    return ::IsWindowVisible(m_einstellungen) != FALSE;
}

int Win32Programm::frage(const std::string& text, const std::string& titel, unsigned flags) {
    // The window takes no click while its question is open, whatever the box's mode.
    const bool sperren = ::IsWindowVisible(m_einstellungen) && ::IsWindowEnabled(m_einstellungen);
    const bool vorn = ::GetForegroundWindow() == m_einstellungen;
    if (sperren)
        ::EnableWindow(m_einstellungen, FALSE);
    const int antwort = desktop().messageBox(utf8ToWin1252(text), utf8ToWin1252(titel), flags);
    if (sperren) {
        ::EnableWindow(m_einstellungen, TRUE);
        if (vorn && ::IsWindowVisible(m_einstellungen))
            ::SetForegroundWindow(m_einstellungen);
    }
    return antwort;
}

std::string Win32Programm::speichernDialog(const std::string& vorgabe) {
    return speicherDialog(m_einstellungen, vorgabe);
}

void Win32Programm::sanduhr(bool an) {
    m_sanduhr = an;
    ::SetCursor(::LoadCursorW(nullptr, an ? IDC_WAIT : IDC_ARROW));
}
