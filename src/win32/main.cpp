// Trefflux for Windows: the program's entry.
//
//   trefflux.exe [--start-dir ORDNER] [--selbsttest]
//
// --start-dir makes the folder the start directory (environment variables such as %LOCALAPPDATA%
// are expanded; a missing folder is made), so that one installation serves every user of the
// computer. Without it the current directory is the start directory.

#include "Desktop.h"
#include "Einstellungslogik.h"
#include "PlatformFile.h"
#include "Profilliste.h"
#include "Programmlauf.h"
#include "Selbsttest.h"
#include "Win1252.h"
#include "Win32Desktop.h"
#include "Win32MainThread.h"
#include "Win32Programm.h"
#include "Win32Text.h"
#include "Win32Uebertragungsmonitor.h"

#include <shellapi.h>

#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

const char* const kLaeuftBereits = "Programm\n\rTrefflux.exe\n\rl\xE4uft bereits!";
const char* const kAufruf = "Aufruf: trefflux.exe [--start-dir Ordner] [--selbsttest]";

struct Angaben {
    std::wstring startordner;
    bool selbsttest = false;
    std::string fehler; // Windows-1252; empty when the command line is right
};

Angaben angabenLesen() {
    Angaben angaben;
    int anzahl = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &anzahl);
    for (int i = 1; argv && i < anzahl; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--start-dir" && i + 1 < anzahl && argv[i + 1][0] != L'\0') {
            angaben.startordner = argv[++i];
        } else if (a == L"--selbsttest") {
            angaben.selbsttest = true;
        } else {
            angaben.fehler = "Unbekannte Angabe \"" + wideZuAnsi(a) + "\".\n\r" + kAufruf;
            break;
        }
    }
    ::LocalFree(argv);
    return angaben;
}

std::wstring umgebungEinsetzen(const std::wstring& text) {
    const DWORD n = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (n == 0)
        return text;
    std::wstring out(n, L'\0');
    ::ExpandEnvironmentStringsW(text.c_str(), out.data(), n);
    out.resize(n - 1);
    return out;
}

// Makes the folder (and what is missing above it) and goes there; the reason when it cannot.
std::string insStartverzeichnis(const std::wstring& angabe) {
    const std::filesystem::path ordner(umgebungEinsetzen(angabe));
    std::error_code ec;
    std::filesystem::create_directories(ordner, ec);
    if (!ec && !::SetCurrentDirectoryW(ordner.c_str()))
        ec = std::error_code(static_cast<int>(::GetLastError()), std::system_category());
    if (!ec)
        return {};
    return "Der Startordner\n\r" + wideZuAnsi(ordner.wstring()) + "\n\rkann nicht angelegt oder ge\xF6" +
           "ffnet werden:\n\r" + utf8ToWin1252(platform::systemErrorText(ec.value()));
}

std::string aktuellesVerzeichnis() {
    std::wstring puffer(::GetCurrentDirectoryW(0, nullptr), L'\0');
    const DWORD n = ::GetCurrentDirectoryW(static_cast<DWORD>(puffer.size()), puffer.data());
    puffer.resize(n);
    // "C:\" keeps its backslash; the files are joined to it with one of their own.
    if (puffer.size() > 1 && puffer.back() == L'\\')
        puffer.pop_back();
    return n ? wideZuUtf8(puffer) : std::string(".");
}

int starten(const Angaben& angaben) {
    if (!angaben.fehler.empty()) {
        desktop().messageBox(angaben.fehler, "Fehler", Mb::Ok | Mb::IconError);
        return 2;
    }
    // 1. single instance, 2. start directory, 3. version test; the transmission log and the
    // journal of this instance lie in %LOCALAPPDATA%\Trefflux.
    const auto startverzeichnis = [&angaben]() -> std::optional<std::string> {
        if (!angaben.startordner.empty()) {
            const std::string fehler = insStartverzeichnis(angaben.startordner);
            if (!fehler.empty()) {
                desktop().messageBox(fehler, "Fehler", Mb::Ok | Mb::IconError);
                return std::nullopt;
            }
        }
        return aktuellesVerzeichnis();
    };
    Programmlauf lauf;
    if (const std::optional<int> ende = lauf.fensterprogrammStarten({kLaeuftBereits, startverzeichnis, {}}))
        return *ende;

    // 4. and 5. the program with its tray icon, profiles and machine
    Profilliste profile;
    Win32Programm programm(profile, lauf.Startverzeichnis());
    // 7. the settings come up when the logic wants them
    if (programm.Logik().FensterBeimStart() && !angaben.selbsttest)
        MainThread::post([&programm] { programm.EinstellungenClick(); });
    if (angaben.selbsttest)
        MainThread::post([&programm] { Selbsttest::starten(programm); });

    // 8. the loop, until the program ends
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (programm.dialogNachricht(msg) || Win32Uebertragungsmonitor::dialogNachricht(msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    programm.Logik().Abschliessen(!programm.OhneFragen()); // someone is there to read it
    if (angaben.selbsttest)
        return Selbsttest::fehler() < 0 ? 1 : Selbsttest::fehler();
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const Angaben angaben = angabenLesen();
    try {
        Win32MainThread mainThread;
        Win32Desktop fenster(mainThread.fenster());
        try {
            return starten(angaben);
        } catch (const std::exception& e) {
            desktop().messageBox(utf8ToWin1252(e.what()), "Fehler", Mb::Ok | Mb::IconError);
        } catch (...) {
            desktop().messageBox("Unbekannte Exception", "Fehler", Mb::Ok | Mb::IconError);
        }
    } catch (const std::exception& e) {
        ::MessageBoxW(nullptr, utf8ZuWide(e.what()).c_str(), L"Fehler", MB_OK | MB_ICONERROR);
    }
    return 1;
}
