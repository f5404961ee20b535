// trefflux-sim: plays a scoring machine for Trefflux, on a pseudo-terminal or a serial device.

#include "DisagMachine.h"
#include "RikaMachine.h"
#include "SimCommands.h"
#include "SimKinds.h"
#include "SimLine.h"
#include "SimTalker.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iostream>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

void printHelp(std::ostream& out) {
    out << "trefflux-sim spielt eine Ringlesemaschine, damit Trefflux (und das Auswerteprogramm\n"
           "des Vereins) ohne echte Maschine ausprobiert werden kann.\n"
           "\n"
           "Aufruf:\n"
           "  trefflux-sim MASCHINE [--port GER\xC3\x84T] [--datei DATEI] [--log DATEI] [SERIE ...]\n"
           "\n"
           "MASCHINE ist eine von:\n";
    for (const SimKind& kind : simKinds())
        out << "  " << kind.name << std::string(8 - std::strlen(kind.name), ' ') << kind.title << "\n";
    out << "\n"
           "Ohne --port legt trefflux-sim eine neue Schnittstelle an und zeigt ihren Namen,\n"
           "zum Beispiel \"Port: pts/4\". In Trefflux auf der Seite \"Allgemeine Einstellungen\"\n"
           "diesen Namen unter \"Schnittstelle\" eintippen, dann \"Maschinensuche\" und die Frage\n"
           "mit \"Ja\" beantworten (oder die Ringlesemaschine selbst w\xC3\xA4hlen), dann\n"
           "\"\xC3\x9C"
           "bernehmen\". Welche Werte ein Datensatz enth\xC3\xA4lt, steht auf der Seite\n"
           "\"Datensatz-Einstellungen\" (\"> Hinzuf\xC3\xBCgen >\").\n"
           "\n"
           "Optionen:\n"
           "  --port GER\xC3\x84T   eine echte serielle Schnittstelle benutzen, z. B. /dev/ttyUSB0\n"
           "                 (mit einem Nullmodemkabel zum Rechner, auf dem Trefflux l\xC3\xA4uft)\n"
           "  --datei DATEI  Serien und Befehle aus einer Textdatei, eine je Zeile\n"
           "  --log DATEI    das Protokoll der Zeichen in eine Datei statt auf den Bildschirm\n"
           "  --stumm        die Maschine antwortet zu Beginn nicht (bis zum Befehl antwort)\n"
           "  --version TEXT (nur rika) der Versionstext der Maschine, Vorgabe 0150\n"
           "  --pruefzeichen-falsch N\n"
           "                 (nur sam) die ersten N gesendeten Bl\xC3\xB6"
           "cke haben ein falsches\n"
           "                 Pr\xC3\xBC"
           "fzeichen (wie gest\xC3\xB6rt); nach NAK sendet die Maschine\n"
           "                 den Block sofort noch einmal\n"
           "  --zeile-beschaedigt N[xK]\n"
           "                 (nur disag) die N-te Zeile, die die Maschine sendet (ab 1, die\n"
           "                 Antwort auf TYP mitgez\xC3\xA4hlt), kommt K-mal (ohne xK einmal)\n"
           "                 besch\xC3\xA4"
           "digt an; nach jedem NAK sendet die Maschine sie noch einmal\n"
           "  --schuesse-je-zeile N\n"
           "                 (nur disag) bis zu N Sch\xC3\xBCsse einer Serie in einer Zeile, wie\n"
           "                 auf einer Scheibe mit mehreren Sch\xC3\xBCssen\n"
           "  --abbruch      die erste Serie bricht nach der H\xC3\xA4lfte ab (wie nach einem\n"
           "                 Zur\xC3\xBC"
           "cksetzen der Maschine); danach bietet sie sie neu an\n"
           "  --help         diese Hilfe\n"
           "\n"
           "Jede SERIE auf der Befehlszeile wartet in der Maschine, bis Trefflux sie abholt.\n"
           "Die Disag sendet ganze Ringe, wenn Trefflux sie verlangt (RIA=GR, \"1/10 Ringe\" aus).\n"
           "W\xC3\xA4hrend trefflux-sim l\xC3\xA4uft, kann man Serien und Befehle eintippen (mit Enter):\n"
        << SimCommandHelp
        << "\n"
           "Jedes Zeichen, das Trefflux schickt, wird mit Uhrzeit und hexadezimal angezeigt\n"
           "(<- empfangen, -> gesendet). Beenden mit \"ende\" oder Strg+C.\n"
           "\n"
           "Beispiel:\n"
           "  trefflux-sim sam \"LG 1 10.4/123.4/12/-5 9.7/5.0/0/3\"\n";
}

// A count of up to six digits.
bool countOf(const std::string& text, std::size_t& count) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    count = std::stoul(text);
    return true;
}

// "3" (line 3, once) or "3x2" (line 3, twice).
bool lineAndCopies(const std::string& text, std::size_t& number, std::size_t& copies) {
    const std::size_t x = text.find('x');
    copies = 1;
    return countOf(text.substr(0, x), number) && number > 0 &&
           (x == std::string::npos || (countOf(text.substr(x + 1), copies) && copies > 0));
}

int usage(const std::string& message) {
    std::cerr << "trefflux-sim: " << message << "\n(trefflux-sim --help zeigt, wie es geht)\n";
    return 2;
}

// Waits for a signal up to the time; true when one came.
bool signalWithin(int signalFd, int timeoutMs) {
    pollfd fd{signalFd, POLLIN, 0};
    return ::poll(&fd, 1, timeoutMs) > 0;
}

// Runs one command line; false when trefflux-sim should end.
bool run(SimLine& line, const std::string& text, int signalFd, const std::string& where) {
    const SimCommand command = parseSimCommand(text);
    switch (command.kind) {
    case SimCommand::Quit:
        return false;
    case SimCommand::Invalid:
        std::cerr << where << command.error << "\n";
        return true;
    case SimCommand::Wait:
        return !signalWithin(signalFd, static_cast<int>(command.wait.count()));
    default:
        applySimCommand(line, command);
        return true;
    }
}

} // namespace

int main(int argc, char* argv[]) {
    std::string kindName, device, script, logFile, version;
    bool silent = false, cut = false;
    std::size_t damaged = 0, shotsPerLine = 0;
    std::vector<std::pair<std::size_t, std::size_t>> damagedLines; // line number, copies
    std::vector<std::string> series;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&](std::string& target) {
            if (i + 1 >= argc)
                return false;
            target = argv[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h" || arg == "hilfe") {
            printHelp(std::cout);
            return 0;
        } else if (arg == "--port") {
            if (!value(device))
                return usage("--port braucht ein Ger\xC3\xA4t, z. B. --port /dev/ttyUSB0");
        } else if (arg == "--datei" || arg == "--script") {
            if (!value(script))
                return usage("--datei braucht einen Dateinamen");
        } else if (arg == "--log") {
            if (!value(logFile))
                return usage("--log braucht einen Dateinamen");
        } else if (arg == "--version") {
            if (!value(version))
                return usage("--version braucht einen Text");
        } else if (arg == "--pruefzeichen-falsch") {
            std::string count;
            if (!value(count) || !countOf(count, damaged))
                return usage("--pruefzeichen-falsch braucht eine Anzahl, z. B. --pruefzeichen-falsch 4");
        } else if (arg == "--zeile-beschaedigt") {
            std::string text;
            std::size_t number = 0, copies = 1;
            if (!value(text) || !lineAndCopies(text, number, copies))
                return usage("--zeile-beschaedigt braucht eine Zeilennummer, z. B. --zeile-beschaedigt 3 "
                             "oder 3x2 (zweimal)");
            damagedLines.emplace_back(number, copies);
        } else if (arg == "--schuesse-je-zeile") {
            std::string count;
            if (!value(count) || !countOf(count, shotsPerLine) || shotsPerLine == 0)
                return usage("--schuesse-je-zeile braucht eine Anzahl, z. B. --schuesse-je-zeile 2");
        } else if (arg == "--abbruch") {
            cut = true;
        } else if (arg == "--stumm" || arg == "--silent") {
            silent = true;
        } else if (arg.rfind("--", 0) == 0) {
            return usage("unbekannte Option " + arg);
        } else if (kindName.empty()) {
            kindName = arg;
        } else {
            series.push_back(arg);
        }
    }
    if (kindName.empty())
        return usage("welche Maschine? z. B.: trefflux-sim sam");
    const SimKind* kind = findSimKind(kindName);
    if (!kind)
        return usage("unbekannte Maschine \"" + kindName + "\"");

    std::unique_ptr<SimMachine> machine = kind->make();
    if (!version.empty()) {
        auto* rika = dynamic_cast<RikaMachine*>(machine.get());
        if (!rika)
            return usage("--version gibt es nur f\xC3\xBCr rika");
        rika->setVersion(version);
    }
    if (!damagedLines.empty() || shotsPerLine > 0) {
        auto* disag = dynamic_cast<DisagMachine*>(machine.get());
        if (!disag)
            return usage("--zeile-beschaedigt und --schuesse-je-zeile gibt es nur f\xC3\xBCr disag");
        for (const auto& [number, copies] : damagedLines)
            disag->damageLine(number, copies);
        if (shotsPerLine > 0)
            disag->setShotsPerLine(shotsPerLine);
    }
    machine->setSilent(silent);
    machine->damageNextChecks(damaged);
    if (cut)
        machine->cutNextBlock(false);
    for (const std::string& s : series) {
        const SimCommand command = parseSimCommand(s);
        if (command.kind != SimCommand::Series)
            return usage("Serie \"" + s + "\": " + (command.error.empty() ? "keine Serie" : command.error));
        if (auto* talker = dynamic_cast<SimTalker*>(machine.get()))
            talker->queueSeries(command.series); // sent once the program is there
        else
            machine->queue(command.series);
    }

    std::ofstream logStream;
    if (!logFile.empty()) {
        logStream.open(logFile, std::ios::app);
        if (!logStream)
            return usage("Logdatei " + logFile +
                         " kann nicht ge\xC3\xB6"
                         "ffnet werden");
    }

    // Ctrl+C and SIGTERM end the program in order: they are read from a descriptor.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);

    std::string error;
    std::unique_ptr<SimLine> line = device.empty()
                                        ? SimLine::openPty(std::move(machine), error)
                                        : SimLine::openDevice(device, kind->baud, std::move(machine), error);
    if (!line) {
        std::cerr << "trefflux-sim: " << error << "\n";
        return 1;
    }
    line->setLog(logFile.empty() ? static_cast<std::ostream*>(&std::cout) : &logStream);
    std::cout << "Port: " << line->portName() << "\n" << kind->title << " bereit. ";
    std::cout << "In Trefflux " << kind->profileHint << " w\xC3\xA4hlen und als Schnittstelle "
              << line->portName() << " eintragen.\n";
    std::cout << std::flush;
    line->start();

    bool running = true;
    if (!script.empty()) {
        std::ifstream in(script);
        if (!in) {
            std::cerr << "trefflux-sim: Datei " << script << " kann nicht gelesen werden\n";
            running = false;
        }
        std::string text;
        for (int number = 1; running && std::getline(in, text); ++number)
            running = run(*line, text, signalFd, script + ", Zeile " + std::to_string(number) + ": ");
    }

    bool readInput = true;
    std::string pending;
    while (running) {
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {readInput ? STDIN_FILENO : -1, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents & POLLIN)
            break;
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buffer[1024];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) {
                readInput = false; // no keyboard (started in the background): run until a signal
                continue;
            }
            pending.append(buffer, static_cast<std::size_t>(n));
            for (std::size_t end; running && (end = pending.find('\n')) != std::string::npos;) {
                const std::string text = pending.substr(0, end);
                pending.erase(0, end + 1);
                running = run(*line, text, signalFd, "");
            }
            if (pending.size() > 4096)
                pending.clear();
        }
    }
    line->stop();
    std::cout << "trefflux-sim beendet.\n";
    return 0;
}
