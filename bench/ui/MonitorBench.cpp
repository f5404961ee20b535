// The time the window "Übertragungsmonitor" takes to open on a full log file (1 MiB, the size at
// which the log is rotated): from its construction until it is on screen with the last 10,000
// lines shown and coloured. Prints the figure beside its target; never fails.
//
// With "--zeigen FILE" it shows the monitor on that file until it is closed (for a screenshot).

#include "Uebertragungslog.h"
#include "Uebertragungsmonitor.h"

#include "Figures.h"
#include "ScratchDir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>

#include <cstdlib>
#include <fstream>

namespace {

// A full log file: idle polling folded, series, events and errors, as the program writes them.
std::string volleDatei(const ScratchDir& ordner) {
    Uebertragungslog::Optionen optionen;
    optionen.ordner = ordner.path();
    optionen.hoechstgroesse = 1ull << 40; // one file, filled to 1 MiB below
    Uebertragungslog log(optionen);
    const std::string block = "\x02SAM 4000\r         LG\r   1\r  02\r10.4\r123.4\r 0\r    0\r    9.7\r 5.0\r"
                              "   0\r    0\r    \x17L";
    const char enq = 0x05, nak = 0x15, ack = 0x06;
    std::ifstream groesse;
    for (int i = 0;; ++i) {
        log.daten("ttyUSB0", Uebertragungslog::zurMaschine, &enq, 1);
        log.daten("ttyUSB0", Uebertragungslog::vonDerMaschine, block.data(), block.size());
        log.ereignisMelden("ttyUSB0",
                           "Serie an die Ausgabe: Profil \xE2\x80\x9EVerein\xE2\x80\x9C, 2 Schuss, "
                           "Datei /home/verein/Protokoll1.rls");
        log.daten("ttyUSB0", Uebertragungslog::zurMaschine, &ack, 1);
        if (i % 7 == 0)
            log.ereignisMelden("ttyUSB0", "Fehler: die Maschine antwortet nicht (Fehlercode 0)");
        log.daten("ttyUSB0", Uebertragungslog::zurMaschine, &enq, 1);
        log.daten("ttyUSB0", Uebertragungslog::vonDerMaschine, &nak, 1);
        if (i % 500 == 0) {
            log.schreibenAbwarten();
            std::ifstream datei(log.pfad(), std::ios::ate | std::ios::binary);
            if (datei.tellg() >= 1024 * 1024)
                break;
        }
    }
    log.schreibenAbwarten();
    return log.pfad();
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    if (argc == 3 && std::string(argv[1]) == "--zeigen") {
        Uebertragungsmonitor monitor(QString::fromLocal8Bit(argv[2]));
        monitor.show();
        return QApplication::exec();
    }

    const ScratchDir ordner("bench");
    const std::string pfad = volleDatei(ordner);
    std::ifstream datei(pfad, std::ios::ate | std::ios::binary);
    const auto bytes = static_cast<long>(datei.tellg());

    QElapsedTimer uhr;
    uhr.start();
    Uebertragungsmonitor monitor(QString::fromStdString(pfad));
    monitor.show();
    QApplication::processEvents();
    const double ms = static_cast<double>(uhr.nsecsElapsed()) / 1e6;
    const int zeilen = monitor.anzeige()->blockCount();
    bench::below("open the Uebertragungsmonitor on a full log file",
                 bench::format("%.0f ms (%ld bytes, %d lines shown)", ms, bytes, zeilen), ms, 1000, "ms");
    return 0;
}
