#pragma once

// The transmission log: every byte the program sends to or receives from a machine's port,
// every opening and closing of a port, every error a component reports and every series handed
// to the protocol output, one line an entry:
//
//   2026-12-08 17:41:42.123 ttyUSB0 > <ENQ>
//   2026-12-08 17:41:42.131 ttyUSB0 < <NAK>
//   2026-12-08 17:42:42.125 ttyUSB0 * Austausch 5999-mal wiederholt: > <ENQ> < <NAK>
//
// Local time to the millisecond, the port, a mark (">" to the machine, "<" from the machine,
// "*" an event), the text. Bytes 0x20 to 0x7E stand as themselves except "<" and "\"; every
// other byte is its control name in angle brackets ("<STX>") or "<xHH>". Each write is a line;
// bytes read one after another without a pause of 100 ms share a line, up to 200 bytes. The same exchange
// over and over (an enquiry and its answer) is folded into one line with a count, written when the exchange
// changes and at the latest every minute. The file is rotated at 1 MiB to .1, .2 and .3.
//
// Costs the data path nothing: the caller only copies the bytes into a bounded queue; a thread
// of the log's own writes the file. When the queue is full, entries are dropped and one line
// says how many. A file that cannot be written is reported once and otherwise ignored.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class Uebertragungslog {
public:
    using Zeitpunkt = std::chrono::system_clock::time_point;
    enum Richtung : char { zurMaschine = '>', vonDerMaschine = '<', ereignis = '*' };

    struct Optionen {
        // The folder of the file; empty: platform::stateFolder(). Made when missing.
        std::string ordner;
        std::string dateiname = "uebertragung.log";
        std::uint64_t hoechstgroesse = 1024 * 1024; // then the file is rotated
        std::size_t warteschlange = 8192;           // entries waiting for the writer at most
        // The writer gathers what comes in for this long before it writes.
        std::chrono::milliseconds sammelpause{250};
        // The time stamped on every entry; called on the calling thread. Empty: the system clock.
        std::function<Zeitpunkt()> uhr;
        // Told once when the file cannot be written (UTF-8 text with the path and the reason).
        // Empty: standard error.
        std::function<void(const std::string&)> melden;
    };

    explicit Uebertragungslog(Optionen optionen);
    // Writes what is still queued and stops the writer.
    ~Uebertragungslog();
    Uebertragungslog(const Uebertragungslog&) = delete;
    Uebertragungslog& operator=(const Uebertragungslog&) = delete;

    // Bytes that went over the port (any thread; never waits for the disk).
    void daten(std::string_view port, Richtung richtung, const void* bytes, std::size_t anzahl);
    // An event on the port (any thread): UTF-8 text, control characters become spaces.
    void ereignisMelden(std::string_view port, std::string_view text);

    // Waits until everything queued so far is in the file, a folded exchange included; false
    // when that took longer than the limit.
    bool schreibenAbwarten(std::chrono::milliseconds limit = std::chrono::seconds(10));

    // The file written now.
    const std::string& pfad() const { return m_pfad; }

    // The file name of a process that serves one port: "uebertragung-ttyUSB0.log"; a "/" in
    // the port's name becomes "_" ("/dev/ttyS0" gives "uebertragung-_dev_ttyS0.log").
    static std::string dateinameFuerPort(std::string_view port);
    // The bytes as the log writes them.
    static std::string maskiert(std::string_view bytes);

private:
    struct Eintrag {
        Zeitpunkt zeit;
        std::string port;
        Richtung richtung;
        std::string text;
    };
    struct Falte {
        std::string port, aus, ein;
        Zeitpunkt beginn, letzte;
        std::uint64_t anzahl = 0;
    };

    void schreiberLaeuft();
    void verarbeite(Eintrag eintrag);
    void schliesseOffeneZeile();
    void falte(Eintrag zeile);
    void schreibeFaltzeile();
    void gibGehaltenesAus();
    void gibAus(const Eintrag& zeile);
    void zeileAnhaengen(const std::string& zeile);
    void ausschreiben();
    void rotieren();
    bool oeffnen();
    void fehlschlag(const std::string& was, const std::string& grund);

    Optionen m_optionen;
    std::string m_pfad;

    // shared with the callers
    std::mutex m_mutex;
    std::condition_variable m_arbeit;
    std::condition_variable m_erledigt;
    std::vector<Eintrag> m_schlange;
    std::uint64_t m_verworfen = 0;
    std::uint64_t m_abwartenWunsch = 0;   // schreibenAbwarten calls so far
    std::uint64_t m_abwartenErfuellt = 0; // of those, answered by the writer
    bool m_ende = false;

    // the writer's own
    std::vector<Eintrag> m_stapel;     // the entries taken from the queue
    std::optional<Eintrag> m_offen;    // the line being joined from reads or writes
    Zeitpunkt m_offenLetzte;           // when its last bytes came
    std::optional<Eintrag> m_gehalten; // a ">" line waiting for the answer to it
    std::optional<Falte> m_falte;
    std::string m_puffer;
    struct Datei;
    std::unique_ptr<Datei> m_datei;
    std::uint64_t m_groesse = 0;
    bool m_gemeldet = false;

    std::thread m_schreiber; // last: starts when everything above exists
};

// The log of this process that the serial ports write to; none until one is installed.
std::shared_ptr<Uebertragungslog> uebertragungslog();
void setUebertragungslog(std::shared_ptr<Uebertragungslog> log);

// Starts this process's log in the state folder and installs it: "uebertragung.log", or, given
// a port, the file named after it (Uebertragungslog::dateinameFuerPort). melden as in Optionen.
std::shared_ptr<Uebertragungslog>
uebertragungslogStarten(std::string_view port = {}, std::function<void(const std::string&)> melden = {});

// Shorthands for the installed log; nothing happens without one.
void logDaten(std::string_view port, Uebertragungslog::Richtung richtung, const void* bytes,
              std::size_t anzahl);
void logEreignis(std::string_view port, std::string_view text);
