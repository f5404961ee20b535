#include "Verbindungswache.h"

#include "Desktop.h"
#include "MachineComponent.h"
#include "PlatformFile.h"
#include "Uebertragungslog.h"
#include "Win1252.h"

#include <cstdio>
#include <ctime>

namespace {

// "14:03:12"
std::string uhrzeit(std::chrono::system_clock::time_point zeit) {
    const std::tm t = platform::localTime(std::chrono::system_clock::to_time_t(zeit));
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

} // namespace

Verbindungswache::Verbindungswache(Serienpfad& pfad) : m_pfad(pfad) {
    m_pfad.Verbindungsfehler = [this](Serienpfad::Ausfall ausfall, const std::string& meldung,
                                      const std::string& grund) { verloren(ausfall, meldung, grund); };
    for (const Maschinenart& art : maschinentabelle()) {
        TMachineComponent& com = m_pfad.Komponente(art.nummer);
        com.OnAnswer = [this, &com](TCustomComPort*) { antwort(com); };
    }
}

Verbindungswache::~Verbindungswache() {
    m_pfad.Verbindungsfehler = nullptr;
    for (const Maschinenart& art : maschinentabelle())
        m_pfad.Komponente(art.nummer).OnAnswer = nullptr;
}

TMachineComponent* Verbindungswache::komponente() const {
    const Maschinenart* art = m_pfad.Maschine();
    return art ? &m_pfad.Komponente(art->nummer) : nullptr;
}

void Verbindungswache::neueAnmeldung() {
    m_aktiv = true;
    m_verloren = false;
    m_grund.clear();
    ++m_anmeldungen;
}

bool Verbindungswache::anmeldungNoetig() const {
    const TMachineComponent* com = komponente();
    return com && (!com->Connected() || com->Answer() == TMachineAnswer::Silent);
}

bool Verbindungswache::verbunden() const {
    const TMachineComponent* com = komponente();
    return m_pausen == 0 && com && com->Connected() && com->Answer() == TMachineAnswer::Answering;
}

std::string Verbindungswache::grund(const TMachineComponent* com) const {
    if (m_pausen > 0)
        return m_pause;
    if (!m_aktiv)
        return "nicht angemeldet";
    if (!com)
        return "keine Ringlesemaschine gew\xE4hlt";
    if (!com->Connected())
        return m_grund.empty() ? "nicht angemeldet" : m_grund;
    return com->Answer() == TMachineAnswer::Waiting ? "wartet auf Antwort" : "keine Antwort";
}

std::string Verbindungswache::tipp() const {
    const TMachineComponent* com = komponente();
    std::string zuletzt;
    if (com && !com->PollsItsMachine())
        if (const auto zeit = com->LastAnswer())
            zuletzt = "zuletzt geantwortet " + uhrzeit(*zeit);
    if (verbunden())
        return zuletzt.empty() ? "Ringlesemaschine" : "Ringlesemaschine (" + zuletzt + ")";
    return "Ringlesemaschine: nicht verbunden (" + m_pfad.Port() + ": " + grund(com) +
           (zuletzt.empty() ? "" : ", " + zuletzt) + ")";
}

void Verbindungswache::zustandMelden() const {
    if (Zustandswechsel)
        Zustandswechsel();
}

void Verbindungswache::verloren(Serienpfad::Ausfall ausfall, const std::string& meldung,
                                const std::string& grund) {
    m_grund = grund;
    // During a test or search the ports are theirs; the machine comes back at its end.
    if (m_beendet || m_pausen > 0) {
        zustandMelden();
        return;
    }
    planen();
    const bool sagen = !m_verloren;
    m_verloren = true;
    zustandMelden();
    if (!sagen)
        return;
    const auto& vorher =
        ausfall == Serienpfad::Ausfall::Maschine ? m_pfad.VorMaschinenfehler : m_pfad.VorSchnittstellenfehler;
    if (vorher)
        vorher();
    const bool satzende = !meldung.empty() && (meldung.back() == '.' || meldung.back() == '!');
    // The box may stay open for long: the attempts go on meanwhile.
    desktop().messageBox(meldung + (satzende ? "" : ".") + "\n\rNeuer Versuch alle 5 Sekunden.", "Fehler",
                         Mb::Ok | Mb::IconError |
                             (ausfall == Serienpfad::Ausfall::Maschine ? Mb::SystemModal : 0u));
}

void Verbindungswache::antwort(const TMachineComponent& com) {
    const bool zurueck = &com == komponente() && verbunden() && m_verloren && !m_beendet;
    if (zurueck) {
        m_verloren = false;
        m_grund.clear();
    }
    zustandMelden(); // the icon first: the message shows beside it
    if (!zurueck)
        return;
    const std::string text =
        std::string(m_pfad.Maschine()->name) + " an " + m_pfad.Port() + " ist wieder verbunden.";
    logEreignis(com.LogName(), win1252ToUtf8(text));
    desktop().trayMessage(text, "Info");
}

void Verbindungswache::planen() {
    if (m_versuchGeplant)
        return;
    m_versuchGeplant = true;
    MainThread::postDelayedGuarded(NeuerVersuch, m_leben.watcher(), [this] {
        m_versuchGeplant = false;
        versuchen();
    });
}

void Verbindungswache::versuchen() {
    if (m_beendet || m_pausen > 0 || !m_aktiv)
        return;
    const TMachineComponent* com = komponente();
    if (!com || com->Connected()) // signed on by somebody else meanwhile
        return;
    m_pfad.MaschineOeffnen(); // a failure comes back through Verbindungsfehler
    zustandMelden();
}

Verbindungswache::Pause::Pause(Verbindungswache& wache, std::string was, std::function<void()> zurueckgeben)
    : m_wache(wache), m_zurueckgeben(std::move(zurueckgeben)), m_anmeldungen(wache.m_anmeldungen) {
    if (m_wache.m_pausen++ == 0)
        m_wache.m_pause = std::move(was);
    m_wache.zustandMelden();
}

Verbindungswache::Pause::~Pause() {
    if (--m_wache.m_pausen > 0)
        return;
    const TMachineComponent* com = m_wache.komponente();
    if (m_wache.m_aktiv && !m_wache.m_beendet && m_wache.m_anmeldungen == m_anmeldungen && com &&
        !com->Connected() && m_zurueckgeben)
        m_zurueckgeben();
    m_wache.zustandMelden();
}
