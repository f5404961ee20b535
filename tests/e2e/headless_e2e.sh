#!/usr/bin/env bash
# The program without a window against the stand-in machines, with no display at all: a series of
# each machine of the profile (SAM 4000, Rika SAG-1, Disag) in its protocol file byte for byte, three
# instances on three ports side by side, a fourth on a taken port (status 3), bad calls (status 2),
# kill -9 while the protocol file cannot be written, while the overwrite warning holds a series back
# and after three shots of a Disag series, each restarted: the series in its protocol file, the
# three shots in a file of their own,
# SIGHUP and SIGTERM (status 0, signed off at the machine), a port that is missing at the start and an
# adapter that vanishes and comes back (the port is a short symbolic link to a pseudo-terminal of
# socat, which is closed and then pointed at a new one), each said once, with the next series
# written; a protocol folder that appears late; and the process started as "trefflux --headless"
# maps no Qt GUI or Widgets library.
# Usage: headless_e2e.sh TREFFLUX-HEADLESS TREFFLUX|- TREFFLUX-SIM TREFFLUX-PROFIL
# ("-" leaves out the hand-over from trefflux, as under emulation without binfmt_misc).
set -euo pipefail
headless="$(realpath "$1")"
trefflux="$2"
[ "$trefflux" = "-" ] || trefflux="$(realpath "$trefflux")"
sim="$(realpath "$3")"
profil="$(realpath "$4")"
source "$(dirname "${BASH_SOURCE[0]}")/desktop.sh"
# The port locks the instances leave behind (in /run/lock, or the temp directory), gone at the end.
locks=()
trap 'rm -f "${locks[@]}"; e2e_cleanup' EXIT
unset DISPLAY QT_QPA_PLATFORM WAYLAND_DISPLAY
cd "$e2e_work"
mkdir start
# Slow under emulation: every wait is generous.
tenths=300

# A stand-in machine with its own pseudo-terminal: start_sim NAME KIND [--port DEV] SERIES...;
# sets sim_port. Its log is NAME.sim.log.
start_sim() {
  local name="$1" out="$e2e_work/$1.sim.out"
  shift
  e2e_stand_in_tenths="$tenths" e2e_start_stand_in "$out" "$@" --log "$e2e_work/$name.sim.log" ||
    e2e_fail "trefflux-sim $name did not start: $(cat "$out")"
  eval "${name}_sim=$e2e_stand_in_pid"
  sim_port="$port"
}
# A pair of pseudo-terminals joined by socat, named by the links NAME.a (the machine's side) and
# NAME.b (the program's side).
start_cable() {
  rm -f "$e2e_work/$1.a" "$e2e_work/$1.b"
  socat "pty,raw,echo=0,link=$e2e_work/$1.a" "pty,raw,echo=0,link=$e2e_work/$1.b" 2>>"$e2e_work/socat.log" &
  e2e_track $!
  cable_pid=$!
  e2e_poll "$tenths" test -e "$e2e_work/$1.b" || e2e_fail "socat did not start"
}
file_is() { [ -f "$1" ] && [ "$(cat "$1"; printf x)" = "${2}x" ]; }
expect_file() {
  e2e_poll "$tenths" file_is "$1" "$2" || { od -c "$1" 2>/dev/null || true; e2e_fail "$1 does not hold $3"; }
}
said() { grep -cF -- "$2" "$e2e_work/$1.err" || true; }
expect_said() { e2e_poll "$tenths" e2e_said_at_least "$1" "$2" "${3:-1}" || { cat "$e2e_work/$1.err"; e2e_fail "$1 did not say: $2"; }; }
e2e_said_at_least() { [ "$(said "$1" "$2")" -ge "$3" ]; }
# end_with NAME SIGNAL STATUS: sends the signal and waits for the exit status.
end_with() {
  local pid="${1}_pid" status=0
  kill "-$2" "${!pid}"
  e2e_poll "$tenths" e2e_gone "${!pid}" || e2e_fail "$1 did not end on $2"
  wait "${!pid}" || status=$?
  [ "$status" -eq "$3" ] || { cat "$e2e_work/$1.err"; e2e_fail "$1 ended with $status on $2, not $3"; }
}
run_bg() { # run_bg NAME PROGRAM ARGS...
  local name="$1"
  shift
  "$@" 2>"$e2e_work/$name.err" &
  e2e_track $!
  eval "${name}_pid=$!"
}

echo "== bad calls: status 2; --help and --version: 0"
status_of() { local s=0; "$@" >/dev/null 2>&1 || s=$?; echo "$s"; }
[ "$(status_of "$headless" --unbekannt)" = 2 ] || e2e_fail "an unknown option is not status 2"
[ "$(status_of "$headless" --port)" = 2 ] || e2e_fail "an option without value is not status 2"
[ "$(status_of "$headless" --start-dir "$e2e_work/start")" = 2 ] || e2e_fail "no TFXConf.cnf is not status 2"
grep -q -- '--protokoll DATEI' <<<"$("$headless" --help)" || e2e_fail "--help does not explain --protokoll"
grep -q '^trefflux-headless [0-9]' <<<"$("$headless" --version)" || e2e_fail "--version"

echo "== three machines, three ports, side by side"
start_sim rika rika "LG 1 10.4/123.4/12/-5 9.7/5.0/0/3"
rika_port="$sim_port"
# The Disag's second series breaks off after three of its five shots, before its end ("WSE").
printf '%s\n' "LG 1 10.4/123.4/0/1 9.7/5.0/1/0" "warte 8000" "abbruch" "LG 1 8.0/50.0/1/1 7.0/60.0/1/1 6.0/70.0/1/1" \
  >"$e2e_work/disag.script"
start_sim disag disag --datei "$e2e_work/disag.script"
disag_port="$sim_port"
# The SAM's port is a link that does not exist yet: missing at the start.
sam_port="$e2e_work/lane1"
# Three profiles; the first is the one a windowed program would make active. The Rika profile's
# protocol file is another computer's: --protokoll puts it here.
"$profil" start/TFXConf.cnf \
  --name "Stand 1 SAM" --port ttyS9 --machine 1 --tenths 1 --separators 59,10,10 --elements 0,1,4,5 \
  --record 2,3 --file "$e2e_work/sam.rls" \
  --name "Stand 2 Rika" --port "$rika_port" --machine 0 --tenths 1 --separators 59,10,10 --elements 0,1,4,5 \
  --record 2,3 --file "/nirgends/rika.rls" \
  --name "Stand 3 Disag" --port "$disag_port" --machine 2 --tenths 1 --separators 59,10,10 --elements 0,1,2,3,4,5 \
  --record 0,1,2,3,4,5 --file "$e2e_work/disag.rls" --shots 5 --strip-shots 1 --strip-text Text --divisor-limit 250 \
  --name "Stand 4 Einzel" --port ttyS9 --machine 1 --tenths 1 --separators 59,10,10 --elements 0,1,4,5 \
  --record 2,3 --file "$e2e_work/einzel.rls" --mode 1 --warn 1
cp start/TFXConf.cnf "$e2e_work/TFXConf.before"
for p in "/dev/$rika_port" "/dev/$disag_port" "$sam_port"; do
  name="trefflux-port-$(sed 's|^/||; s|/|_|g' <<<"$p")"
  locks+=("/run/lock/$name.lock" "${TMPDIR:-/tmp}/$name-$(id -u).lock")
done
[ "$(status_of "$headless" --start-dir start --profil "Stand 9")" = 2 ] || e2e_fail "no such profile is not status 2"
# A Disag RM III (FERN) knows no series of 15 shots: nothing is started.
mkdir "$e2e_work/fern"
"$profil" "$e2e_work/fern/TFXConf.cnf" --name Fern --port ttyS9 --machine 3 --shots 15
[ "$(status_of "$headless" --start-dir "$e2e_work/fern")" = 2 ] || e2e_fail "a refused profile is not status 2"

# The Rika's protocol folder appears only later (a shared folder mounted late): the series is kept
# and written once it is there.
(cd start && exec "$headless" --profil "Stand 2 Rika" --protokoll "$e2e_work/share/rika.rls" 2>"$e2e_work/rika.err") &
e2e_track $!
rika_pid=$!
run_bg disag "$headless" --start-dir start --profil "Stand 3 Disag"
if [ "$trefflux" != "-" ]; then
  run_bg sam "$trefflux" --headless --start-dir start --port "$sam_port"
else
  run_bg sam "$headless" --start-dir start --port "$sam_port"
fi
series=$'10,4;123,4;\n9,7; 5,0;\n\n'
expect_said rika "Sie wird aufbewahrt"
grep -q Zwischenablage "$e2e_work/rika.err" && e2e_fail "a program without a clipboard speaks of it"

echo "== kill -9 while the protocol file cannot be written; the restart writes the series"
sleep 1 # the journal has it within a second of the acknowledgement
kill -KILL "$rika_pid"
wait "$rika_pid" 2>/dev/null || true
(cd start && exec "$headless" --profil "Stand 2 Rika" --protokoll "$e2e_work/share/rika.rls" 2>"$e2e_work/rika2.err") &
e2e_track $!
rika_pid=$!
expect_said rika2 "1 Serie, die die Maschine schon übergeben hatte, wird jetzt in die Protokolldatei geschrieben: $e2e_work/share/rika.rls"
mkdir "$e2e_work/share"
expect_file "$e2e_work/share/rika.rls" "$series" "the Rika series"
expect_file "$e2e_work/disag.rls" $'LG;1;10,4;123,4;0;123;\nLG;1;9,7; 5,0;5;0;\n\n' "the Disag series"

echo "== kill -9 while the overwrite warning holds a series back; the results program takes the file"
printf 'alt\n' >"$e2e_work/einzel.rls"
start_sim einzel sam "LG 1 10.4/123.4/12/-5 9.7/5.0/0/3"
einzel_port="$sim_port"
name="trefflux-port-dev_${einzel_port//\//_}"
locks+=("/run/lock/$name.lock" "${TMPDIR:-/tmp}/$name-$(id -u).lock")
run_bg einzel "$headless" --start-dir start --profil "Stand 4 Einzel" --port "$einzel_port"
expect_said einzel "bereits vorhanden"
sleep 1
kill -KILL "$einzel_pid"
wait "$einzel_pid" 2>/dev/null || true
rm "$e2e_work/einzel.rls"
run_bg einzel2 "$headless" --start-dir start --profil "Stand 4 Einzel" --port "$einzel_port"
expect_file "$e2e_work/einzel.rls" "$series" "the series held back by the overwrite warning"
expect_said einzel2 "nicht ordnungsgemäß beendet"
end_with einzel2 TERM 0

echo "== the same port again: status 3"
[ "$(status_of "$headless" --start-dir start --profil "Stand 2 Rika")" = 3 ] || e2e_fail "a second instance on a port is not status 3"
second="$("$headless" --start-dir start --profil "Stand 2 Rika" 2>&1 || true)"
grep -q "wird schon von einem anderen Trefflux benutzt" <<<"$second" ||
  e2e_fail "the second instance does not say that the port is in use: $second"

echo "== no Qt GUI or Widgets library in the running process"
maps="$(cat "/proc/$sam_pid/maps")"
grep -qE 'libQt6(Gui|Widgets)' <<<"$maps" && e2e_fail "the headless process maps a Qt GUI library"
grep -q 'trefflux-headless' <<<"$maps" || [ "$trefflux" = "-" ] || e2e_fail "trefflux --headless did not hand over"

echo "== a SAM port missing at the start, then there"
expect_said sam "konnte nicht ge"
start_cable lane
ln -sfn "$e2e_work/lane.b" "$sam_port"
start_sim sam1 sam --port "$e2e_work/lane.a" "LG 1 10.4/123.4/12/-5 9.7/5.0/0/3"
expect_file "$e2e_work/sam.rls" "$series" "the SAM series"
expect_said sam "ist wieder verbunden"

echo "== the adapter vanishes and comes back"
kill -TERM "$sam1_sim" "$cable_pid"
wait "$sam1_sim" "$cable_pid" 2>/dev/null || true
expect_said sam "Neuer Versuch alle 5 Sekunden" 2
sleep 6 # more than one attempt while it is away: still said once
start_cable lane2
ln -sfn "$e2e_work/lane2.b" "$sam_port"
start_sim sam2 sam --port "$e2e_work/lane2.a" "LG 1 8.1/300.0/1/1"
expect_file "$e2e_work/sam.rls" "$series"$'8,1;300,0;\n\n' "both SAM series"
expect_said sam "ist wieder verbunden" 2
# The transmission log of this instance is named after its port.
sam_log="$HOME/.local/state/trefflux/uebertragung-${sam_port//\//_}.log"
e2e_poll "$tenths" grep -q '<STX>.*<ETB>' "$sam_log" || e2e_fail "the SAM series is not in $sam_log"
[ "$(said sam "Neuer Versuch")" -eq 2 ] || { cat "$e2e_work/sam.err"; e2e_fail "the loss was not said exactly once each time"; }

echo "== kill -9 after three shots of a Disag series: they go into a file of their own"
# The machine breaks off once the program has acknowledged the last shot.
e2e_poll "$tenths" grep -q 'Serie vor WSE abgebrochen' "$e2e_work/disag.sim.log" ||
  e2e_fail "the Disag's series did not break off"
sleep 1
kill -KILL "$disag_pid"
wait "$disag_pid" 2>/dev/null || true
run_bg disag "$headless" --start-dir start --profil "Stand 3 Disag"
expect_said disag "war noch nicht zu Ende: 3 Schüsse stehen in der Datei"
unfinished="$(ls start/Trefflux-unvollstaendige-Serie-*.rls)"
[ "$(grep -c '^LG;1;' "$unfinished")" -eq 3 ] || { cat "$unfinished"; e2e_fail "$unfinished does not hold the three shots"; }
grep -qF "$e2e_work/$unfinished" "$e2e_work/disag.err" || { cat "$e2e_work/disag.err"; e2e_fail "the message does not name $unfinished"; }
file_is "$e2e_work/disag.rls" $'LG;1;10,4;123,4;0;123;\nLG;1;9,7; 5,0;5;0;\n\n' ||
  e2e_fail "the unfinished Disag series reached the protocol file"

echo "== SIGHUP, SIGTERM, SIGINT: status 0, signed off"
end_with sam INT 0
grep -q '<- .*B0' "$e2e_work/sam2.sim.log" || e2e_fail "the SAM was not signed off"
end_with rika TERM 0
grep -q '<- .*D0' "$e2e_work/rika.sim.log" || e2e_fail "the Rika was not signed off"
end_with disag HUP 0
ls "$HOME"/.local/state/trefflux/serien-*.journal 2>/dev/null && e2e_fail "a journal stayed behind after every series was written"
cmp -s start/TFXConf.cnf "$e2e_work/TFXConf.before" || e2e_fail "TFXConf.cnf was changed"
for name in sam rika rika2 disag einzel einzel2; do
  grep -q '^trefflux: ' "$e2e_work/$name.err" || e2e_fail "$name wrote no message"
  grep -v '^trefflux: ' "$e2e_work/$name.err" && e2e_fail "$name wrote a line that is not a message"
done
echo "ok: three machines without a display, byte for byte; statuses 0, 2, 3; port missing, vanished and back; nothing lost to kill -9"
