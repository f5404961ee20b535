#pragma once

// "Maschinentest" and "Maschinensuche" without a window: each test on a port, and what it came
// to, so that the messages say why no machine was found: the port could not be opened (with the
// system's reason), no answer came within the test's wait, or what the machine answered.

#include "Maschinentabelle.h"
#include "SerialPort.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class Serienpfad;

// What one machine test on one port came to.
struct Testausgang {
    std::optional<std::string> kennung; // found: what the machine told about itself
    bool geoeffnet = true;              // false: the port could not be opened
    EComPort fehler{0};                 // then why
    std::string portfehler;             // and the message about it, with what to do
    bool keineBerechtigung = false;     // then: for lack of permission
    std::string antwort;                // the bytes the machine sent during the test
};

// Runs the machine's test on its component's port (set by the caller); an error of the port is
// caught and kept.
Testausgang maschineTesten(const Maschinenart& art, Serienpfad& pfad);

// Why the machine was not found, in one line: "keine Antwort innerhalb von 0,1 s" or
// "Antwort: <NAK><NAK>" (the bytes as in the transmission log). Windows-1252.
std::string nichtGefundenGrund(const Maschinenart& art, const Testausgang& ausgang);

// The message of "Maschinentest" when the machine was not found: the machine's text, then why.
std::string testNichtGefundenMeldung(const Maschinenart& art, const Testausgang& ausgang,
                                     const std::string& port);

struct Suchergebnis {
    bool gefunden = false;
    std::string text; // the question when found; otherwise "Keine Maschine gefunden !" and why, per port
    std::int32_t maschine = -1;
    std::string port;
};

// Tries every machine on every port, in up to three passes, until one answers. The ports are
// left closed.
Suchergebnis maschinenSuchen(Serienpfad& pfad, const std::vector<std::string>& ports);
