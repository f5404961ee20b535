#include "Serienpfad.h"

#include "Desktop.h"
#include "PlatformFile.h"
#include "Profilliste.h"
#include "Win1252.h"

#include <algorithm>
#include <cerrno>

#include <thread>
#include <utility>

namespace {

template <class T> std::unique_ptr<T> oderNeu(std::unique_ptr<T> komponente) {
    return komponente ? std::move(komponente) : std::make_unique<T>();
}

} // namespace

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
    : RikaCom(oderNeu(std::move(komponenten.rika))), SamCom(oderNeu(std::move(komponenten.sam))),
      DisagCom(oderNeu(std::move(komponenten.disag))), m_liste(liste),
      m_ausgabe(std::make_unique<TProtokollAusgabe>(liste, std::move(kopfzeile))),
      m_disagDaten(std::make_unique<DisagDaten>(liste, *m_ausgabe)), m_journal(serienjournal()) {
    // Each component starts on "COM1"; the profile's port is set when it is opened.
    for (const Maschinenart& art : maschinentabelle())
        art.komponente(*this).SetPort("COM1");
    RikaCom->Einstellungen().SetZehntelwertung(zwZRT);
    TDisagEinstellstring& disag = DisagCom->Einstellstring();
    disag.SetRingauswertung(raZR);
    disag.SetTeilerauswertung(taZT);
    disag.SetTeilergrenze("250");
    disag.SetScheibenschusszahl("1");
    disag.SetGesamtschusszahl("10");
    disag.SetZwischensummenschusszahl("0");
    disag.SetTeilermarkierung(false);
    disag.SetScheibentext("Text");

    for (const Maschinenart& art : maschinentabelle()) {
        art.verbinden(*this);
        TMachineComponent& com = art.komponente(*this);
        com.OnError = [this](TCustomComPort* Sender, std::int32_t ErrorCode) { TfxError(Sender, ErrorCode); };
        // A notice leaves the port open: the machine goes on.
        com.OnHinweis = [](TCustomComPort*, std::string Text) {
            desktop().messageBox(Text, "Hinweis", Mb::Ok | Mb::IconInformation);
        };
    }

    if (m_journal) {
        m_ausgabe->setJournal(m_journal.get());
        using Q = Serienjournal::Quelle;
        const std::pair<TMachineComponent*, Q> quellen[] = {
            {SamCom.get(), Q::sam}, {RikaCom.get(), Q::rika}, {DisagCom.get(), Q::disag}};
        for (const auto& [com, quelle] : quellen) {
            m_ablagen.push_back(std::make_unique<Ablage>(*m_journal, quelle));
            com->SetDataKeeper(m_ablagen.back().get());
        }
    }
}

Serienpfad::~Serienpfad() {
    MaschinenSchliessen();
    for (const Maschinenart& art : maschinentabelle())
        art.komponente(*this).SetDataKeeper(nullptr);
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
        ablage(stueck.quelle).Handle(stueck.nr, [&] {
            if (stueck.quelle == Serienjournal::Quelle::sam)
                SamComData(stueck.daten);
            else if (stueck.quelle == Serienjournal::Quelle::rika)
                RikaComData(stueck.daten);
            else
                DisagComData(stueck.daten);
        });
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
    if (m_disagDaten->SchussListe().empty())
        return;
    const TSerienDatensatz serie = m_disagDaten->offeneSerieNehmen();
    const std::size_t anzahl = serie.Schuesse.size();
    const TProtokollAusgabe::Notablage datei = m_ausgabe->unvollstaendigeSichern(startverzeichnis, serie);
    const std::string maschine = maschinenart(maDisag) ? maschinenart(maDisag)->name : "Disag";
    const std::string schuesse = std::to_string(anzahl) + (anzahl == 1 ? " Schuss" : " Sch\xFCsse");
    if (!datei.fehler.empty()) {
        abschluss.fehler.push_back("Die Serie der " + maschine + " war noch nicht zu Ende. Ihre " + schuesse +
                                   " konnten nicht in der Datei\n\r" + utf8ToWin1252(datei.pfad) +
                                   "\n\rgesichert werden:\n\r" + datei.fehler);
        return;
    }
    abschluss.meldungen.push_back("Die Serie der " + maschine + " war noch nicht zu Ende: " + schuesse +
                                  (anzahl == 1 ? " steht" : " stehen") + " in der Datei\n\r" +
                                  utf8ToWin1252(datei.pfad) + "\n\rund nicht in der Protokolldatei.");
    if (m_journal)
        m_journal->verbraucht(Serienjournal::Quelle::disag,
                              ablage(Serienjournal::Quelle::disag).Bearbeitet());
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

// The SAM and Rika handlers keep no state between series: each call decodes one series and
// hands it to the protocol writer.
void Serienpfad::SamComData(const std::string& Data) {
    SamRikaDaten(*m_ausgabe).SamComData(Data);
}

void Serienpfad::RikaComData(const std::string& Data) {
    SamRikaDaten(*m_ausgabe).RikaComData(Data);
}

void Serienpfad::DisagComData(const std::string& Data) {
    m_disagDaten->DisagComData(Data);
}

void Serienpfad::DisagComEdit(std::int32_t Schussnr, std::string& Ringwert) {
    m_disagDaten->DisagComEdit(Schussnr, Ringwert);
}

void Serienpfad::MaschinenSchliessen() {
    for (const Maschinenart& art : maschinentabelle()) {
        try {
            art.komponente(*this).Close();
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
    const std::string port = Port();
    TMachineComponent& com = art->komponente(*this);
    try {
        com.SetPort(port);
        if (art->einstellen)
            art->einstellen(*this, profil);
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
