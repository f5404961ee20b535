#include "Headless.h"

#include "ConfigFile.h"
#include "EndRequests.h"
#include "InstanceLock.h"
#include "Maschinentabelle.h"
#include "PlainMainThread.h"
#include "PlatformFile.h"
#include "Profilliste.h"
#include "Programmlauf.h"
#include "Serienpfad.h"
#include "StderrDesktop.h"
#include "Verbindungswache.h"
#include "Win1252.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

namespace {

// Waits on its own thread for a request to end (SIGTERM, SIGINT, SIGHUP) and hands it to the
// main thread. Its wait is a poll on the request notifier and on a pipe that its destructor
// writes to.
class Endwache {
public:
    explicit Endwache(std::function<void()> beiEnde) : m_beiEnde(std::move(beiEnde)) {
        if (::pipe2(m_stop, O_CLOEXEC) != 0)
            m_stop[0] = m_stop[1] = -1;
        m_thread = std::thread([this] { warten(); });
    }
    ~Endwache() {
        if (m_stop[1] >= 0) {
            const char byte = 0;
            [[maybe_unused]] const ssize_t n = ::write(m_stop[1], &byte, 1);
        }
        m_thread.join();
        for (const int fd : m_stop)
            if (fd >= 0)
                ::close(fd);
    }
    Endwache(const Endwache&) = delete;
    Endwache& operator=(const Endwache&) = delete;

private:
    void warten() {
        const int notifier = static_cast<int>(platform::endRequestNotifier());
        if (notifier < 0 || m_stop[0] < 0)
            return nichtBeobachtet(errno);
        for (;;) {
            pollfd fds[2] = {{notifier, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return nichtBeobachtet(errno);
            }
            if (fds[1].revents != 0)
                return;
            if (fds[0].revents != 0 && platform::takeEndRequests())
                MainThread::post(m_beiEnde);
        }
    }

    // The service then only ends by SIGKILL: the one who stops it must know why.
    static void nichtBeobachtet(int fehler) {
        std::fprintf(stderr, "trefflux: SIGTERM, SIGINT und SIGHUP werden nicht beachtet: %s\n",
                     platform::systemErrorText(fehler).c_str());
    }

    std::function<void()> m_beiEnde;
    int m_stop[2] = {-1, -1};
    std::thread m_thread;
};

std::string aktuellesVerzeichnis() {
    std::error_code ec;
    const auto dir = std::filesystem::current_path(ec);
    return ec ? std::string(".") : dir.string();
}

// The profile's port as a device path.
std::string geraetepfad(const std::string& port) {
    return port.starts_with('/') ? port : "/dev/" + port;
}

} // namespace

std::string hilfetext() {
    return "Aufruf: trefflux-headless [OPTIONEN]\n"
           "       trefflux --headless [OPTIONEN]\n"
           "\n"
           "Trefflux ohne Fenster, als Dienst: holt jede Serie von der Ringlesemaschine des Profils\n"
           "und schreibt sie in dessen Protokolldatei. Die Einstellungen kommen aus TFXConf.cnf im\n"
           "Startverzeichnis (mit dem Fensterprogramm gemacht); die Datei wird nie geändert.\n"
           "Meldungen stehen als eine Zeile \"trefflux: ...\" in der Standardfehlerausgabe.\n"
           "\n"
           "  --profil NAME       das Profil dieses Namens (das erste, wenn mehrere so heißen);\n"
           "                      ohne: das erste Profil, wie beim Start des Fensterprogramms\n"
           "  --port GERÄT        diese Schnittstelle statt der des Profils, z. B. ttyUSB0,\n"
           "                      trefflux-1 oder /dev/serial/by-path/...\n"
           "  --protokoll DATEI   diese Protokolldatei statt der des Profils\n"
           "  --start-dir VERZ    das Startverzeichnis (dort liegt TFXConf.cnf); ohne: das\n"
           "                      aktuelle Verzeichnis\n"
           "  --help              diese Hilfe\n"
           "  --version           die Version\n"
           "\n"
           "Eine Schnittstelle, die fehlt oder verschwindet, und eine Maschine, die nicht antwortet,\n"
           "werden alle 5 Sekunden wieder versucht. SIGTERM, SIGINT und SIGHUP beenden das Programm,\n"
           "nachdem die Serie in Arbeit geschrieben ist.\n"
           "\n"
           "Rückgabewerte: 0 beendet; 2 falscher Aufruf, keine Konfigurationsdatei oder kein solches\n"
           "Profil; 3 die Schnittstelle wird schon von einem anderen Trefflux bedient; 1 sonst ein\n"
           "Fehler.\n";
}

std::optional<HeadlessOptionen> leseOptionen(const std::vector<std::string>& args, std::string& fehler) {
    HeadlessOptionen o;
    struct Wert {
        const char* name;
        std::optional<std::string> HeadlessOptionen::*feld;
    };
    static const Wert werte[] = {{"--profil", &HeadlessOptionen::profil},
                                 {"--port", &HeadlessOptionen::port},
                                 {"--protokoll", &HeadlessOptionen::protokoll},
                                 {"--start-dir", &HeadlessOptionen::startverzeichnis}};
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            o.hilfe = true;
            continue;
        }
        if (a == "--version") {
            o.version = true;
            continue;
        }
        const Wert* gefunden = nullptr;
        std::optional<std::string> wert;
        for (const Wert& w : werte) {
            const std::string name = w.name;
            if (a == name) {
                gefunden = &w;
                if (i + 1 < args.size())
                    wert = args[++i];
            } else if (a.starts_with(name + "=")) {
                gefunden = &w;
                wert = a.substr(name.size() + 1);
            }
        }
        if (!gefunden) {
            fehler = "Unbekannte Option: " + a;
            return std::nullopt;
        }
        if (!wert || wert->empty()) {
            fehler = std::string("Die Option ") + gefunden->name + " braucht einen Wert.";
            return std::nullopt;
        }
        if (o.*(gefunden->feld)) {
            fehler = std::string("Die Option ") + gefunden->name + " steht zweimal da.";
            return std::nullopt;
        }
        o.*(gefunden->feld) = std::move(wert);
    }
    return o;
}

int runHeadless(int argc, char** argv) {
    // First of all, so that a request to end during the start is kept.
    platform::installEndRequestHandlers();
    StderrDesktop ausgabe;
    setDesktop(&ausgabe);
    struct DesktopEnde {
        ~DesktopEnde() { setDesktop(nullptr); }
    } desktopEnde;
    // Texts from the command line and the system are UTF-8; the core speaks Windows-1252.
    const auto sagen = [&ausgabe](const std::string& utf8) { ausgabe.sagen(utf8ToWin1252(utf8)); };

    std::string fehler;
    const std::optional<HeadlessOptionen> optionen =
        leseOptionen(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc), fehler);
    if (!optionen) {
        sagen(fehler + " (trefflux-headless --help erklärt die Optionen)");
        return Ausgang::aufruf;
    }
    if (optionen->hilfe) {
        std::fputs(hilfetext().c_str(), stdout);
        return Ausgang::ok;
    }
    if (optionen->version) {
        std::puts("trefflux-headless " TREFFLUX_VERSION);
        return Ausgang::ok;
    }

    if (optionen->startverzeichnis) {
        std::error_code ec;
        std::filesystem::current_path(*optionen->startverzeichnis, ec);
        if (ec) {
            sagen("Das Startverzeichnis " + *optionen->startverzeichnis +
                  " geht nicht: " + platform::systemErrorText(ec.value()));
            return Ausgang::aufruf;
        }
    }
    const std::string startverzeichnis = aktuellesVerzeichnis();
    const std::string konfiguration = ConfigFile::path(startverzeichnis);

    Profilliste liste;
    switch (ConfigFile::versionTest(konfiguration)) {
    case ConfigFile::Version::Current:
        break;
    case ConfigFile::Version::Other:
        sagen("Die Konfigurationsdatei " + konfiguration +
              " wurde von einer anderen Programmversion erstellt; sie bleibt, wie sie ist.");
        return Ausgang::aufruf;
    default:
        sagen("Keine Konfigurationsdatei " + konfiguration +
              ". Sie wird mit dem Fensterprogramm gemacht und hierher kopiert.");
        return Ausgang::aufruf;
    }
    if (!ConfigFile::Load(konfiguration, liste)) {
        sagen("Die Konfigurationsdatei " + konfiguration + " enthält kein Profil.");
        return Ausgang::aufruf;
    }
    if (optionen->profil) {
        bool gefunden = false;
        for (std::size_t i = 0; i < liste.size() && !gefunden; ++i)
            if (win1252ToUtf8(text(liste[i].Name)) == *optionen->profil)
                gefunden = liste.select(i);
        if (!gefunden) {
            sagen("Kein Profil \"" + *optionen->profil + "\" in " + konfiguration + ".");
            return Ausgang::aufruf;
        }
    }
    Profil& profil = liste.aktiv();
    if (optionen->protokoll) {
        // Kept as it is given; only an over-long name is refused, never cut.
        if (!setText(profil.Dateiname, utf8ToWin1252(*optionen->protokoll))) {
            sagen("Der Name der Protokolldatei ist zu lang: " + *optionen->protokoll);
            return Ausgang::aufruf;
        }
    }
    const Maschinenart* art = maschinenart(profil.Maschine);
    if (!art) {
        sagen("Das Profil \"" + win1252ToUtf8(text(profil.Name)) + "\" nennt keine Ringlesemaschine.");
        return Ausgang::aufruf;
    }
    // Values the machine cannot work with: nothing is started.
    if (const std::string fehler = profilFehler(profil); !fehler.empty()) {
        ausgabe.sagen(fehler);
        return Ausgang::aufruf;
    }
    const std::string port = optionen->port ? utf8ToWin1252(*optionen->port) : text(profil.Port);

    // One instance per port, whichever user runs it.
    InstanceLock sperre(geraetepfad(win1252ToUtf8(port)), InstanceLock::Scope::port);
    if (!sperre.acquire()) {
        if (sperre.heldElsewhere()) {
            sagen("Die Schnittstelle " + win1252ToUtf8(port) +
                  " wird schon von einem anderen Trefflux benutzt.");
            return Ausgang::belegt;
        }
        sagen("Die Sperrdatei " + sperre.path() +
              " kann nicht angelegt werden: " + platform::systemErrorText(sperre.error()));
        return Ausgang::fehler;
    }

    // The transmission log of this port, named after it, until the end. One that cannot be
    // written is said once on standard error and otherwise left alone. The journal of this port:
    // what the machine hands over is on disk until it is written, and a restart after a crash
    // writes it.
    Programmlauf lauf;
    lauf.uebertragungslogStarten(win1252ToUtf8(port), {});
    lauf.serienjournalStarten(startverzeichnis, geraetepfad(win1252ToUtf8(port)), sagen);

    PlainMainThread mainThread;
    std::atomic<bool> beenden{false};
    Endwache endwache([&beenden] { beenden = true; });
    Serienpfad pfad(liste);
    pfad.Portvorgabe = port;
    Verbindungswache wache(pfad);

    ausgabe.sagen("Profil \"" + text(profil.Name) + "\": " + art->name + " an " + port + ", Protokolldatei " +
                  text(profil.Dateiname));
    pfad.Nachtragen(startverzeichnis);
    wache.neueAnmeldung();
    pfad.MaschineOeffnen();
    while (!beenden)
        mainThread.runUntil([&beenden] { return beenden.load(); }, std::chrono::hours(1));

    // The end: no new attempts; the machine is closed as at a normal close, then what it still
    // handed over is written.
    wache.beenden();
    pfad.MaschinenSchliessen();
    mainThread.processPending();
    const Serienpfad::Abschluss abschluss = pfad.Abschliessen(startverzeichnis, false);
    for (const std::string& text : abschluss.meldungen)
        ausgabe.sagen(text);
    for (const std::string& text : abschluss.fehler)
        ausgabe.sagen(text);
    ausgabe.sagen("Beendet.");
    return Ausgang::ok;
}
