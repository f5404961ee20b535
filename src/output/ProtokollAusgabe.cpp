#include "ProtokollAusgabe.h"

#include "Datensatzelemente.h"
#include "Desktop.h"
#include "Profilliste.h"
#include "Trennzeichen.h"
#include "Uebertragungslog.h"
#include "Win1252.h"

#include <algorithm>
#include <utility>

namespace {

using platform::FileError;
using platform::PlatformFile;

const char* const kTitelFehler = "Fehler";
const char* const kKannNichtOeffnen = "Kann Protokolldatei nicht \xF6"
                                      "ffnen";
const char* const kInZwischenablage = "Die Serie steht in der Zwischenablage. ";
const char* const kAufbewahrt = "Sie wird aufbewahrt und in die Datei geschrieben, sobald das wieder "
                                "m\xF6glich ist.";
const char* const kAbholen = "Sie wird nicht \xFC"
                             "berschrieben: die Serie und die folgenden werden aufbewahrt und "
                             "geschrieben, sobald das Auswerteprogramm die Datei abgeholt hat.";
const char* const kNotablageAnfang = "Trefflux-nicht-geschrieben-";

template <class F> class ScopeExit {
public:
    explicit ScopeExit(F f) : m_f(std::move(f)) {}
    ~ScopeExit() { m_f(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    F m_f;
};

// The system's reason for a failure, as text of the core.
std::string grundVon(const FileError& fehler) {
    if (fehler.full)
        return "Der Datentr\xE4ger ist voll.";
    return utf8ToWin1252(fehler.text);
}

std::string meldung(const char* kopf, const std::string& dateiname, const std::string& grund) {
    std::string text = kopf;
    if (!dateiname.empty())
        text += "\n\r" + dateiname;
    return text + "\n\r" + grund + "\n\r" + (desktop().hasClipboard() ? kInZwischenablage : "") + kAufbewahrt;
}

// Opens the protocol file for reading and writing, without sharing: a file that another program
// holds counts as one that cannot be opened. Never blocks. A name that cannot work is not tried
// at all. Returns a closed file with the reason on failure; fehler tells what failed.
PlatformFile oeffneOhneTeilen(const std::string& dateinameAnsi, PlatformFile::Create anlegen,
                              std::string& grund, FileError& fehler) {
    fehler = {};
    const std::string pfad = win1252ToUtf8(dateinameAnsi);
    grund = dateinameFehler(pfad);
    if (!grund.empty())
        return {};
    PlatformFile datei = PlatformFile::openExclusive(pfad, anlegen, fehler);
    if (fehler)
        grund = fehler.held ? "Die Datei wird gerade von einem anderen Programm benutzt." : grundVon(fehler);
    return datei;
}

} // namespace

TProtokollAusgabe::Stoerung TProtokollAusgabe::stoerung(const char* kopf, const std::string& dateiname,
                                                        const std::string& grund) {
    std::string zeile = kopf;
    if (!zeile.starts_with("Fehler"))
        zeile.insert(0, "Fehler: ");
    if (!dateiname.empty())
        zeile += ": " + dateiname;
    if (!grund.empty())
        zeile += ": " + grund;
    return {grund.empty() ? std::string(kopf) : meldung(kopf, dateiname, grund), win1252ToUtf8(zeile)};
}

TProtokollAusgabe::TProtokollAusgabe(Profilliste& profile, Kopfzeilenquelle kopfzeile)
    : m_profile(profile), m_kopfzeile(std::move(kopfzeile)) {}

TProtokollAusgabe::~TProtokollAusgabe() = default;

void TProtokollAusgabe::WriteSeries(const TSerienDatensatz& serie) {
    if (m_profile.empty()) {
        desktop().messageBox(kKannNichtOeffnen, kTitelFehler, Mb::Ok | Mb::IconError | Mb::SystemModal);
        return;
    }
    // The records are made now, in the layout in force when the series arrived; a series that
    // has to wait is written later exactly as it would have been now.
    const Profil& profil = m_profile.aktiv();
    Eintrag eintrag = formatieren(serie);
    m_zwischenablage = eintrag.zwischenablage;
    ++m_genommen;
    eintrag.port = text(profil.Port);
    eintrag.beschreibung = "Profil \xE2\x80\x9E" + win1252ToUtf8(text(profil.Name)) + "\xE2\x80\x9C, " +
                           std::to_string(serie.shotCount()) + " Schuss";
    eintrag.ankunft = std::time(nullptr);
    eintrag.ziel = m_zielvorgabe;
    if (m_journal)
        eintrag.journalNr = m_journal->serieAufnehmen(eintrag.ziel ? *eintrag.ziel : aktuellesZiel(),
                                                      eintrag.datei, eintrag.zwischenablage);

    // A series that arrives while another one is being written (from the event loop of the
    // overwrite warning) waits its turn; it is never dropped.
    m_warteschlange.push_back(std::move(eintrag));
    abarbeiten();
}

// The records of a series in the active profile's layout: each shot's elements with their
// separators, the shot separator; for the file also the series separator.
TProtokollAusgabe::Eintrag TProtokollAusgabe::formatieren(const TSerienDatensatz& serie) {
    const Profil& profil = m_profile.aktiv();
    const auto& trennzeichen = profil.Trennzeichen;
    const bool zehntelringe = profil.Zehntelringe != 0;
    Eintrag eintrag;
    const std::size_t anzahl = serie.shotCount();
    for (std::size_t i = 0; i < anzahl; ++i) {
        m_schussindex = static_cast<int32_t>(i);
        for (int8_t slot : profil.Datensatz) {
            const auto code = elementCode(slot);
            if (!code)
                continue;
            eintrag.zwischenablage += datensatzelement(*code)->Format(serie, i, zehntelringe);
            eintrag.zwischenablage += trennzeichenBytes(trennzeichen[tiDatensatzelement]);
        }
        eintrag.zwischenablage += trennzeichenBytes(trennzeichen[tiSchuss]);
    }
    m_schussindex = 0;
    eintrag.datei = eintrag.zwischenablage;
    eintrag.datei += trennzeichenBytes(trennzeichen[tiSerie]);
    return eintrag;
}

Serienjournal::Ziel TProtokollAusgabe::aktuellesZiel() {
    const Profil& profil = m_profile.aktiv();
    return {text(profil.Dateiname), profil.Dateimodus, profil.Warnen != 0,
            profil.Header != 0 ? kopfzeile() : std::string()};
}

void TProtokollAusgabe::Nachtragen(const std::vector<Serienjournal::Serie>& serien) {
    for (const Serienjournal::Serie& serie : serien) {
        Eintrag eintrag;
        eintrag.zwischenablage = serie.zwischenablage;
        eintrag.datei = serie.datei;
        eintrag.journalNr = serie.nr;
        eintrag.ziel = serie.ziel;
        eintrag.beschreibung = "aus dem letzten Lauf";
        eintrag.ankunft = std::time(nullptr);
        m_warteschlange.push_back(std::move(eintrag));
    }
    abarbeiten();
}

void TProtokollAusgabe::Wiederholen() {
    abarbeiten();
}

// Writes the series waiting, front first, until none is left or the file fails; then the
// series waiting are kept, each in the clipboard. The message comes last, once nothing is busy
// any more: its event loop may run the retry, which then writes at once.
void TProtokollAusgabe::abarbeiten() {
    if (m_busy)
        return; // the pass under way takes the series added
    std::string neueMeldung;
    {
        m_busy = true;
        ScopeExit frei([this] { m_busy = false; });
        while (!m_warteschlange.empty()) {
            // The front entry stays where it is while a dialog is open: entries are only added
            // behind it meanwhile, which leaves references into the deque valid.
            Eintrag& eintrag = m_warteschlange.front();
            Stoerung fehler;
            const Ergebnis ergebnis = writeOne(eintrag, fehler);
            if (ergebnis == Ergebnis::behalten) {
                // Told once until every series kept this way is written, not once per series.
                if (!std::exchange(m_abholungGemeldet, true))
                    neueMeldung = fehler.meldung;
                aufbewahren("bis das Auswerteprogramm die Datei abgeholt hat");
                break;
            }
            if (ergebnis == Ergebnis::fehlgeschlagen) {
                if (fehler.meldung != m_gemeldet) {
                    neueMeldung = m_gemeldet = fehler.meldung;
                    logEreignis(eintrag.port, fehler.logzeile);
                }
                aufbewahren("bis die Datei wieder geschrieben werden kann");
                break;
            }
            if (ergebnis == Ergebnis::geschrieben) {
                m_gemeldet.clear(); // the fault is over; a new one is told again
                setzeZwischenablage(eintrag);
            }
            if (m_journal && eintrag.journalNr != 0)
                m_journal->erledigt(eintrag.journalNr);
            m_warteschlange.pop_front(); // written, or the user kept the file's record
        }
        if (m_warteschlange.empty())
            m_abholungGemeldet = false;
    }
    if (m_warteschlange.empty()) {
        // Every kept series is in the file: what the user was told about them no longer holds.
        for (const std::string& text : std::exchange(m_angezeigt, {}))
            desktop().closeMessageBox(text);
    } else if (!m_wiederholungGeplant) {
        m_wiederholungGeplant = true;
        MainThread::postDelayedGuarded(Wiederholungsabstand, m_leben.watcher(), [this] {
            m_wiederholungGeplant = false;
            Wiederholen();
        });
    }
    if (!neueMeldung.empty()) {
        m_angezeigt.push_back(neueMeldung);
        desktop().messageBox(neueMeldung, kTitelFehler, Mb::Ok | Mb::IconError | Mb::SystemModal);
        // answered by the user, or taken away above by a later pass
        const auto offen = std::find(m_angezeigt.begin(), m_angezeigt.end(), neueMeldung);
        if (offen != m_angezeigt.end())
            m_angezeigt.erase(offen);
    }
}

std::string TProtokollAusgabe::zieldatei(const Eintrag& eintrag) const {
    if (eintrag.ziel)
        return eintrag.ziel->dateiname;
    return m_profile.empty() ? std::string() : text(m_profile.aktiv().Dateiname);
}

// The series waiting are kept until the file can take them: each is placed in the clipboard and
// logged once, however often it is tried again.
void TProtokollAusgabe::aufbewahren(const char* bis) {
    for (Eintrag& wartend : m_warteschlange) {
        setzeZwischenablage(wartend);
        if (!std::exchange(wartend.aufbewahrt, true))
            logEreignis(wartend.port, "Serie an die Ausgabe: " + wartend.beschreibung + ", Datei " +
                                          win1252ToUtf8(zieldatei(wartend)) + ", aufbewahrt, " + bis);
    }
}

std::string TProtokollAusgabe::wartendeSerien() const {
    if (m_warteschlange.empty())
        return {};
    constexpr std::size_t Hoechstens = 10;
    // The file named above the list; a series bound for another one names its own.
    const std::string datei = zieldatei(m_warteschlange.front());
    std::string liste = "Noch nicht geschrieben, f\xFCr die Protokolldatei";
    if (!datei.empty())
        liste += "\n\r" + datei;
    liste += ":";
    for (std::size_t i = 0; i < m_warteschlange.size() && i < Hoechstens; ++i) {
        const Eintrag& eintrag = m_warteschlange[i];
        const std::tm t = platform::localTime(eintrag.ankunft);
        char zeit[16];
        std::strftime(zeit, sizeof zeit, "%H:%M:%S", &t);
        liste += "\n\r" + std::string(zeit) + "  " + utf8ToWin1252(eintrag.beschreibung);
        if (const std::string eigene = zieldatei(eintrag); eigene != datei)
            liste += " (" + eigene + ")";
    }
    if (m_warteschlange.size() > Hoechstens)
        liste += "\n\rund " + std::to_string(m_warteschlange.size() - Hoechstens) + " weitere";
    return liste + "\n\rBeim Beenden kommen sie in eine Datei " + kNotablageAnfang +
           "\x85.rls im Startverzeichnis.";
}

void TProtokollAusgabe::setzeZwischenablage(Eintrag& eintrag) {
    if (std::exchange(eintrag.inZwischenablage, true))
        return; // a kept series is not placed a second time when it reaches the file
    const std::string& text = eintrag.zwischenablage;
    const std::size_t ende = text.find('\0');
    desktop().setClipboardText(ende == std::string::npos ? text : text.substr(0, ende));
}

TProtokollAusgabe::Ergebnis TProtokollAusgabe::writeOne(Eintrag& eintrag, Stoerung& fehler) {
    ScopeExit schliessen([this] { m_datei = PlatformFile(); });

    std::string dateiname;
    switch (openFile(eintrag, dateiname, fehler)) {
    case Oeffnen::offen:
        break;
    case Oeffnen::abgebrochen: // the user kept the existing record
        logEreignis(eintrag.port, "Serie nicht geschrieben: " + eintrag.beschreibung + ", Datei " +
                                      win1252ToUtf8(dateiname) +
                                      " bereits vorhanden, \xE2\x80\x9E"
                                      "Abbrechen\xE2\x80\x9C gew\xC3\xA4hlt");
        return Ergebnis::abgebrochen;
    case Oeffnen::behalten:
        return Ergebnis::behalten;
    case Oeffnen::fehlgeschlagen:
        return Ergebnis::fehlgeschlagen;
    }

    const std::size_t kopf = m_dateipuffer.size();
    m_dateipuffer += eintrag.datei;
    std::size_t bleibt = 0;
    const FileError err = flushAndClose(bleibt);
    if (!err) {
        logEreignis(eintrag.port, (eintrag.aufbewahrt ? "Serie nachgetragen: " : "Serie an die Ausgabe: ") +
                                      eintrag.beschreibung + ", Datei " + win1252ToUtf8(dateiname));
        return Ergebnis::geschrieben;
    }
    // What the file kept of a failed write (a pipe cannot take bytes back) is not written again.
    if (bleibt > kopf)
        eintrag.datei.erase(0, bleibt - kopf);
    fehler = stoerung("Fehler beim Schreiben der Protokolldatei", dateiname, grundVon(err));
    return Ergebnis::fehlgeschlagen;
}

// Opens or creates the file by the file mode of the entry's target, with the overwrite warning
// and the header line; leaves it open in m_datei. On failure, fehler is the message for the user.
TProtokollAusgabe::Oeffnen TProtokollAusgabe::openFile(const Eintrag& eintrag, std::string& dateiname,
                                                       Stoerung& fehler) {
    m_dateipuffer.clear();
    // The entry's own target, or the active profile's as it is at this moment.
    const auto keinZiel = [&] { return !eintrag.ziel && m_profile.empty(); };
    const auto ziel = [&] { return eintrag.ziel ? *eintrag.ziel : aktuellesZiel(); };
    if (keinZiel()) {
        fehler = stoerung(kKannNichtOeffnen);
        return Oeffnen::fehlgeschlagen;
    }
    std::string grund;
    FileError fehlerbild;
    bool neu = false;
    Serienjournal::Ziel z = ziel();
    if (z.dateimodus != 1) {
        // All records: append, creating the file if needed. Any mode other than 1 (a damaged
        // profile) is taken as this one, which never destroys a record.
        dateiname = z.dateiname;
        m_datei = oeffneOhneTeilen(dateiname, PlatformFile::Create::onlyNew, grund, fehlerbild);
        neu = m_datei.isOpen();
        if (!m_datei.isOpen() && fehlerbild.exists)
            m_datei = oeffneOhneTeilen(dateiname, PlatformFile::Create::no, grund, fehlerbild);
    } else {
        // Only one record: warn while the file exists (it holds a record the results program
        // has not taken yet), then replace it by an empty one. The profile is read afresh after
        // each dialog, as the user may have changed it meanwhile.
        while (!keinZiel() && (z = ziel()).warnen) {
            dateiname = z.dateiname;
            if (!oeffneOhneTeilen(dateiname, PlatformFile::Create::no, grund, fehlerbild).isOpen())
                break; // absent, or held by another program
            const int wahl = desktop().overwriteWarning(dateiname);
            if (wahl == mrAbort)
                return Oeffnen::abgebrochen;
            if (wahl == mrKeep) {
                fehler.meldung = "Datei\n\r" + dateiname + "\n\rbereits vorhanden !\n\r" + kAbholen;
                return Oeffnen::behalten;
            }
            if (wahl == mrIgnore)
                break;
        }
        if (keinZiel()) {
            fehler = stoerung(kKannNichtOeffnen);
            return Oeffnen::fehlgeschlagen;
        }
        z = ziel();
        dateiname = z.dateiname;
        // Truncate only once the lock is ours: a file another program holds stays untouched.
        m_datei = oeffneOhneTeilen(dateiname, PlatformFile::Create::always, grund, fehlerbild);
        if (m_datei.isOpen() && m_datei.isRegular()) {
            if (const FileError e = m_datei.truncate(0)) {
                grund = grundVon(e);
                m_datei = PlatformFile();
            }
        }
        neu = m_datei.isOpen();
    }
    if (!m_datei.isOpen()) {
        fehler = stoerung(kKannNichtOeffnen, dateiname, grund);
        return Oeffnen::fehlgeschlagen;
    }
    if (neu)
        m_dateipuffer = z.kopfzeile;
    return Oeffnen::offen;
}

// The header line: into the file only, never into the clipboard.
std::string TProtokollAusgabe::kopfzeile() {
    const Profil& profil = m_profile.aktiv();
    const std::vector<std::string> titel = m_kopfzeile ? m_kopfzeile() : datensatzTitel(profil);
    std::string zeile;
    for (const std::string& t : titel) {
        zeile += t;
        zeile += trennzeichenBytes(profil.Trennzeichen[tiDatensatzelement]);
    }
    zeile += trennzeichenBytes(profil.Trennzeichen[tiSchuss]);
    zeile += trennzeichenBytes(profil.Trennzeichen[tiSerie]);
    return zeile;
}

// Appends the collected bytes at the end of the file in one write and closes it. Returns the
// first failure, if any; bleibt is then how many of the bytes the file kept. A write that fails
// part-way is taken back from a regular file, so the results program never finds half a series.
FileError TProtokollAusgabe::flushAndClose(std::size_t& bleibt) {
    const int64_t anfang = m_datei.seekToEnd();
    std::size_t geschrieben = 0;
    FileError fehler = m_datei.writeAll(m_dateipuffer, geschrieben);
    // On disk before the journal lets the series go: after a power cut the file holds what it
    // was said to hold.
    if (!fehler && m_journal && m_datei.isRegular())
        fehler = m_datei.flushToDisk();
    bleibt = geschrieben;
    if (fehler && geschrieben > 0 && anfang >= 0 && m_datei.isRegular() && !m_datei.truncate(anfang))
        bleibt = 0;
    FileError schliessen = std::exchange(m_datei, PlatformFile()).close();
    return fehler ? fehler : schliessen;
}

namespace {

std::string eigenerDateiname(const std::string& startverzeichnis, const char* anfang, std::time_t zeitpunkt) {
    const std::tm t = platform::localTime(zeitpunkt);
    char stempel[32];
    std::strftime(stempel, sizeof stempel, "%Y%m%d-%H%M%S", &t);
    return startverzeichnis + "/" + anfang + stempel + ".rls";
}

} // namespace

std::string TProtokollAusgabe::notablageName(const std::string& startverzeichnis, std::time_t zeitpunkt) {
    return eigenerDateiname(startverzeichnis, kNotablageAnfang, zeitpunkt);
}

std::string TProtokollAusgabe::unvollstaendigName(const std::string& startverzeichnis,
                                                  std::time_t zeitpunkt) {
    return eigenerDateiname(startverzeichnis, "Trefflux-unvollstaendige-Serie-", zeitpunkt);
}

// Appends the records to a file of its own (with the header line when the profile has it on and
// the file is new) and flushes it to disk.
TProtokollAusgabe::Notablage TProtokollAusgabe::eigeneDateiSchreiben(const std::string& pfad,
                                                                     const std::string& daten) {
    Notablage ergebnis{pfad, {}};
    FileError fehler;
    PlatformFile datei = PlatformFile::openForAppending(pfad, fehler);
    if (fehler) {
        ergebnis.fehler = grundVon(fehler);
        return ergebnis;
    }
    std::string alles;
    if (!m_profile.empty() && m_profile.aktiv().Header != 0 && datei.size() == 0)
        alles = kopfzeile();
    alles += daten;
    std::size_t geschrieben = 0;
    fehler = datei.writeAll(alles, geschrieben);
    if (!fehler)
        fehler = datei.flushToDisk();
    const FileError schliessen = datei.close();
    if (fehler || schliessen)
        ergebnis.fehler = grundVon(fehler ? fehler : schliessen);
    return ergebnis;
}

TProtokollAusgabe::Notablage
TProtokollAusgabe::nichtGeschriebeneSichern(const std::string& startverzeichnis) {
    if (m_warteschlange.empty())
        return {};
    std::string daten;
    for (const Eintrag& eintrag : m_warteschlange)
        daten += eintrag.datei;
    const Notablage ergebnis =
        eigeneDateiSchreiben(notablageName(startverzeichnis, std::time(nullptr)), daten);
    if (!ergebnis.fehler.empty())
        return ergebnis;
    for (const Eintrag& eintrag : m_warteschlange)
        if (m_journal && eintrag.journalNr != 0)
            m_journal->erledigt(eintrag.journalNr);
    m_warteschlange.clear();
    return ergebnis;
}

TProtokollAusgabe::Notablage TProtokollAusgabe::unvollstaendigeSichern(const std::string& startverzeichnis,
                                                                       const TSerienDatensatz& serie) {
    if (m_profile.empty())
        return {};
    return eigeneDateiSchreiben(unvollstaendigName(startverzeichnis, std::time(nullptr)),
                                formatieren(serie).datei);
}

std::string TProtokollAusgabe::notablagenMeldung(const std::vector<std::string>& dateien) {
    std::string text =
        "Beim letzten Beenden konnten Serien nicht in die Protokolldatei geschrieben werden.\n\r"
        "Sie stehen in:";
    for (const std::string& datei : dateien)
        text += "\n\r" + utf8ToWin1252(datei);
    return text;
}
