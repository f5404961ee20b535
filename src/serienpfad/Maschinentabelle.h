#pragma once

// The machines a profile can name, one line each: everything that differs from one machine to
// the next is looked up here, never decided by the machine number elsewhere. A new machine is
// its own files (its component, its data handler) plus one line in Maschinentabelle.cpp; the
// window's machine choice, the series path, the connection watch, the machine test and search,
// the journal's pieces and the program without a window all follow the table.

#include "MachineComponent.h"
#include "SerienDatensatz.h"
#include "Serienjournal.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

struct Profil;
class Profilliste;
class TProtokollAusgabe;

// The profile's numbers (Profil::Maschine) of the machines, for code and tests that mean one
// machine by name. The number a machine has is its line's nummer.
enum TMaschine : std::int32_t { maRika = 0, maSam = 1, maDisag = 2, maDisagRm3Fern = 3 };

// One machine on a series path: its component and its data handler, made by its line when the
// path is made, and whatever the handler keeps from one piece to the next. The path binds the
// component's OnData to daten, its OnError and OnHinweis to its own handling, and sets its port
// and its keeper. Main thread only.
class Maschinenteil {
public:
    // What a data handler writes into: the profiles (the active one names the target) and the
    // protocol writer.
    struct Umfeld {
        Profilliste& liste;
        TProtokollAusgabe& ausgabe;
    };

    virtual ~Maschinenteil() = default;
    Maschinenteil(const Maschinenteil&) = delete;
    Maschinenteil& operator=(const Maschinenteil&) = delete;

    TMachineComponent& komponente() const { return *m_komponente; }

    // The data handler: one piece the component handed over (OnData), or one the journal kept
    // from an earlier run.
    virtual void daten(const std::string& Data) = 0;

    // A machine that reports shot by shot: the shots of a series it began and has not ended.
    virtual bool serieOffen() const { return false; }
    // Takes those shots as the series its end would have written; none are left afterwards.
    virtual TSerienDatensatz offeneSerieNehmen() { return {}; }

protected:
    explicit Maschinenteil(std::unique_ptr<TMachineComponent> komponente)
        : m_komponente(std::move(komponente)) {}

private:
    const std::unique_ptr<TMachineComponent> m_komponente;
};

struct Maschinenart {
    // The value of Profil::Maschine, and the item of the machine choice in the settings window.
    std::int32_t nummer;
    // Its item in the machine choice "Ringlesemaschine" of the settings window.
    const char* auswahl;
    // How the messages name it: "<name> an COM1 ...".
    const char* name;
    // The object name of the page of the settings window that holds the machine's settings
    // ("Maschinen-Einstellungen"); nullptr: the machine takes none and the page is hidden.
    const char* einstellseite;
    // Its pieces in the journal; a source whose pieces are lines of a series (the Disag's) keeps
    // them until the series is made.
    Serienjournal::Quelle quelle;

    // Makes the machine's part of a path: its component with the machine's fixed settings (the
    // one given, when one is: a test or a fuzzer hands in its own), and its data handler.
    std::unique_ptr<Maschinenteil> (*machen)(const Maschinenteil::Umfeld& umfeld,
                                             std::unique_ptr<TMachineComponent> gegeben);
    // Gives the component the profile's settings for the machine before its port opens (so a
    // change of those settings signs the machine on again); nullptr: the machine takes none.
    void (*einstellen)(Maschinenteil& teil, const Profil& profil);
    // Why the machine cannot work with the profile's values, naming the values it takes
    // (Windows-1252); empty when it can. Asked at "Übernehmen", before its port opens, and by the
    // program without a window. nullptr: it takes every profile.
    std::string (*profilFehler)(const Profil& profil);
    // What the window tells at "Übernehmen" about a value the machine takes in its own way
    // (Windows-1252), without refusing it; empty: nothing. nullptr: the machine has no such value.
    std::string (*profilHinweis)(const Profil& profil);

    // How the connection is judged is the component's: TMachineComponent::Answer and
    // PollsItsMachine.

    // Runs the machine's test on the component's port (closed by the caller, set to the port
    // to try). Gives what the machine tells about itself (version or model, "" when nothing),
    // or nothing when no such machine answered. An EComPort goes on to the caller.
    std::optional<std::string> (*testen)(Maschinenteil& teil);
    // The texts of "Maschinentest": found, with what testen gave, and not found.
    std::string (*testGefunden)(const std::string& kennung, const std::string& port);
    std::string (*testNichtGefunden)(const std::string& port);
    // The question of "Maschinensuche" when this machine answered on the port.
    std::string (*sucheGefunden)(const std::string& kennung, const std::string& port);
    // How long the test waits for the machine's answer, as the message about no answer says it.
    const char* testWartezeit;
};

// Every line, in the order "Maschinensuche" tries the machines on a port.
std::span<const Maschinenart> maschinentabelle();

// The line of a profile's machine number; nullptr for a number without a machine.
const Maschinenart* maschinenart(std::int32_t nummer);

// Why the profile cannot be used with its machine (Windows-1252); empty when it can, and for a
// profile without a machine.
std::string profilFehler(const Profil& profil);
