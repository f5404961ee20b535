#pragma once

#include <functional>
#include <string>

class Einstellungsfenster;

// The start and end of the program, from the single-instance guard to the release of the guard.
// Needs a running QApplication and an installed Desktop. Always returns the exit code 0.
//
// started, if given, is called with the settings window once it is built and the event loop is
// about to run (tests use it to drive the program).
int runTrefflux(const std::function<void(Einstellungsfenster&)>& started = {});

// The texts of the start.
extern const char* const kLaeuftBereits;
extern const char* const kVeralteteVersion;
