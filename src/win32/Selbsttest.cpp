#include "Selbsttest.h"

#include "Desktop.h"
#include "MainThread.h"
#include "PlatformFile.h"
#include "ProtokollAusgabe.h"
#include "Uebertragungslog.h"
#include "Win32Desktop.h"
#include "Win32Programm.h"
#include "Win32Text.h"
#include "Win32Uebertragungsmonitor.h"

#include <commctrl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace Selbsttest {
namespace {

int g_fehler = 0;
bool g_fertig = false;

void zeile(const std::string& text) {
    // The program has no console: the line goes to whatever standard output it was given.
    const std::string mitUmbruch = text + "\n";
    DWORD geschrieben = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), mitUmbruch.data(), static_cast<DWORD>(mitUmbruch.size()),
                &geschrieben, nullptr);
}

void pruefe(bool gut, const std::string& was) {
    if (!gut)
        ++g_fehler;
    zeile((gut ? "ok: " : "FEHLER: ") + was);
}

std::wstring eintrag(HMENU menu, int position, UINT* zustand = nullptr, UINT* id = nullptr) {
    wchar_t puffer[256] = {};
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STRING | MIIM_STATE | MIIM_ID | MIIM_FTYPE;
    info.dwTypeData = puffer;
    info.cch = 255;
    ::GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info);
    if (zustand)
        *zustand = (info.fType & MFT_SEPARATOR) ? 0xFFFF : info.fState;
    if (id)
        *id = info.wID;
    return puffer;
}

// The positions of the checked items of the profile menu (submenus not counted).
std::vector<int> haken(HMENU menu) {
    std::vector<int> gesetzt;
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        UINT zustand = 0;
        eintrag(menu, i, &zustand);
        if (zustand & MFS_CHECKED)
            gesetzt.push_back(i);
    }
    return gesetzt;
}

void menues(Win32Programm& programm) {
    pruefe(programm.trayIconDa(), "das Symbol steht im Infobereich");

    HMENU rechts = Win32Programm::TraymenueBauen();
    UINT zustand = 0;
    pruefe(::GetMenuItemCount(rechts) == 4 && eintrag(rechts, 0) == L"&Einstellungen" &&
               eintrag(rechts, 1) == L"\u00dcbertragungs&monitor" &&
               (eintrag(rechts, 2, &zustand), zustand == 0xFFFF) && eintrag(rechts, 3) == L"&Beenden",
           "Rechtsklick: \"&Einstellungen\", \"Uebertragungs&monitor\", Trennlinie, \"&Beenden\"");
    pruefe(::GetMenuDefaultItem(rechts, FALSE, 0) == Win32Programm::kEinstellungen,
           "\"&Einstellungen\" ist der fett gezeigte Standardeintrag");
    ::DestroyMenu(rechts);

    const Profilliste& liste = programm.Liste();
    HMENU profile = programm.ProfilmenueBauen();
    bool namen = ::GetMenuItemCount(profile) == static_cast<int>(liste.size());
    for (std::size_t i = 0; namen && i < liste.size(); ++i)
        namen = eintrag(profile, static_cast<int>(i)) == ansiZuWide(text(liste[i].Name));
    pruefe(namen, "Linksklick: ein Eintrag je Profil, in der Reihenfolge der Profile");
    pruefe(haken(profile) == std::vector<int>{static_cast<int>(liste.activeIndex())},
           "der Haken steht beim aktiven Profil");

    // The last profile chosen from the menu, as a click on its item does it.
    const std::size_t letztes = liste.size() - 1;
    UINT id = 0;
    eintrag(profile, static_cast<int>(letztes), nullptr, &id);
    ::DestroyMenu(profile);
    programm.Menuebefehl(id);
    pruefe(liste.activeIndex() == letztes, "die Wahl im Profilmenue macht das Profil aktiv");
    profile = programm.ProfilmenueBauen();
    pruefe(haken(profile) == std::vector<int>{static_cast<int>(letztes)}, "danach steht der Haken dort");
    ::DestroyMenu(profile);
}

void zwischenablage(Win32Programm& programm) {
    desktop().setClipboardText("Sch\xFCtze;10,4\n\x80");
    pruefe(Win32Desktop::clipboardUnicode(programm.fenster()) == L"Sch\u00FCtze;10,4\n\u20AC",
           "Zwischenablage: Umlaut und Euro-Zeichen kommen als Unicode an");
    desktop().setClipboardText(std::string("vor\0nach", 8));
    pruefe(Win32Desktop::clipboardUnicode(programm.fenster()) == L"vor",
           "Zwischenablage: der Text endet beim Nullbyte");
}

// The overwrite warning, answered from inside its own loop as a user would click.
void ueberschreibwarnung() {
    struct Gesehen {
        std::wstring text;
        bool offen = false;
    };
    auto gesehen = std::make_shared<Gesehen>();
    MainThread::postDelayed(std::chrono::milliseconds(300), [gesehen] {
        gesehen->offen = desktop().overwriteWarningVisible();
        for (HWND w = ::FindWindowW(nullptr, L"Warnung"); w;
             w = ::FindWindowExW(nullptr, w, nullptr, L"Warnung")) {
            DWORD prozess = 0;
            ::GetWindowThreadProcessId(w, &prozess);
            if (prozess != ::GetCurrentProcessId())
                continue;
            wchar_t text[512] = {};
            ::GetDlgItemTextW(w, 100, text, 511);
            gesehen->text = text;
            ::PostMessageW(w, WM_COMMAND, IDIGNORE, 0);
        }
    });
    const int wahl = desktop().overwriteWarning("C:\\Verein\\Sch\xFCtzen.rls");
    pruefe(gesehen->offen && !desktop().overwriteWarningVisible(),
           "Warnung: offen, solange sie gezeigt wird");
    pruefe(gesehen->text == L"Datei\r\nC:\\Verein\\Sch\u00FCtzen.rls\r\nbereits vorhanden !",
           "Warnung: der Dateiname steht zwischen den beiden Texten");
    pruefe(wahl == mrIgnore, "Warnung: \"Datei ueberschreiben\" gibt ihr Ergebnis");
}

std::wstring fensterText(HWND fenster) {
    wchar_t puffer[1024] = {};
    ::GetWindowTextW(fenster, puffer, 1023);
    return puffer;
}

// What a message box of this program showed: its message (the longest text in it), and
// whether it has an icon.
struct Gezeigt {
    std::wstring text;
    bool symbol = false;
};

// The open message box of this program with this title; nullptr when there is none.
HWND offeneBox(const wchar_t* titel, Gezeigt& gezeigt) {
    for (HWND w = ::FindWindowW(nullptr, titel); w; w = ::FindWindowExW(nullptr, w, nullptr, titel)) {
        DWORD prozess = 0;
        ::GetWindowThreadProcessId(w, &prozess);
        if (prozess != ::GetCurrentProcessId() || !::IsWindowVisible(w))
            continue;
        for (HWND kind = ::GetWindow(w, GW_CHILD); kind; kind = ::GetWindow(kind, GW_HWNDNEXT)) {
            const std::wstring t = fensterText(kind);
            if (t.size() > gezeigt.text.size())
                gezeigt.text = t;
            if ((::GetWindowLongW(kind, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
                gezeigt.symbol = true;
        }
        return w;
    }
    return nullptr;
}

// A message box of this program with this title is answered with the button, once it is open;
// what it showed goes into gezeigt.
void antworten(const wchar_t* titel, int knopf, std::shared_ptr<Gezeigt> gezeigt) {
    MainThread::postDelayed(std::chrono::milliseconds(300), [titel, knopf, gezeigt] {
        if (HWND box = offeneBox(titel, *gezeigt))
            ::PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(knopf), 0);
    });
}

void klick(Win32Programm& programm, UINT id) {
    ::SendMessageW(programm.element(id), BM_CLICK, 0, 0);
}

// The settings window driven through its controls as a user would: it shows the active profile,
// applies a changed port, and asks before the program ends with changes not applied.
void einstellungsfenster(Win32Programm& programm) {
    const Profilliste& liste = programm.Liste();
    const Profil& aktiv = liste[liste.activeIndex()];
    programm.Menuebefehl(Win32Programm::kEinstellungen);
    pruefe(::IsWindowVisible(programm.einstellungsfenster()),
           "Einstellungsfenster: \"&Einstellungen\" zeigt es");
    const std::wstring datei = ansiZuWide(text(aktiv.Dateiname));
    pruefe(fensterText(programm.element(Win32Programm::kPort)) == ansiZuWide(text(aktiv.Port)) &&
               fensterText(programm.element(Win32Programm::kDateiname)) == datei &&
               fensterText(programm.element(Win32Programm::kProfilbox)) == ansiZuWide(text(aktiv.Name)) &&
               ::SendMessageW(programm.element(Win32Programm::kMaschinenwahl + aktiv.Maschine), BM_GETCHECK,
                              0, 0) == BST_CHECKED,
           "Einstellungsfenster: Port, Dateiname, Profil und Maschine des aktiven Profils");
    pruefe(::SendMessageW(programm.element(Win32Programm::kTrennzeichenliste), LVM_GETITEMCOUNT, 0, 0) ==
                   258 &&
               ::SendMessageW(programm.element(Win32Programm::kDatensatzliste), LVM_GETITEMCOUNT, 0, 0) == 2,
           "Einstellungsfenster: alle 258 Trennzeichen, die zwei Elemente des Datensatzes");

    // The same port under another spelling, so that the machine is found again.
    const std::string port = text(aktiv.Port);
    std::string anders = port;
    for (char& c : anders)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ::SetWindowTextW(programm.element(Win32Programm::kPort), ansiZuWide(anders).c_str());
    klick(programm, Win32Programm::kUebernehmen);
    pruefe(text(liste[liste.activeIndex()].Port) == anders &&
               !::IsWindowVisible(programm.einstellungsfenster()),
           "Einstellungsfenster: der geaenderte Port ist nach \"Uebernehmen\" im Profil, das Fenster zu");
    programm.Menuebefehl(Win32Programm::kEinstellungen);
    ::SetWindowTextW(programm.element(Win32Programm::kPort), ansiZuWide(port).c_str());
    klick(programm, Win32Programm::kUebernehmen);

    // A change not applied: "Programm beenden" asks, "Abbrechen" there keeps the program running,
    // "Abbrechen" of the window puts the profile's value back.
    programm.Menuebefehl(Win32Programm::kEinstellungen);
    HWND teilergrenze = programm.element(Win32Programm::kTeilergrenze);
    const std::wstring vorher = fensterText(teilergrenze);
    ::SetWindowTextW(teilergrenze, vorher == L"777" ? L"778" : L"777");
    auto gefragt = std::make_shared<Gezeigt>();
    antworten(L"Hinweis", IDCANCEL, gefragt);
    klick(programm, Win32Programm::kProgrammBeenden);
    pruefe(gefragt->text == L"Sollen die \u00c4nderungen \u00fcbernommen werden?" && !programm.Endet() &&
               ::IsWindowVisible(programm.einstellungsfenster()),
           "Einstellungsfenster: Beenden mit einer Aenderung fragt, ob sie uebernommen wird");
    klick(programm, Win32Programm::kAbbrechen);
    pruefe(fensterText(teilergrenze) == vorher && !::IsWindowVisible(programm.einstellungsfenster()),
           "Einstellungsfenster: \"Abbrechen\" zeigt wieder das Profil und schliesst");
}

std::string lies(const std::string& pfad) {
    platform::PlatformFile datei = platform::PlatformFile::openForReading(pfad);
    std::string inhalt(static_cast<std::size_t>(std::max<int64_t>(0, datei.size())), '\0');
    inhalt.resize(
        static_cast<std::size_t>(std::max<int64_t>(0, datei.readFully(inhalt.data(), inhalt.size()))));
    return inhalt;
}

// Runs what is waiting in the message queue, as the program's loop would before the user does the
// next thing (showing the settings window posts its check of the file name).
void nachrichtenAbarbeiten(Win32Programm& programm) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!programm.dialogNachricht(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

// The controls Tab reaches from the profile box until it is back there, a radio group by the
// number of its first item.
std::vector<UINT> tabRunde(Win32Programm& programm) {
    HWND profilbox = programm.element(Win32Programm::kProfilbox);
    ::SetFocus(profilbox);
    std::vector<UINT> gegangen;
    for (int i = 0; i < 40; ++i) {
        HWND fokus = ::GetFocus();
        HWND element = fokus;
        wchar_t klasse[16] = {};
        ::GetClassNameW(::GetParent(fokus), klasse, 15);
        if (::lstrcmpiW(klasse, WC_COMBOBOXW) == 0)
            element = ::GetParent(fokus); // the edit of a box
        const UINT id = static_cast<UINT>(::GetDlgCtrlID(element));
        gegangen.push_back(id >= Win32Programm::kDateiwahl ? id - id % 10 : id);
        MSG taste{fokus, WM_KEYDOWN, VK_TAB, 0, 0, {}};
        programm.dialogNachricht(taste); // as the message loop hands it over
        if (::GetFocus() == profilbox || ::GetParent(::GetFocus()) == profilbox)
            break;
    }
    return gegangen;
}

// A walk through the settings window: Tab through all of it on each page, a protocol file name
// the program refuses and "Abbrechen", a series the file cannot take and its catch-up.
void gang(Win32Programm& programm) {
    using W = Win32Programm;
    const Profilliste& liste = programm.Liste();
    programm.Menuebefehl(W::kEinstellungen);
    nachrichtenAbarbeiten(programm);
    const std::vector<UINT> vorn{W::kProfilbox, W::kNeuesProfil, W::kSeiten};
    const std::vector<UINT> hinten{W::kUebernehmen, W::kAbbrechen, W::kProgrammBeenden};
    std::vector<UINT> allgemein{W::kDateiname, W::kDurchsuchen, W::kDateiwahl};
    if (::IsWindowEnabled(programm.element(W::kWarnen)))
        allgemein.push_back(W::kWarnen);
    for (UINT id : {W::kHeader, W::kMaschinenwahl, W::kPort, W::kMonitorKnopf, W::kMaschinensuche,
                    W::kNeuAnmelden, W::kMaschinentest})
        allgemein.push_back(id);
    const std::pair<Seite, std::vector<UINT>> seiten[] = {
        {Seite::Allgemein, allgemein},
        {Seite::Datensatz,
         {W::kElementeliste, W::kHinzufuegen, W::kEntfernen, W::kDatensatzliste, W::kNachOben, W::kNachUnten,
          W::kZehntelringe, W::kTrennzeichenartwahl, W::kTrennzeichenliste}},
        {Seite::Info, {W::kInfo}},
    };
    bool reihenfolge = true;
    for (const auto& [seite, mitte] : seiten) {
        programm.zeigeSeite(seite);
        std::vector<UINT> erwartet = vorn;
        erwartet.insert(erwartet.end(), mitte.begin(), mitte.end());
        erwartet.insert(erwartet.end(), hinten.begin(), hinten.end());
        const std::vector<UINT> gegangen = tabRunde(programm);
        if (gegangen != erwartet) {
            reihenfolge = false;
            std::string ids;
            for (UINT id : gegangen) {
                ids += ' ';
                ids += std::to_string(id);
            }
            zeile("Tab ging:" + ids);
        }
    }
    pruefe(reihenfolge, "Einstellungsfenster: Tab geht Profilzeile, Seitenreiter, die Seite von oben links "
                        "nach unten rechts, die Knoepfe");

    // A name that cannot work is refused at "Übernehmen", with the error icon, and never reaches
    // the profile; "Abbrechen" shows the profile's name again.
    programm.zeigeSeite(Seite::Allgemein);
    HWND dateiname = programm.element(W::kDateiname);
    const std::wstring vorher = fensterText(dateiname);
    const std::string profilDatei = text(liste[liste.activeIndex()].Dateiname);
    ::SetWindowTextW(dateiname, L"C:\\Verein\\Protokoll?.rls");
    auto abgelehnt = std::make_shared<Gezeigt>();
    antworten(L"Fehler", IDOK, abgelehnt);
    klick(programm, W::kUebernehmen);
    pruefe(abgelehnt->text.find(L"kann nicht verwendet werden") != std::wstring::npos && abgelehnt->symbol &&
               ::IsWindowVisible(programm.einstellungsfenster()) &&
               text(liste[liste.activeIndex()].Dateiname) == profilDatei,
           "Einstellungsfenster: ein unbrauchbarer Dateiname wird mit Fehlersymbol abgelehnt, nicht "
           "uebernommen");
    klick(programm, W::kAbbrechen);
    pruefe(fensterText(dateiname) == vorher && !::IsWindowVisible(programm.einstellungsfenster()),
           "Einstellungsfenster: \"Abbrechen\" zeigt wieder den Dateinamen des Profils");

    // A series the file cannot take (its folder is missing): the box with the file, the reason and
    // the icon; the folder comes while the box is open, the retry writes the series and takes the
    // box away.
    const std::wstring ordner = utf8ZuWide(programm.Logik().Startverzeichnis()) + L"\\fehlt";
    const std::wstring datei = ordner + L"\\Protokoll1.rls";
    programm.Menuebefehl(W::kEinstellungen);
    nachrichtenAbarbeiten(programm);
    ::SetWindowTextW(dateiname, datei.c_str());
    klick(programm, W::kUebernehmen);
    struct Fehlerbox {
        Gezeigt gezeigt;
        bool offen = false;
        bool stehengeblieben = false;
    };
    auto box = std::make_shared<Fehlerbox>();
    MainThread::postDelayed(std::chrono::milliseconds(300), [box, ordner] {
        box->offen = offeneBox(L"Fehler", box->gezeigt) != nullptr;
        ::CreateDirectoryW(ordner.c_str(), nullptr);
    });
    MainThread::postDelayed(TProtokollAusgabe::Wiederholungsabstand + std::chrono::seconds(5), [box] {
        Gezeigt egal;
        if (HWND w = offeneBox(L"Fehler", egal)) {
            box->stehengeblieben = true;
            ::PostMessageW(w, WM_COMMAND, IDOK, 0);
        }
    });
    TSerienDatensatz serie;
    serie.Schusszahl = "1";
    serie.Schuesse.resize(1);
    serie.Schuesse[0].Ringwert = "104";
    serie.Schuesse[0].Teiler = "01234";
    programm.Logik().Pfad().Ausgabe().WriteSeries(serie);
    const std::wstring& gesagt = box->gezeigt.text;
    pruefe(box->offen && box->gezeigt.symbol &&
               gesagt.find(L"Kann Protokolldatei nicht \u00f6ffnen\r\n" + datei) == 0 &&
               gesagt.find(L"Systemfehler 3: nicht vorhanden") != std::wstring::npos,
           "Serie: die Datei geht nicht, die Meldung nennt Datei und Grund, mit Fehlersymbol");
    pruefe(!box->stehengeblieben && programm.Logik().Pfad().Ausgabe().queued() == 0,
           "Serie: nachgetragen, sobald die Datei geht; die Meldung ist dann weg");
    const std::string d = wideZuUtf8(datei);
    pruefe(lies(d) == "10,4;123,4;\n\n", "Serie: sie steht danach in der Datei");
    const auto protokoll = uebertragungslog();
    const std::string log = protokoll && protokoll->schreibenAbwarten() ? lies(protokoll->pfad()) : "";
    const std::size_t fehlerzeile = log.find("* Fehler: Kann Protokolldatei nicht \xC3\xB6"
                                             "ffnen: " +
                                             d + ": Systemfehler 3: nicht vorhanden");
    const std::size_t aufbewahrt = log.find(
        ", 1 Schuss, Datei " + d + ", aufbewahrt, bis die Datei wieder geschrieben werden kann", fehlerzeile);
    pruefe(fehlerzeile != std::string::npos && aufbewahrt != std::string::npos &&
               log.find("* Serie nachgetragen: Profil", aufbewahrt) != std::string::npos,
           "Uebertragungsprotokoll: Fehler der Datei, Serie aufbewahrt, Serie nachgetragen");

    programm.Menuebefehl(W::kEinstellungen);
    nachrichtenAbarbeiten(programm);
    ::SetWindowTextW(dateiname, ansiZuWide(profilDatei).c_str());
    klick(programm, W::kUebernehmen);
}

void ende() {
    if (const Win32Uebertragungsmonitor* monitor = Win32Uebertragungsmonitor::offen())
        ::PostMessageW(monitor->fenster(), WM_CLOSE, 0, 0);
    zeile("Selbsttest: " + std::to_string(g_fehler) + " Fehler");
    g_fertig = true;
}

// Whether the monitor's last line is in sight.
bool letzteZeileSichtbar(HWND anzeige) {
    const int zeilen = static_cast<int>(::SendMessageW(anzeige, EM_GETLINECOUNT, 0, 0));
    const LRESULT stelle = ::SendMessageW(
        anzeige, EM_POSFROMCHAR, ::SendMessageW(anzeige, EM_LINEINDEX, std::max(0, zeilen - 2), 0), 0);
    RECT innen{};
    ::GetClientRect(anzeige, &innen);
    const int y = static_cast<short>(HIWORD(stelle));
    return stelle != -1 && y >= 0 && y < innen.bottom;
}

void logZeilen(int anzahl) {
    for (int i = 0; i < anzahl; ++i)
        logEreignis("SELBSTTEST", "Zeile " + std::to_string(i));
}

// The monitor follows new lines, also past a line that brings the horizontal scroll bar; scrolled
// up by the user it stays where it is, and back at the end it follows again.
void monitorFolgt(HWND anzeige) {
    constexpr auto Warten = std::chrono::milliseconds(1000);
    logZeilen(60);
    logEreignis("SELBSTTEST", std::string(300, 'x'));
    logZeilen(20);
    MainThread::postDelayed(Warten, [anzeige] {
        pruefe(letzteZeileSichtbar(anzeige),
               "Uebertragungsmonitor: folgt den neuen Zeilen, auch nach einer langen");
        ::SendMessageW(anzeige, WM_VSCROLL, SB_PAGEUP, 0);
        const int oben = static_cast<int>(::SendMessageW(anzeige, EM_GETFIRSTVISIBLELINE, 0, 0));
        logZeilen(20);
        MainThread::postDelayed(Warten, [anzeige, oben] {
            pruefe(::SendMessageW(anzeige, EM_GETFIRSTVISIBLELINE, 0, 0) == oben &&
                       !letzteZeileSichtbar(anzeige),
                   "Uebertragungsmonitor: nach oben geblaettert bleibt die Anzeige stehen");
            ::SendMessageW(anzeige, WM_VSCROLL, SB_BOTTOM, 0);
            logZeilen(20);
            MainThread::postDelayed(Warten, [anzeige] {
                pruefe(letzteZeileSichtbar(anzeige), "Uebertragungsmonitor: am Ende folgt sie wieder");
                ende();
            });
        });
    });
}

} // namespace

void starten(Win32Programm& programm) {
    g_fehler = 0;
    g_fertig = false;
    menues(programm);
    einstellungsfenster(programm);
    gang(programm);
    zwischenablage(programm);
    ueberschreibwarnung();

    // The hand-over: delayed tasks run by their time, those of the same time in posting order,
    // and after the tasks posted at once.
    auto reihenfolge = std::make_shared<std::string>();
    MainThread::postDelayed(std::chrono::milliseconds(60), [reihenfolge] { *reihenfolge += 'c'; });
    MainThread::postDelayed(std::chrono::milliseconds(30), [reihenfolge] { *reihenfolge += 'a'; });
    MainThread::postDelayed(std::chrono::milliseconds(30), [reihenfolge] { *reihenfolge += 'b'; });
    MainThread::post([reihenfolge] { *reihenfolge += '0'; });
    MainThread::postDelayed(std::chrono::milliseconds(200), [reihenfolge] {
        pruefe(*reihenfolge == "0abc", "Hand-over: Reihenfolge " + *reihenfolge);
    });

    // The tray icon shows the machine connected once it has answered, and the icon for a machine
    // that is not connected could be drawn.
    MainThread::postDelayed(std::chrono::milliseconds(1500), [&programm] {
        pruefe(programm.zeigtVerbunden() && programm.trayTipp() == L"Ringlesemaschine" &&
                   programm.hatGetrenntSymbol(),
               "Symbol: die Maschine antwortet, die Zielscheibe ist nicht durchgestrichen");
    });

    // The monitor from the tray menu: the log of this run, with the machine's port in it, and
    // the lines written after its opening as well.
    programm.Menuebefehl(Win32Programm::kMonitor);
    logEreignis("SELBSTTEST", "Zeile nach dem \xC3\x96"
                              "ffnen");
    MainThread::postDelayed(
        std::chrono::milliseconds(2000), [port = std::string(text(programm.Liste()[0].Port))] {
            const Win32Uebertragungsmonitor* monitor = Win32Uebertragungsmonitor::offen();
            const std::wstring gezeigt = monitor ? monitor->text() : std::wstring();
            pruefe(monitor && ::IsWindowVisible(monitor->fenster()) &&
                       gezeigt.find(L" " + ansiZuWide(port) + L" ") != std::wstring::npos &&
                       gezeigt.find(L"SELBSTTEST * Zeile nach dem \u00d6ffnen") != std::wstring::npos,
                   "Uebertragungsmonitor: zeigt das Protokoll dieses Laufs und was danach kommt");
            if (monitor)
                monitorFolgt(monitor->element(Win32Uebertragungsmonitor::kAnzeige));
            else
                ende();
        });
}

int fehler() {
    return g_fertig ? g_fehler : -1;
}

} // namespace Selbsttest
