#pragma once

// The journal of what the machines handed over. A series of a SAM 4000 or a Rika SAG-1 and every
// line of a Disag (its series exists only at "WSE") is on disk from the moment the component has
// taken it, while the machine is being acknowledged, until the series stands in the protocol
// file and that file is flushed to disk. A crash, a kill or a power cut then loses nothing that
// the machine will not offer again: the next start of the same instance finds what is left and
// hands it on (Serienpfad::Nachtragen).
//
// One file per instance, in the state folder, named after the start directory and, for a
// service, its port; it is held exclusively while the instance runs. A caller only appends a
// record to a queue and never waits for the disk; a thread of the journal's own gathers what
// comes in for a moment, writes it and flushes it to disk (fsync, FlushFileBuffers), as a rule
// within a tenth of a second. A file that cannot be written is told once; the program runs on
// without it.
//
// The records, one line each with a check sum (a line torn by a power cut is left out):
//   a piece: a series block or a Disag line, with its machine and the target in force then;
//   a series as the protocol writer made it: its target and its bytes for the file and the
//     clipboard; it takes the place of the pieces it was made from;
//   pieces used up: handled without a series, or written into a file of their own;
//   a series finished: in the protocol file, flushed there, or given up by the user;
//   a message for the next start, and that it was shown.
// What is neither used up nor finished is alive; the file is rewritten with only that when it
// has grown, and removed at the end when nothing is alive.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class Serienjournal {
public:
    // The machine a piece came from (its line in the machine table names it). A SAM's or a
    // Rika's piece is a whole series; a Disag's pieces are lines, and a series is made of those
    // since the last "WSE" (in the RM III's older remote program: "ENDE").
    enum class Quelle : char { sam = 'S', rika = 'R', disag = 'D', disagRm3Fern = 'F' };
    // Every source the file may name, and whether its pieces are lines of a series: those live
    // on until their series is made.
    struct Quellenart {
        Quelle quelle;
        bool zeilen;
    };
    static constexpr Quellenart Quellen[] = {
        {Quelle::sam, false},
        {Quelle::rika, false},
        {Quelle::disag, true},
        {Quelle::disagRm3Fern, true},
    };
    static constexpr const Quellenart* quellenart(char zeichen) {
        for (const Quellenart& art : Quellen) {
            if (static_cast<char>(art.quelle) == zeichen)
                return &art;
        }
        return nullptr;
    }
    static constexpr bool zeilenweise(Quelle quelle) {
        const Quellenart* art = quellenart(static_cast<char>(quelle));
        return art && art->zeilen;
    }

    // Where a series goes: the protocol file and how it is written, as the active profile said.
    struct Ziel {
        std::string dateiname; // Windows-1252, as the profile holds it
        std::int32_t dateimodus = 0;
        bool warnen = false;
        std::string kopfzeile; // the header line of a new file; empty: none
        bool operator==(const Ziel&) const = default;
    };
    // A series made for the protocol file and not finished.
    struct Serie {
        std::uint64_t nr = 0;
        Ziel ziel;
        std::string datei;          // the records with the series separator
        std::string zwischenablage; // the records
    };
    // A piece handed over that the main thread had not handled yet.
    struct Stueck {
        std::uint64_t nr = 0;
        Quelle quelle = Quelle::sam;
        Ziel ziel;
        std::string daten;
    };
    // What the run before left: all in the order it arrived.
    struct Nachlass {
        std::vector<Serie> serien;
        std::vector<Stueck> stuecke;
        std::vector<std::string> meldungen; // Windows-1252
    };

    struct Optionen {
        std::string pfad;
        // Told once when the file cannot be opened or written (UTF-8, with the path and the
        // reason); called on any thread. Empty: standard error.
        std::function<void(const std::string&)> melden;
        // The file is rewritten with what is alive once it has grown past this.
        std::uint64_t verdichtenAb = 256 * 1024;
        // The writer gathers what comes in for this long before it writes and flushes: the three
        // records of a series (taken, made, finished) and a burst of lines cost one flush, and
        // the disk is not busy in the moment the machine waits for its acknowledgement.
        std::chrono::milliseconds sammelpause{50};
    };

    // Opens the file (its folder is made) and reads what an earlier run left.
    explicit Serienjournal(Optionen optionen);
    // Writes what is queued, stops the writer; removes the file when nothing in it is alive.
    ~Serienjournal();
    Serienjournal(const Serienjournal&) = delete;
    Serienjournal& operator=(const Serienjournal&) = delete;

    // The file's name for an instance: "serien-<key of the start directory>.journal", and for a
    // service of one port "serien-<key>-<port>.journal" (characters other than letters, digits,
    // ".", "-" and "_" of the port become "_").
    static std::string dateiname(std::string_view startverzeichnis, std::string_view port);
    const std::string& pfad() const { return m_optionen.pfad; }

    // What the run before left, once (main thread). Its messages count as shown from now on.
    Nachlass nachlassNehmen();

    // The target of the pieces taken from now on (main thread).
    void setZiel(Ziel ziel);

    // A piece the component has taken (any thread; never waits for the disk). Its number.
    std::uint64_t aufnehmen(Quelle quelle, std::string_view daten);

    // The piece the main thread is handling while the object lives; the series made meanwhile
    // take its place. Nested in the event loop of a message box, the outer one comes back.
    class Bearbeitung {
    public:
        Bearbeitung(Serienjournal& journal, Quelle quelle, std::uint64_t nr);
        ~Bearbeitung();
        Bearbeitung(const Bearbeitung&) = delete;
        Bearbeitung& operator=(const Bearbeitung&) = delete;

    private:
        Serienjournal& m_journal;
        std::optional<std::pair<Quelle, std::uint64_t>> m_vorher;
    };
    // The main thread has handled the piece: a SAM's or a Rika's is used up (its series, if it
    // made one, is recorded); a Disag line lives on until its series is made.
    void bearbeitet(Quelle quelle, std::uint64_t nr);
    // A series the protocol writer made (main thread); it takes the place of the piece being
    // handled, and for a Disag of every line before it. Its number.
    std::uint64_t serieAufnehmen(const Ziel& ziel, std::string_view datei, std::string_view zwischenablage);
    // The series is in the protocol file and flushed there, or the user gave it up.
    void erledigt(std::uint64_t serie);
    // The pieces of the machine up to this number are used up (an unfinished Disag series in a
    // file of its own).
    void verbraucht(Quelle quelle, std::uint64_t bis);
    // A message for the next start (Windows-1252).
    void spaeterMelden(std::string meldung);

    // The number of the last record handed in.
    std::uint64_t letzteNr() const;
    // Waits until everything handed in so far is on disk; false when that took longer than the
    // limit or the file cannot be written.
    bool sichernAbwarten(std::chrono::milliseconds limit = std::chrono::seconds(5));

private:
    struct Satz {
        char art = 0; // 'E' piece, 'S' series, 'V' used up, 'F' finished, 'M' message, 'G' shown
        std::uint64_t nr = 0;
        Quelle quelle = Quelle::sam;
        std::uint64_t bezug = 0; // S, V: the last piece taken; F, G: the record that ends
        Ziel ziel;
        std::string a, b; // E: the data; S: file and clipboard bytes; M: the message
    };
    static Satz satz(char art, Quelle quelle, std::uint64_t bezug, std::string a = {});
    static std::string zeile(const Satz& satz);
    static std::optional<Satz> lesen(std::string_view zeile);
    // What a record does to the records alive.
    static void anwenden(std::map<std::uint64_t, Satz>& lebend, Satz satz);

    std::uint64_t einreihen(Satz satz);
    void schreiberLaeuft();
    bool ausschreiben(const std::string& daten);
    void verdichten();
    bool oeffnen();
    void fehlschlag(const std::string& was, const std::string& grund);

    Optionen m_optionen;

    // shared with the callers
    mutable std::mutex m_mutex;
    std::condition_variable m_arbeit;
    std::condition_variable m_gesichertCv;
    std::vector<Satz> m_schlange;
    std::uint64_t m_naechsteNr = 1;
    std::uint64_t m_gesichert = 0; // every record up to this number is on disk
    bool m_schreibfehler = false;  // the last write failed
    Ziel m_ziel;
    bool m_ende = false;
    bool m_schreiberWartet = false; // the writer waits for records, not in its gathering pause

    // the main thread's
    std::optional<std::pair<Quelle, std::uint64_t>> m_bearbeitung;
    Nachlass m_nachlass;
    std::vector<std::uint64_t> m_meldungsNr; // the records of its messages

    // the writer's (the reader's before the writer starts)
    struct Datei;
    std::unique_ptr<Datei> m_datei;
    std::map<std::uint64_t, Satz> m_lebend;
    std::string m_ausstehend; // records not yet on disk after a failure
    std::uint64_t m_groesse = 0;
    bool m_gemeldet = false;

    std::thread m_schreiber; // last: starts when everything above exists
};

// The journal of this process that the series path keeps its pieces in; none until installed.
std::shared_ptr<Serienjournal> serienjournal();
void setSerienjournal(std::shared_ptr<Serienjournal> journal);

// Starts this instance's journal in the state folder (Serienjournal::dateiname) and installs it.
// melden as in Optionen.
std::shared_ptr<Serienjournal> serienjournalStarten(std::string_view startverzeichnis,
                                                    std::string_view port = {},
                                                    std::function<void(const std::string&)> melden = {});
