#pragma once

// The path of a series from the machine to the protocol file, without a window: the machine
// components, their data handlers, the protocol writer, and the connection of the active
// profile's machine. The settings window is a view of it; the benchmarks, the fuzzers and a
// program without a window use it as it is.
//
// Main thread only. Messages to the user go through desktop(): a machine that does not answer, a
// port that cannot be opened, a machine's notice ("Hinweis"). A view that wants to come up
// before the first two sets the Vor... hooks.

#include "Maschinentabelle.h"
#include "ProtokollAusgabe.h"
#include "Serienjournal.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class Profilliste;

class Serienpfad {
public:
    // The pause between closing the ports and opening the machine again when it is signed on.
    static constexpr std::chrono::milliseconds Anmeldepause{300};

    // Components handed in, by machine number, each of its machine's kind; every other machine
    // gets its own. (A fuzzer hands in one that takes its bytes without a device.)
    using Komponenten = std::map<std::int32_t, std::unique_ptr<TMachineComponent>>;

    // Reads the active profile of the list whenever it opens a machine or writes a series. The
    // header source goes to the protocol writer. No port is opened here. The journal installed
    // for the process (serienjournal()), if any, keeps what the machines hand over.
    explicit Serienpfad(Profilliste& liste, TProtokollAusgabe::Kopfzeilenquelle kopfzeile = {},
                        Komponenten komponenten = {});
    // Closes every port.
    ~Serienpfad();
    Serienpfad(const Serienpfad&) = delete;
    Serienpfad& operator=(const Serienpfad&) = delete;

    // Each machine of the table, made by its line: its component and its data handler. At most
    // one component has its port open: the one of the active profile's machine. A number without
    // a line raises std::out_of_range.
    Maschinenteil& Teil(std::int32_t nummer) const;
    TMachineComponent& Komponente(std::int32_t nummer) const { return Teil(nummer).komponente(); }

    TProtokollAusgabe& Ausgabe() const { return *m_ausgabe; }

    // Configures and opens the machine of the active profile; a profile without a machine opens
    // nothing. A port that cannot be opened closes every port, and the user is told which.
    // False when the port could not be opened.
    bool MaschineOeffnen();
    // Closes the ports of all machine components; a port that fails while closing is closed as
    // far as it goes.
    void MaschinenSchliessen();
    // Closes all machine ports, waits Anmeldepause and opens the machine of the active profile.
    void MaschineAnmelden();

    // Tells the journal where the series taken from now on go (the active profile's target);
    // after every change of the profiles. Opening the machine does it too.
    void ZielMelden();

    // At the start, before the machine is opened: what an earlier run of this instance handed
    // over and did not write. Its series go through the protocol writer, in the order they
    // came, each to the file it was meant for; the shots of a series a machine left unfinished go into
    // a file of their own in the start directory, never into the protocol file. The user is
    // told once, with the number of series and the files.
    void Nachtragen(const std::string& startverzeichnis);

    // The end of a run, once the machine is closed and what it handed over has been handled:
    // the series the protocol file could not take go into a file of their own
    // (Trefflux-nicht-geschrieben-...), the shots of a series a machine left unfinished into another
    // (Trefflux-unvollstaendige-Serie-...), both in the start directory. With amNaechstenStart,
    // the journal keeps the messages about them for the next start of the instance.
    struct Abschluss {
        std::vector<std::string> meldungen; // what went where (Windows-1252)
        std::vector<std::string> fehler;    // what could not be kept, and why (Windows-1252)
        bool gemerkt = false;               // the next start tells the meldungen
    };
    Abschluss Abschliessen(const std::string& startverzeichnis, bool amNaechstenStart);

    // A machine component reports that its machine does not answer: close all machine ports and
    // tell the user which machine of the active profile was not found on which port.
    void TfxError(TCustomComPort* Sender, std::int32_t ErrorCode);

    // Called before the message about a machine that does not answer, and before the one about
    // a port that cannot be opened (by whoever shows it).
    std::function<void()> VorMaschinenfehler;
    std::function<void()> VorSchnittstellenfehler;

    // The port the machine is opened on: Portvorgabe when set (any length, any device path),
    // else the active profile's.
    std::string Portvorgabe;
    std::string Port() const;
    // The line of the active profile's machine; nullptr for a profile without one.
    const Maschinenart* Maschine() const;

    // When set, a machine that cannot be reached (its port cannot be opened or is gone, or the
    // machine does not answer) is told here instead of by a message box, with what went wrong,
    // the message (for a port with the system's reason) and the reason in a few words; the
    // ports are closed all the same. The connection watch (Verbindungswache) takes it.
    enum class Ausfall { Schnittstelle, Maschine };
    std::function<void(Ausfall ausfall, const std::string& meldung, const std::string& grund)>
        Verbindungsfehler;

private:
    // Keeps one component's data in the journal until its handler has run.
    class Ablage : public TMachineDataKeeper {
    public:
        Ablage(Serienjournal& journal, Serienjournal::Quelle quelle) : m_journal(journal), m_quelle(quelle) {}
        std::uint64_t Keep(const std::string& data) override;
        void Handle(std::uint64_t kept, const std::function<void()>& onData) override;
        Serienjournal::Quelle quelle() const { return m_quelle; }
        // The last piece handled (main thread).
        std::uint64_t Bearbeitet() const { return m_bearbeitet; }

    private:
        Serienjournal& m_journal;
        const Serienjournal::Quelle m_quelle;
        std::uint64_t m_bearbeitet = 0;
    };
    Ablage& ablage(Serienjournal::Quelle quelle); // only with a journal
    // The shots of a machine's unfinished series into a file of their own; the message, or the
    // failure, with the file.
    void unvollstaendigeSichern(const std::string& startverzeichnis, Abschluss& abschluss);

    Profilliste& m_liste;
    const std::unique_ptr<TProtokollAusgabe> m_ausgabe;
    const std::shared_ptr<Serienjournal> m_journal;
    std::vector<std::unique_ptr<Maschinenteil>> m_teile; // in the order of the table
    std::vector<std::unique_ptr<Ablage>> m_ablagen;      // one per machine, with a journal
};

// The message about a port that failed: "Schnittstelle <port> konnte nicht geöffnet werden" with
// the system's reason when it could not be opened, otherwise "Ein Schnittstellenfehler ist
// aufgetreten!" and below it what failed, with the reason.
std::string portfehlerText(const EComPort& e, const std::string& port);
// The reason in a few words: the system's text, or "Schnittstellenfehler".
std::string portfehlerGrund(const EComPort& e);
// Whether the port could not be opened for lack of permission, and what to do then.
bool keineBerechtigung(const EComPort& e);
extern const char* const DialoutHinweis;
// portfehlerText, and DialoutHinweis when it applies.
std::string portfehlerMeldung(const EComPort& e, const std::string& port);
