#pragma once

#include "MainThread.h"
#include "PlatformFile.h"
#include "SerienDatensatz.h"
#include "Serienjournal.h"

#include <chrono>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class Profilliste;

// Writes every series of shots to the protocol file of the active profile and places the same
// text (without header line and series separator) in the clipboard, where a club's results
// program picks it up. One instance lives as long as the settings window. Main thread only.
//
// The file is held exclusively while a series is written, so a results program that
// locks it the same way reads it only between two series; a file someone else holds cannot be
// opened. The overwrite warning and every message box run a nested event loop in which machine
// data keeps arriving: a series that reaches WriteSeries meanwhile is queued and written after
// the current one, in arrival order, each with its own file handling and clipboard update.
//
// A series that cannot reach the file (a missing folder, a read-only or held file, a full disk,
// a file name that cannot work) is never lost: it goes into the clipboard at once and is kept,
// in order, ahead of every later series, until the file can be written again. That is tried
// with the next series and every Wiederholungsabstand. The user is told once per fault, naming
// the file and the reason; the message box does not hold up writing, and it is taken off the
// screen once every kept series is in the file. What is still kept when the program ends goes
// into a file of its own (nichtGeschriebeneSichern).
//
// The transmission log has a line for each series that reached the file ("Serie an die Ausgabe")
// or was kept ("... aufbewahrt"), for a fault as the user is told of it, for each kept series
// written later ("Serie nachgetragen") and for a series the user chose not to write.
//
// With a journal, every series is recorded there when it is taken and finished once it stands in
// the file, flushed to disk, or the user gave it up: a crash loses none.
class TProtokollAusgabe {
public:
    static constexpr std::chrono::milliseconds Wiederholungsabstand{5000};

    // The column titles of the header line: the record list as the layout editor shows it at
    // this moment (which may hold changes not yet applied to the profile).
    using Kopfzeilenquelle = std::function<std::vector<std::string>()>;

    // Reads the active profile of the list whenever it needs a setting. Without a header
    // source the titles come from the active profile's record list.
    explicit TProtokollAusgabe(Profilliste& profile, Kopfzeilenquelle kopfzeile = {});
    ~TProtokollAusgabe();
    TProtokollAusgabe(const TProtokollAusgabe&) = delete;
    TProtokollAusgabe& operator=(const TProtokollAusgabe&) = delete;

    // Takes the series in the active profile's record layout and writes it behind any series
    // waiting. Returns when it has been written, kept or refused by the user; a fault has been
    // told to the user.
    void WriteSeries(const TSerienDatensatz& serie);

    // Writes the series waiting, if the file can take them now (the retry timer calls this).
    void Wiederholen();

    void setKopfzeilenquelle(Kopfzeilenquelle kopfzeile) { m_kopfzeile = std::move(kopfzeile); }

    // The journal the series are recorded in; none: they are kept in memory only.
    void setJournal(Serienjournal* journal) { m_journal = journal; }
    // Where a series taken now goes: the active profile's file, file mode, warning and header line.
    Serienjournal::Ziel aktuellesZiel();
    // While set, the series taken go to this target, not to the active profile's (the pieces an
    // earlier run left, handed on).
    void setZielvorgabe(std::optional<Serienjournal::Ziel> ziel) { m_zielvorgabe = std::move(ziel); }
    // Series an earlier run made and did not write: each goes behind the series waiting, to its
    // own target, exactly as it was made then.
    void Nachtragen(const std::vector<Serienjournal::Serie>& serien);

    // The clipboard text of the last series taken (the whole text, also past a NUL byte).
    const std::string& Zwischenablage() const { return m_zwischenablage; }
    // The index of the shot being formatted (0 when idle).
    int32_t Schussindex() const { return m_schussindex; }
    // How many series WriteSeries has taken so far.
    std::uint64_t Genommen() const { return m_genommen; }
    // True while a series is being written (also while the overwrite warning is open).
    bool busy() const { return m_busy; }
    // Series waiting for the file: queued behind the one being written, or kept after a fault.
    std::size_t queued() const {
        return m_warteschlange.size() - (m_busy && !m_warteschlange.empty() ? 1 : 0);
    }
    // The series waiting for the file, for the question before the program ends: each with its
    // time, profile and shot count, and the file they go to (Windows-1252, "\n\r" line breaks);
    // empty when none waits.
    std::string wartendeSerien() const;

    // The file of its own that series still kept at the end go to, in the start directory
    // (a file-system path): "Trefflux-nicht-geschrieben-<JJJJMMTT>-<hhmmss>.rls".
    static std::string notablageName(const std::string& startverzeichnis, std::time_t zeitpunkt);
    // The file of its own for the shots of an unfinished series:
    // "Trefflux-unvollstaendige-Serie-<JJJJMMTT>-<hhmmss>.rls".
    static std::string unvollstaendigName(const std::string& startverzeichnis, std::time_t zeitpunkt);
    struct Notablage {
        std::string pfad;   // the file written (UTF-8), empty when nothing was kept
        std::string fehler; // why it could not be written (Windows-1252), empty on success
    };
    // Writes the series still kept, in order and in the record format of the protocol file (with
    // the header line when the profile has it on), into notablageName(startverzeichnis, now).
    Notablage nichtGeschriebeneSichern(const std::string& startverzeichnis);
    // Writes the shots of an unfinished series, in the active profile's record format, into
    // unvollstaendigName(startverzeichnis, now); never into the protocol file.
    Notablage unvollstaendigeSichern(const std::string& startverzeichnis, const TSerienDatensatz& serie);
    // The message that names the files of kept series (Windows-1252; the names in UTF-8).
    static std::string notablagenMeldung(const std::vector<std::string>& dateien);

private:
    // behalten: the file still holds a record not taken yet, and the desktop keeps the series
    // rather than overwrite it (mrKeep); it is kept as after a failure.
    enum class Ergebnis { geschrieben, abgebrochen, behalten, fehlgeschlagen };
    enum class Oeffnen { offen, abgebrochen, behalten, fehlgeschlagen };
    struct Eintrag {
        std::string zwischenablage; // the records of the series
        std::string datei;          // the same, followed by the series separator
        bool inZwischenablage = false;
        std::uint64_t journalNr = 0;             // its record in the journal; 0: none
        std::optional<Serienjournal::Ziel> ziel; // its own target; none: the active profile's
        std::string port;                        // of the profile it came with: the log's port
        std::string beschreibung;                // "Profil „Verein“, 2 Schuss" (UTF-8)
        std::time_t ankunft = 0;
        bool aufbewahrt = false; // kept after a fault (and logged as such)
    };
    // A fault of the file: the message for the user (Windows-1252) and the log's line (UTF-8),
    // each with the file and the reason when there are any.
    struct Stoerung {
        std::string meldung;
        std::string logzeile;
    };
    static Stoerung stoerung(const char* kopf, const std::string& dateiname = {},
                             const std::string& grund = {});

    Eintrag formatieren(const TSerienDatensatz& serie);
    void abarbeiten();
    void aufbewahren(const char* bis);
    // The file the entry goes to (Windows-1252): its own target's, else the active profile's.
    std::string zieldatei(const Eintrag& eintrag) const;
    Ergebnis writeOne(Eintrag& eintrag, Stoerung& fehler);
    Oeffnen openFile(const Eintrag& eintrag, std::string& dateiname, Stoerung& fehler);
    std::string kopfzeile();
    void setzeZwischenablage(Eintrag& eintrag);
    platform::FileError flushAndClose(std::size_t& bleibt);
    Notablage eigeneDateiSchreiben(const std::string& pfad, const std::string& daten);

    Profilliste& m_profile;
    Kopfzeilenquelle m_kopfzeile;

    platform::PlatformFile m_datei; // the protocol file while a series is written
    std::string m_dateipuffer;      // the bytes for it, written in one go before it is closed
    std::string m_zwischenablage;
    int32_t m_schussindex = 0;

    bool m_busy = false;
    std::deque<Eintrag> m_warteschlange;
    std::string m_gemeldet;               // the message of the fault the user has been told of
    std::vector<std::string> m_angezeigt; // the messages about kept series still on screen
    bool m_abholungGemeldet = false;      // told that series wait for the file to be taken away
    bool m_wiederholungGeplant = false;
    std::uint64_t m_genommen = 0;
    Serienjournal* m_journal = nullptr;
    std::optional<Serienjournal::Ziel> m_zielvorgabe;
    MainThread::LifeToken m_leben; // the retry timer runs only while the writer exists
};
