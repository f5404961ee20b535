#include "Selbsttest.h"

#include "Desktop.h"
#include "MainThread.h"
#include "Uebertragungslog.h"
#include "Win32Desktop.h"
#include "Win32Programm.h"
#include "Win32Text.h"
#include "Win32Uebertragungsmonitor.h"

#include <commctrl.h>

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

    HMENU rechts = Win32Programm::PopupMenu1();
    UINT zustand = 0;
    pruefe(::GetMenuItemCount(rechts) == 4 && eintrag(rechts, 0) == L"&Einstellungen" &&
               eintrag(rechts, 1) == L"\u00dcbertragungs&monitor" &&
               (eintrag(rechts, 2, &zustand), zustand == 0xFFFF) && eintrag(rechts, 3) == L"&Beenden",
           "Rechtsklick: \"&Einstellungen\", \"Uebertragungs&monitor\", Trennlinie, \"&Beenden\"");
    pruefe(::GetMenuDefaultItem(rechts, FALSE, 0) == Win32Programm::kEinstellungen,
           "\"&Einstellungen\" ist der fett gezeigte Standardeintrag");
    ::DestroyMenu(rechts);

    const Profilliste& liste = programm.Liste();
    HMENU profile = programm.PopupMenu2Popup();
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
    profile = programm.PopupMenu2Popup();
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

// A message box of this program with this title is answered with the button, once it is open;
// what it said goes into text.
void antworten(const wchar_t* titel, int knopf, std::shared_ptr<std::wstring> text) {
    MainThread::postDelayed(std::chrono::milliseconds(300), [titel, knopf, text] {
        for (HWND w = ::FindWindowW(nullptr, titel); w; w = ::FindWindowExW(nullptr, w, nullptr, titel)) {
            DWORD prozess = 0;
            ::GetWindowThreadProcessId(w, &prozess);
            if (prozess != ::GetCurrentProcessId() || !::IsWindowVisible(w))
                continue;
            // The longest text of the box is its message.
            for (HWND kind = ::GetWindow(w, GW_CHILD); kind; kind = ::GetWindow(kind, GW_HWNDNEXT)) {
                const std::wstring t = fensterText(kind);
                if (t.size() > text->size())
                    *text = t;
            }
            ::PostMessageW(w, WM_COMMAND, static_cast<WPARAM>(knopf), 0);
            return;
        }
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
               ::SendMessageW(programm.element(Win32Programm::kMaschinenWahl + aktiv.Maschine), BM_GETCHECK,
                              0, 0) == BST_CHECKED,
           "Einstellungsfenster: Port, Dateiname, Profil und Maschine des aktiven Profils");
    pruefe(::SendMessageW(programm.element(Win32Programm::kTrennzeichen), LVM_GETITEMCOUNT, 0, 0) == 258 &&
               ::SendMessageW(programm.element(Win32Programm::kDatensatz), LVM_GETITEMCOUNT, 0, 0) == 2,
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
    auto gefragt = std::make_shared<std::wstring>();
    antworten(L"Hinweis", IDCANCEL, gefragt);
    klick(programm, Win32Programm::kProgrammBeenden);
    pruefe(*gefragt == L"Sollen die \u00c4nderungen \u00fcbernommen werden?" && !programm.Endet() &&
               ::IsWindowVisible(programm.einstellungsfenster()),
           "Einstellungsfenster: Beenden mit einer Aenderung fragt, ob sie uebernommen wird");
    klick(programm, Win32Programm::kAbbrechen);
    pruefe(fensterText(teilergrenze) == vorher && !::IsWindowVisible(programm.einstellungsfenster()),
           "Einstellungsfenster: \"Abbrechen\" zeigt wieder das Profil und schliesst");
}

} // namespace

void starten(Win32Programm& programm) {
    g_fehler = 0;
    g_fertig = false;
    menues(programm);
    einstellungsfenster(programm);
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
                ::PostMessageW(monitor->fenster(), WM_CLOSE, 0, 0);
            zeile("Selbsttest: " + std::to_string(g_fehler) + " Fehler");
            g_fertig = true;
        });
}

int fehler() {
    return g_fertig ? g_fehler : -1;
}

} // namespace Selbsttest
