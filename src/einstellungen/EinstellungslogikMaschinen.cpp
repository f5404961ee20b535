// The machine of the active profile: signing it on, and the buttons "Maschinentest" and
// "Maschinensuche" on the page "Allgemeine Einstellungen": whether the chosen machine answers
// on the chosen port, and which machine answers on which port.
//
// Both buttons run on the main thread; each test performs its machine's short handshake with
// fixed pauses, so the window does not react until the last one returned. A port that cannot be
// opened (missing, or held by another program) does not end the search; when no machine is
// found, the message says for each port why.

#include "Einstellungslogik.h"

#include "Maschinensuche.h"
#include "Serienpfad.h"
#include "Verbindungswache.h"

#include "Desktop.h"
#include "Profilliste.h"
#include "Win1252.h"

#include <algorithm>
#include <thread>

namespace {

// The hourglass while the machines are tried; put back for every message and on every way out.
class Sanduhr {
public:
    explicit Sanduhr(Einstellungsansicht& ansicht) : m_ansicht(ansicht) { an(); }
    ~Sanduhr() { aus(); }
    Sanduhr(const Sanduhr&) = delete;
    Sanduhr& operator=(const Sanduhr&) = delete;

    void an() {
        if (!m_an)
            m_ansicht.sanduhr(true);
        m_an = true;
    }
    void aus() {
        if (m_an)
            m_ansicht.sanduhr(false);
        m_an = false;
    }

private:
    Einstellungsansicht& m_ansicht;
    bool m_an = false;
};

} // namespace

void Einstellungslogik::MaschineOeffnen() {
    m_pfad->MaschineOeffnen();
}

void Einstellungslogik::MaschinenSchliessen() {
    m_pfad->MaschinenSchliessen();
}

void Einstellungslogik::MaschineAnmelden() {
    if (m_anmeldungAusstehend) {
        m_anmeldungAusstehend = false;
        m_ansicht.zeigeErsteinrichtungHinweis(false);
    }
    m_wache->neueAnmeldung();
    MaschinenSchliessen();
    std::this_thread::sleep_for(Serienpfad::Anmeldepause);
    MaschineOeffnen();
    m_wache->zustandMelden();
}

void Einstellungslogik::MaschineZurueckgeben() {
    MaschinenSchliessen();
    MaschineOeffnen();
}

void Einstellungslogik::meldePortfehler(const std::string& text) {
    m_ansicht.frage(win1252ToUtf8(text), "Fehler", Mb::Ok | Mb::IconError);
}

void Einstellungslogik::MaschinentestClick() {
    const Maschinenart* art = maschinenart(m_ansicht.wahl(Wahl::Maschine));
    if (!art)
        return;
    // However the test ends, the active profile's machine comes back.
    const Verbindungswache::Pause pause(*m_wache, "Maschinentest l\xE4uft",
                                        [this] { MaschineZurueckgeben(); });
    TMachineComponent& com = m_pfad->Komponente(art->nummer);
    com.SetConnected(false);
    const std::string port = m_ansicht.port();
    const std::string ansiPort = utf8ToWin1252(port);
    com.SetPort(port);

    Testausgang ausgang;
    {
        Sanduhr sanduhr(m_ansicht);
        ausgang = maschineTesten(*art, *m_pfad);
    }
    if (!ausgang.geoeffnet)
        meldePortfehler(ausgang.portfehler);
    else if (ausgang.kennung)
        m_ansicht.frage(win1252ToUtf8(art->testGefunden(*ausgang.kennung, ansiPort)), "Info",
                        Mb::Ok | Mb::IconInformation);
    else
        m_ansicht.frage(win1252ToUtf8(testNichtGefundenMeldung(*art, ausgang, ansiPort)), "Fehler",
                        Mb::Ok | Mb::IconError);
}

std::vector<std::string> Einstellungslogik::suchPorts() const {
    const std::vector<std::string> gelistet = m_ansicht.gelistetePorts();
    std::vector<std::string> ports;
    const std::string gezeigt = m_ansicht.port();
    if (!gezeigt.empty() && std::find(gelistet.begin(), gelistet.end(), gezeigt) == gelistet.end())
        ports.push_back(gezeigt);
    ports.insert(ports.end(), gelistet.begin(), gelistet.end());
    return ports;
}

void Einstellungslogik::MaschinensucheClick() {
    // However the search ends, the active profile's machine comes back: the one found, after "Ja".
    const Verbindungswache::Pause pause(*m_wache, "Maschinensuche l\xE4uft",
                                        [this] { MaschineZurueckgeben(); });
    Suchergebnis ergebnis;
    {
        Sanduhr sanduhr(m_ansicht);
        ergebnis = maschinenSuchen(*m_pfad, suchPorts());
    }
    if (!ergebnis.gefunden) {
        m_ansicht.frage(win1252ToUtf8(ergebnis.text), "Info Maschinensuche", Mb::Ok | Mb::IconError);
        return;
    }
    if (m_ansicht.frage(win1252ToUtf8(ergebnis.text), "Info Maschinensuche", Mb::YesNo) != IdYes)
        return;
    if (!portnamePasst(ergebnis.port))
        return;
    Profil& p = m_liste.aktiv();
    p.Maschine = ergebnis.maschine;
    m_ansicht.zeigeWahl(Wahl::Maschine, ergebnis.maschine);
    MaschinenwahlClick(ergebnis.maschine);
    setText(p.Port, ergebnis.port);
    m_ansicht.zeigePort(ergebnis.port);
    ProfileGeaendert();
}
