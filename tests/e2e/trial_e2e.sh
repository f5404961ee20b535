#!/usr/bin/env bash
# The README's way of trying the program without a machine ("Ohne Maschine ausprobieren"), step
# by step as a new user takes it, on a real X display with a window manager and a tray:
#   1. trefflux-sim sam starts and prints its port ("Port: pts/N")
#   2. the program starts in an empty directory: the settings window opens, no port is opened
#   3. page "Allgemeine Einstellungen": the port typed under "Schnittstelle", "Maschinensuche",
#      "... SAM 4000 an pts/N gefunden! Übernehmen ?" answered with "Ja"; a series waits in the
#      machine meanwhile (as at a match): the search finds the SAM by that series' block, which
#      stays with the machine
#   4. page "Datensatz-Einstellungen": "Ringwert" chosen, "> Hinzufügen >" twice (Ringwert, Teiler)
#   5. "Übernehmen": the window goes, the profile is saved, the machine is signed on
#   6. that series lands in Protokoll1.rls, once, and byte for byte on the clipboard that xclip
#      reads; so does the next one typed into trefflux-sim
# Each step leaves a screenshot in the folder printed at the end.
# Usage: trial_e2e.sh TREFFLUX TREFFLUX-SIM SCREENSHOT-FOLDER
set -euo pipefail
bin="$(realpath "$1")"
sim="$(realpath "$2")"
source "$(dirname "${BASH_SOURCE[0]}")/desktop.sh"
e2e_start_desktop "$3"
work="$e2e_work"
mkdir "$work/start"
cd "$work/start"

# --- 1. the stand-in machine; what the user types into its window comes through a pipe here
e2e_start_sam "$sim"

# --- 2. the first start: the settings window, and nothing opened yet
"$bin" >"$work/trefflux.log" 2>&1 &
pid=$!
e2e_track "$pid"
settings_window() { e2e_visible_window 'Einstellungen Trefflux'; }
has_settings_window() { [ -n "$(settings_window)" ]; }
no_settings_window() { ! has_settings_window; }
e2e_poll 300 has_settings_window || e2e_fail "no settings window at the first start: $(cat "$work/trefflux.log")"
win="$(settings_window)"
xdotool windowactivate --sync "$win"
[ -n "$(e2e_visible_window Fehler)" ] && e2e_fail "the first start reported an error"
[ "$(e2e_sign_ons)" -eq 0 ] || e2e_fail "the first start signed on before the settings were applied"
echo "ok: first start shows the settings window and opens no port"

# Places in the window (it has a fixed size; the page starts below the tab bar).
tabs_y=78                      # the tab bar
page_y=$((68 + 28))            # the top of a page
# --- 3. "Allgemeine Einstellungen": the port typed, "Maschinensuche", "Ja"
xdotool mousemove --window "$win" 40 "$tabs_y" click 1
sleep 0.3
e2e_shot "first-page"
xdotool mousemove --window "$win" 470 $((page_y + 233)) click 1
xdotool key ctrl+a
xdotool type --delay 50 "$port"
e2e_series_waits
xdotool key alt+s
has_found() { [ -n "$(e2e_visible_window 'Info Maschinensuche')" ]; }
e2e_poll 300 has_found || e2e_fail "the machine search did not answer"
e2e_shot "machine-found"
xdotool windowactivate --sync "$(e2e_visible_window 'Info Maschinensuche')" key Return
no_found() { ! has_found; }
e2e_poll 50 no_found || e2e_fail "the search's question stayed open"
grep -q 'Serie vom Programm abgelehnt' "$work/sim.log" || e2e_fail "the search did not leave the series with the machine"
echo "ok: the machine search found the SAM 4000 with a series waiting on the typed port $port"

# --- 4. "Datensatz-Einstellungen": "Ringwert" and then "Teiler" into the record
xdotool windowactivate --sync "$win"
xdotool mousemove --window "$win" 270 "$tabs_y" click 1
sleep 0.3
xdotool mousemove --window "$win" 90 $((page_y + 31)) click 1 # the first row of the elements
xdotool key Down Down alt+h
sleep 0.5 # a button pressed by its key stays down for a moment
xdotool key alt+h
sleep 0.3
e2e_shot "record-layout"

# --- 5. "Übernehmen": the window goes, the profile is saved, the machine is signed on
xdotool key alt+b
e2e_poll 100 no_settings_window || e2e_fail "\"Übernehmen\" did not close the settings window"
e2e_poll 100 e2e_at_least e2e_sign_ons 1 || e2e_fail "\"Übernehmen\" did not sign on at the machine"
# Saved at once: a crash keeps the settings, and the program without a window can use them now.
[ "$(stat -c %s TFXConf.cnf 2>/dev/null)" = 757 ] || e2e_fail "\"Übernehmen\" did not save the profile"
echo "ok: \"Übernehmen\" saved the profile and signed on at the machine"

# --- 6. the series that waited: the protocol file and the clipboard, byte for byte, once
e2e_series_written Protokoll1.rls
e2e_shot "series-written"
# the next one behind it: a copy of the first one handed over twice would stand between them
e2e_series_waits
e2e_poll 100 e2e_file_is Protokoll1.rls "$e2e_series_file$e2e_series_file" || {
  od -c Protokoll1.rls
  e2e_fail "Protokoll1.rls does not hold the two series once each"
}
echo "ok: the series that waited, once, and the next one in Protokoll1.rls and on the clipboard"
