#pragma once

class Win32Programm;

// The program's own check of its Windows view, run in the running program when it is started
// with --selbsttest: the tray menus, the profile switch through the profile menu, the clipboard
// and the main-thread hand-over. Writes one line per check to the standard output and a last
// line "Selbsttest: N Fehler"; the program then runs on until it is ended, and its exit code is
// the number of failed checks.
namespace Selbsttest {

// Starts the checks on the main thread's loop; some of them finish only after a while.
void starten(Win32Programm& programm);
// The number of failed checks so far (-1 while the checks have not finished).
int fehler();

} // namespace Selbsttest
