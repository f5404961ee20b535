#pragma once

// The machines a profile can name, one line each: everything that differs from one machine to
// the next is looked up here, never decided by the machine number elsewhere. A new machine is
// its component, its data handler (and its settings page, if it has one), plus one line.
//
// The Disag RM III in its older remote program (TDisagRm3FernCom) has no number in the profile
// and so no line.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

struct Profil;
class Serienpfad;
class TMachineComponent;

struct Maschinenart {
    // The value of Profil::Maschine, and the item of the machine choice in the settings window.
    std::int32_t nummer;
    // Its item in the machine choice "Ringlesemaschine" of the settings window.
    const char* auswahl;
    // How the message about a machine that does not answer names it: "<name> an COM1 ...".
    const char* name;
    // The object name of the machine's own page in the settings window; nullptr: none.
    const char* einstellseite;

    // The machine's component on the path.
    TMachineComponent& (*komponente)(Serienpfad& pfad);
    // Binds the component's data events to the machine's data handler on the path.
    void (*verbinden)(Serienpfad& pfad);
    // Gives the component the profile's settings for the machine before its port opens (so a
    // change of those settings signs the machine on again); nullptr: the machine takes none.
    void (*einstellen)(Serienpfad& pfad, const Profil& profil);

    // Runs the machine's test on the component's port (closed by the caller, set to the port
    // to try). Gives what the machine tells about itself (version or model, "" when nothing),
    // or nothing when no such machine answered. An EComPort goes on to the caller.
    std::optional<std::string> (*testen)(Serienpfad& pfad);
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
