#include "Programmlauf.h"

#include "ConfigFile.h"
#include "Desktop.h"
#include "InstanceLock.h"
#include "MainThread.h"
#include "Serienjournal.h"
#include "Uebertragungslog.h"
#include "Win1252.h"

#include <cstdio>

namespace {

// The name of the window programs' guard; a club's other tools may look for it.
const char* const kSperre = "DuzavozozMutex";

// A log or journal that cannot be written: on standard error at once, and in a message box
// once the main thread gets to it.
void meldenMitFenster(const std::string& text) {
    std::fprintf(stderr, "trefflux: %s\n", text.c_str());
    MainThread::post(
        [text] { desktop().messageBox(utf8ToWin1252(text), "Hinweis", Mb::Ok | Mb::IconWarning); });
}

} // namespace

Programmlauf::Programmlauf() = default;

Programmlauf::~Programmlauf() {
    // The guard is released only once the journal is closed: the next instance takes it over.
    if (m_journal)
        setSerienjournal(nullptr);
    if (m_sperre)
        m_sperre->release();
    if (m_log)
        setUebertragungslog(nullptr);
}

std::optional<int> Programmlauf::fensterprogrammStarten(const Fensterstart& start) {
    // 1. single instance: nothing else happens on this path
    m_sperre = std::make_unique<InstanceLock>(kSperre);
    if (!m_sperre->acquire()) {
        if (m_sperre->heldElsewhere())
            desktop().messageBox(start.laeuftBereits, "Meldung", Mb::Ok);
        else
            desktop().messageBox(m_sperre->fehlertext(), "Fehler", Mb::Ok | Mb::IconError);
        return 0;
    }
    uebertragungslogStarten({}, meldenMitFenster);

    // 2. start directory (any length), 3. version test
    const std::optional<std::string> verzeichnis = start.startverzeichnis();
    if (!verzeichnis)
        return 1;
    m_startverzeichnis = *verzeichnis;
    if (!ConfigFile::startPruefung(ConfigFile::path(m_startverzeichnis)))
        return 0;
    if (start.endeVerlangt && start.endeVerlangt())
        return 0;
    // What the machine hands over is on disk until it is written.
    serienjournalStarten(m_startverzeichnis, {}, meldenMitFenster);
    return std::nullopt;
}

void Programmlauf::uebertragungslogStarten(std::string_view port,
                                           std::function<void(const std::string&)> melden) {
    m_log = true;
    ::uebertragungslogStarten(port, std::move(melden));
}

void Programmlauf::serienjournalStarten(const std::string& startverzeichnis, std::string_view port,
                                        std::function<void(const std::string&)> melden) {
    m_journal = true;
    ::serienjournalStarten(startverzeichnis, port, std::move(melden));
}
