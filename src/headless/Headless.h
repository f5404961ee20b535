#pragma once

#include <optional>
#include <string>
#include <vector>

// The program without a window ("trefflux-headless", "trefflux --headless"): the active profile
// of TFXConf.cnf, or the one named, on its machine, every series into its protocol file, every
// message one line on standard error. It never writes TFXConf.cnf. A machine that cannot be
// reached is tried again every 5 seconds. SIGTERM, SIGINT and SIGHUP end it with status 0 once
// the series in hand is written and the machine closed.

// Exit statuses.
namespace Ausgang {
constexpr int ok = 0;
constexpr int fehler = 1; // something failed that the command line cannot mend
constexpr int aufruf = 2; // bad command line, no configuration file, no such profile
constexpr int belegt = 3; // another instance serves the port
} // namespace Ausgang

struct HeadlessOptionen {
    std::optional<std::string> profil;           // the profile's name as the window shows it
    std::optional<std::string> port;             // instead of the profile's port
    std::optional<std::string> protokoll;        // instead of the profile's protocol file
    std::optional<std::string> startverzeichnis; // instead of the current directory
    bool hilfe = false;
    bool version = false;
};

// Reads the arguments after the program's name ("--port X" or "--port=X"). Nothing, with the
// reason in fehler, for a bad command line.
std::optional<HeadlessOptionen> leseOptionen(const std::vector<std::string>& args, std::string& fehler);

// The text of --help.
std::string hilfetext();

// The whole run; returns the exit status.
int runHeadless(int argc, char** argv);
