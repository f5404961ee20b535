#include "Serienpfad.h"

#include "Desktop.h"
#include "PlatformFile.h"
#include "Profilliste.h"
#include "Win1252.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include <thread>
#include <utility>

std::string portfehlerText(const EComPort& e, const std::string& port) {
    const std::string text = utf8ToWin1252(schnittstellenfehler(e, win1252ToUtf8(port)));
    return e.ErrorCode() == ecOpen ? text : "Ein Schnittstellenfehler ist aufgetreten!\n\r" + text;
}

std::string portfehlerGrund(const EComPort& e) {
    if (e.ErrorCode() == ecOpen && e.WinCode() > 0)
        return utf8ToWin1252(platform::systemErrorText(e.WinCode()));
    return "Schnittstellenfehler";
}

bool keineBerechtigung(const EComPort& e) {
#ifdef _WIN32
    (void)e;
    return false; // Windows refuses a port in use with "access denied": no question of permission
#else
    return e.ErrorCode() == ecOpen && e.WinCode() == EACCES;
#endif
}

const char* const DialoutHinweis = "Der Benutzer darf die Schnittstelle nicht \xF6"
                                   "ffnen. Er muss in der Gruppe \x84"
                                   "dialout\x93 sein (adduser BENUTZERNAME dialout)\n\r"
                                   "und sich danach ab- und wieder anmelden; siehe die Kurzanleitung "
                                   "im README, \x84Installieren\x93.";

std::string portfehlerMeldung(const EComPort& e, const std::string& port) {
    std::string text = portfehlerText(e, port);
    if (keineBerechtigung(e))
        text += std::string("\n\r") + DialoutHinweis;
    return text;
}

Serienpfad::Serienpfad(Profilliste& liste, TProtokollAusgabe::Kopfzeilenquelle kopfzeile,
                       Komponenten komponenten)
    : m_liste(liste), m_ausgabe(std::make_unique<TProtokollAusgabe>(liste, std::move(kopfzeile))),
      m_journal(serienjournal()) {
    const Maschinenteil::Umfeld umfeld{liste, *m_ausgabe};
    for (const Maschinenart& art : maschinentabelle()) {
        std::unique_ptr<TMachineComponent> gegeben;
        if (const auto it = komponenten.find(art.nummer); it != komponenten.end())
            gegeben = std::move(it->second);
        m_teile.push_back(art.machen(umfeld, std::move(gegeben)));
        Maschinenteil& teil = *m_teile.back();
        TMachineComponent& com = teil.komponente();
        // Each component starts on "COM1"; the profile's port is set when it is opened.
        com.SetPort("COM1");
        com.OnData = [&teil](TCustomComPort*, std::string Data) { teil.daten(Data); };
        com.OnError = [this](TCustomComPort* Sender, std::int32_t ErrorCode) { TfxError(Sender, ErrorCode); };
        // A notice leaves the port open: the machine goes on.
        com.OnHinweis = [](TCustomComPort*, std::string Text) {
            desktop().messageBox(Text, "Hinweis", Mb::Ok | Mb::IconInformation);
        };
    }

    if (m_journal) {
        m_ausgabe->setJournal(m_journal.get());
        for (const Maschinenart& art : maschinentabelle()) {
            m_ablagen.push_back(std::make_unique<Ablage>(*m_journal, art.quelle));
            Komponente(art.nummer).SetDataKeeper(m_ablagen.back().get());
        }
    }
}

Serienpfad::~Serienpfad() {
    MaschinenSchliessen();
    for (const auto& teil : m_teile)
        teil->komponente().SetDataKeeper(nullptr);
}

Maschinenteil& Serienpfad::Teil(std::int32_t nummer) const {
    const std::span<const Maschinenart> tabelle = maschinentabelle();
    for (std::size_t i = 0; i < tabelle.size(); ++i) {
        if (tabelle[i].nummer == nummer)
            return *m_teile[i];
    }
    throw std::out_of_range("no machine " + std::to_string(nummer));
}

std::uint64_t Serienpfad::Ablage::Keep(const std::string& data) {
    return m_journal.aufnehmen(m_quelle, data);
}

void Serienpfad::Ablage::Handle(std::uint64_t kept, const std::function<void()>& onData) {
    {
        const Serienjournal::Bearbeitung bearbeitung(m_journal, m_quelle, kept);
        onData();
    }
    m_journal.bearbeitet(m_quelle, kept);
    m_bearbeitet = kept;
}

Serienpfad::Ablage& Serienpfad::ablage(Serienjournal::Quelle quelle) {
    return **std::find_if(m_ablagen.begin(), m_ablagen.end(),
                          [quelle](const auto& a) { return a->quelle() == quelle; });
}

void Serienpfad::ZielMelden() {
    if (m_journal && !m_liste.empty())
        m_journal->setZiel(m_ausgabe->aktuellesZiel());
}

namespace {

const char* const kUnsauberBeendet = "Trefflux wurde zuletzt nicht ordnungsgem\xE4\xDF beendet.";

std::string serienText(std::uint64_t anzahl) {
    return std::to_string(anzahl) + (anzahl == 1 ? " Serie" : " Serien");
}

} // namespace

void Serienpfad::Nachtragen(const std::string& startverzeichnis) {
    if (!m_journal || m_liste.empty())
        return;
    Serienjournal::Nachlass nachlass = m_journal->nachlassNehmen();
    // The series per protocol file, in the order the files first come.
    std::vector<std::pair<std::string, std::uint64_t>> jeDatei;
    const auto zaehle = [&jeDatei](const std::string& datei, std::uint64_t anzahl) {
        if (anzahl == 0)
            return;
        auto it =
            std::find_if(jeDatei.begin(), jeDatei.end(), [&](const auto& e) { return e.first == datei; });
        if (it == jeDatei.end())
            jeDatei.emplace_back(datei, anzahl);
        else
            it->second += anzahl;
    };
    for (const Serienjournal::Serie& serie : nachlass.serien)
        zaehle(serie.ziel.dateiname, 1);
    m_ausgabe->Nachtragen(nachlass.serien);
    // Pieces the main thread had not handled go through their handlers now, to the target in
    // force when they came. The machine is not open yet: nothing comes in between.
    for (const Serienjournal::Stueck& stueck : nachlass.stuecke) {
        const std::uint64_t vorher = m_ausgabe->Genommen();
        m_ausgabe->setZielvorgabe(stueck.ziel);
        const auto art = std::find_if(maschinentabelle().begin(), maschinentabelle().end(),
                                      [&stueck](const Maschinenart& a) { return a.quelle == stueck.quelle; });
        if (art == maschinentabelle().end()) // a machine this program does not know
            continue;
        Maschinenteil& teil = Teil(art->nummer);
        ablage(stueck.quelle).Handle(stueck.nr, [&] { teil.daten(stueck.daten); });
        m_ausgabe->setZielvorgabe(std::nullopt);
        zaehle(stueck.ziel.dateiname, m_ausgabe->Genommen() - vorher);
    }
    Abschluss unvollstaendig;
    unvollstaendigeSichern(startverzeichnis, unvollstaendig);

    std::vector<std::string> teile = std::move(nachlass.meldungen);
    if (!jeDatei.empty() || !unvollstaendig.meldungen.empty() || !unvollstaendig.fehler.empty()) {
        std::string text = kUnsauberBeendet;
        if (!jeDatei.empty()) {
            std::uint64_t alle = 0;
            for (const auto& [datei, anzahl] : jeDatei)
                alle += anzahl;
            text += "\n\r" + serienText(alle) +
                    (alle == 1 ? ", die die Maschine schon \xFC"
                                 "bergeben hatte, wird"
                               : ", die die Maschine schon \xFC"
                                 "bergeben hatte, werden") +
                    " jetzt in die Protokolldatei geschrieben:";
            for (const auto& [datei, anzahl] : jeDatei)
                text += "\n\r" + datei + (jeDatei.size() > 1 ? " (" + serienText(anzahl) + ")" : "");
        }
        for (const std::string& teil : unvollstaendig.meldungen)
            text += "\n\r" + teil;
        for (const std::string& teil : unvollstaendig.fehler)
            text += "\n\r" + teil;
        teile.insert(teile.begin(), text);
    }
    std::string meldung;
    for (const std::string& teil : teile)
        meldung += (meldung.empty() ? "" : "\n\r\n\r") + teil;
    if (!meldung.empty())
        desktop().messageBox(meldung, "Meldung", Mb::Ok | Mb::IconWarning);
}

void Serienpfad::unvollstaendigeSichern(const std::string& startverzeichnis, Abschluss& abschluss) {
    for (const Maschinenart& art : maschinentabelle()) {
        Maschinenteil& teil = Teil(art.nummer);
        if (!teil.serieOffen())
            continue;
        const TSerienDatensatz serie = teil.offeneSerieNehmen();
        const std::size_t anzahl = serie.Schuesse.size();
        const TProtokollAusgabe::Notablage datei = m_ausgabe->unvollstaendigeSichern(startverzeichnis, serie);
        const std::string maschine = art.name;
        const std::string schuesse = std::to_string(anzahl) + (anzahl == 1 ? " Schuss" : " Sch\xFCsse");
        if (!datei.fehler.empty()) {
            abschluss.fehler.push_back("Die Serie der " + maschine + " war noch nicht zu Ende. Ihre " +
                                       schuesse + " konnten nicht in der Datei\n\r" +
                                       utf8ToWin1252(datei.pfad) + "\n\rgesichert werden:\n\r" +
                                       datei.fehler);
            continue;
        }
        abschluss.meldungen.push_back("Die Serie der " + maschine + " war noch nicht zu Ende: " + schuesse +
                                      (anzahl == 1 ? " steht" : " stehen") + " in der Datei\n\r" +
                                      utf8ToWin1252(datei.pfad) + "\n\rund nicht in der Protokolldatei.");
        if (m_journal)
            m_journal->verbraucht(art.quelle, ablage(art.quelle).Bearbeitet());
    }
}

Serienpfad::Abschluss Serienpfad::Abschliessen(const std::string& startverzeichnis, bool amNaechstenStart) {
    Abschluss abschluss;
    const TProtokollAusgabe::Notablage notablage = m_ausgabe->nichtGeschriebeneSichern(startverzeichnis);
    if (!notablage.pfad.empty() && notablage.fehler.empty())
        abschluss.meldungen.push_back(amNaechstenStart
                                          ? TProtokollAusgabe::notablagenMeldung({notablage.pfad})
                                          : "Serien, die nicht in die Protokolldatei geschrieben "
                                            "werden konnten, stehen in\n\r" +
                                                utf8ToWin1252(notablage.pfad));
    else if (!notablage.pfad.empty())
        abschluss.fehler.push_back("Nicht geschriebene Serien konnten nicht in der Datei\n\r" +
                                   utf8ToWin1252(notablage.pfad) + "\n\rgesichert werden:\n\r" +
                                   notablage.fehler);
    unvollstaendigeSichern(startverzeichnis, abschluss);
    if (m_journal) {
        if (amNaechstenStart)
            for (const std::string& meldung : abschluss.meldungen)
                m_journal->spaeterMelden(meldung);
        abschluss.gemerkt = amNaechstenStart;
        // The process may be ended right after this (the end of a session).
        m_journal->sichernAbwarten();
    }
    return abschluss;
}

void Serienpfad::MaschinenSchliessen() {
    for (const Maschinenart& art : maschinentabelle()) {
        try {
            Komponente(art.nummer).Close();
        } catch (const EComPort&) {
            // a port that fails while closing is closed as far as it goes
        }
    }
}

std::string Serienpfad::Port() const {
    return Portvorgabe.empty() ? text(m_liste.aktiv().Port) : Portvorgabe;
}

const Maschinenart* Serienpfad::Maschine() const {
    return maschinenart(m_liste.aktiv().Maschine);
}

bool Serienpfad::MaschineOeffnen() {
    ZielMelden();
    const Profil& profil = m_liste.aktiv();
    const Maschinenart* art = maschinenart(profil.Maschine);
    if (!art) // no machine: no port is opened
        return true;
    // Values the machine cannot work with: its port stays closed, and the user is told which
    // it takes. Trying again would not help.
    if (const std::string fehler = profilFehler(profil); !fehler.empty()) {
        MaschinenSchliessen();
        if (VorSchnittstellenfehler)
            VorSchnittstellenfehler();
        desktop().messageBox(fehler, "Fehler", Mb::Ok | Mb::IconError);
        return false;
    }
    const std::string port = Port();
    Maschinenteil& teil = Teil(art->nummer);
    TMachineComponent& com = teil.komponente();
    try {
        com.SetPort(port);
        if (art->einstellen)
            art->einstellen(teil, profil);
        com.Open();
        return true;
    } catch (const EComPort& e) {
        MaschinenSchliessen();
        if (Verbindungsfehler) {
            Verbindungsfehler(Ausfall::Schnittstelle, portfehlerMeldung(e, port), portfehlerGrund(e));
            return false;
        }
        if (VorSchnittstellenfehler)
            VorSchnittstellenfehler();
        desktop().messageBox(portfehlerMeldung(e, port), "Fehler", Mb::Ok | Mb::IconError);
        return false;
    }
}

void Serienpfad::MaschineAnmelden() {
    MaschinenSchliessen();
    std::this_thread::sleep_for(Anmeldepause);
    MaschineOeffnen();
}

void Serienpfad::TfxError(TCustomComPort*, std::int32_t) {
    if (VorMaschinenfehler && !Verbindungsfehler)
        VorMaschinenfehler();
    MaschinenSchliessen();
    // The text follows the active profile's machine, whichever component reported.
    const Maschinenart* art = maschinenart(m_liste.aktiv().Maschine);
    if (!art)
        return;
    const std::string meldung = std::string(art->name) + " an " + Port() + "\n\rnicht gefunden!";
    if (Verbindungsfehler)
        Verbindungsfehler(Ausfall::Maschine, meldung, "keine Antwort");
    else
        desktop().messageBox(meldung, "Fehler", Mb::Ok | Mb::IconError | Mb::SystemModal);
}
