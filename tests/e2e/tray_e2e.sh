#!/usr/bin/env bash
# The program as a club uses it, on a real X display with a window manager and an XEmbed tray:
# trefflux-sim plays a SAM 4000 on a pseudo-terminal, the program starts in an empty start
# directory with two profiles for it, and xdotool works the tray icon:
#   left click      profile menu with the check mark at the active profile; choosing the other
#                   profile reconnects the machine (it sees the sign-off and a new sign-on)
#   double click    the settings window
#   right click     "&Einstellungen" (E opens the window) and "&Beenden"
#   a series        lands in the new profile's protocol file and, byte for byte, on the clipboard
#                   that xclip reads
#   a second copy   shows "läuft bereits!" and ends with 0; the first one runs on untouched
#   a pulled cable  the machine sits behind a socat pair of pseudo-terminals whose program end has
#                   a name in /dev (11 characters at most, as udev names an adapter): pulled, it
#                   is told once and the icon is greyed and crossed out; back (another
#                   pseudo-terminal behind the same name), the program takes it up again with
#                   nobody acting, says so at the icon and writes the next series
#   "&Beenden"      answered with the keyboard: profiles saved, tray icon gone, exit code 0
#   kill -9         while the protocol file cannot be written, while the overwrite warning is open
#                   and after three shots of a Disag series: the restart writes the series (the
#                   three shots into a file of their own) and says so in a message
# Each step leaves a screenshot in the folder printed at the end.
# Usage: tray_e2e.sh TREFFLUX TREFFLUX-SIM SCREENSHOT-FOLDER
set -euo pipefail
bin="$(realpath "$1")"
sim="$(realpath "$2")"
source "$(dirname "${BASH_SOURCE[0]}")/desktop.sh"
# The port's name in /dev; without the right to make one, the pseudo-terminal is named directly
# and the cable stays in.
dev_link=""
[ -w /dev ] && dev_link="tfx$$"
trap '[ -z "$dev_link" ] || rm -f "/dev/$dev_link"; e2e_cleanup' EXIT
e2e_start_desktop "$3"
work="$e2e_work"
mkdir "$work/start"
cd "$work/start"

# --- the machine at the far end of a cable, fed with series through a pipe while the test runs
cables=0
plug_in() {
  cables=$((cables + 1))
  local ends="$work/cable$cables"
  socat "pty,raw,echo=0,link=$ends.a" "pty,raw,echo=0,link=$ends.b" 2>>"$work/socat.log" &
  cable_pid=$!
  e2e_track "$cable_pid"
  e2e_poll 100 test -e "$ends.b" || e2e_fail "socat did not start"
  e2e_start_sam "$sim" --port "$ends.a"
  port="$(readlink -f "$ends.b")"
  port="${port#/dev/}"
  if [ -n "$dev_link" ]; then
    ln -sfn "/dev/$port" "/dev/$dev_link"
    port="$dev_link"
  fi
}
pull_out() {
  kill "$e2e_sam_pid" "$cable_pid"
  [ -z "$dev_link" ] || rm -f "/dev/$dev_link"
}
plug_in

# --- the configuration file, two profiles: "Verein" writes Protokoll1.rls, "Training"
# Protokoll2.rls; both a SAM 4000 (machine 1) on the stand-in's port, ring value and divisor with
# tenths, ";" between elements, line feeds after shot and series.
conf=TFXConf.cnf
profiles=()
profile() { # profile NAME PROTOCOL-FILE
  profiles+=(--name "$1" --port "$port" --machine 1 --tenths 1 --separators 59,10,10
    --elements 0,1,4,5 --record 2,3 --file "$work/start/$2")
}
profile Verein Protokoll1.rls
profile Training Protokoll2.rls
"$(dirname "$sim")/trefflux-profil" "$conf" "${profiles[@]}"

# --- windows of the program
# The tray icon: the program's window inside the tray host's panel.
tray_icon() {
  local panel
  panel="$(xdotool search --name '^panel$' | head -n 1)"
  [ -n "$panel" ] || return 1
  xwininfo -tree -id "$panel" | sed -n 's/^ *\(0x[0-9a-f]*\) "Ringlesemaschine": ("trefflux".*/\1/p' | head -n 1
}
has_tray_icon() { [ -n "$(tray_icon)" ]; }
# A popup menu: a mapped top-level window of the program named like it (the tray icon lies inside
# the tray host's panel, the settings window and the message boxes have titles of their own).
popup_menu() { e2e_visible_any Ringlesemaschine trefflux -children; }
has_popup_menu() { [ -n "$(popup_menu)" ]; }
no_popup_menu() { ! has_popup_menu; }
settings_window() { e2e_visible_window 'Einstellungen Trefflux'; }
has_settings_window() { [ -n "$(settings_window)" ]; }
no_settings_window() { ! has_settings_window; }
click_icon() { # click_icon BUTTON [REPEAT]
  xdotool mousemove --window "$(tray_icon)" 10 10 click --repeat "${2:-1}" --delay 100 "$1"
}
# A right click that opens the menu. Under Xvfb and trayer about one right click in ten opens no
# menu (the cause is not known yet); a second click, as a user would give, opens it.
right_click_menu() {
  click_icon 3
  e2e_poll 30 has_popup_menu && return 0
  echo "note: the right click opened no menu; clicking again"
  click_icon 3
  e2e_poll 50 has_popup_menu || e2e_fail "no menu after a right click"
}
# The mean brightness (0..1) of a box of a screenshot: WIDTHxHEIGHT+X+Y.
brightness() { convert "$1" -crop "$2" +repage -colorspace gray -format '%[fx:mean]' info:; }
# Opens the profile menu, keeps a screenshot and says which of its two items carries the check
# mark: the check box of the checked item is darker than the other. A menu that is mapped but not
# painted yet is shot again, up to 20 times.
checked_profile() { # checked_profile SCREENSHOT-NAME
  click_icon 1
  e2e_poll 50 has_popup_menu || e2e_fail "no profile menu after a left click"
  local menu upper lower try
  menu="$(popup_menu)"
  eval "$(xdotool getwindowgeometry --shell "$menu")"
  [ "$HEIGHT" -gt 30 ] || e2e_fail "the profile menu has one item only (height $HEIGHT)"
  checked=0
  e2e_shot "$1"
  for ((try = 0; try < 20; try++)); do
    upper="$(brightness "$e2e_last_shot" "24x$((HEIGHT / 2 - 4))+$X+$((Y + 2))")"
    lower="$(brightness "$e2e_last_shot" "24x$((HEIGHT / 2 - 4))+$X+$((Y + HEIGHT / 2 + 2))")"
    if awk -v a="$upper" -v b="$lower" 'BEGIN { exit !(a + 0.02 < b) }'; then
      checked=1
    elif awk -v a="$upper" -v b="$lower" 'BEGIN { exit !(b + 0.02 < a) }'; then
      checked=2
    fi
    [ "$checked" != 0 ] && return 0
    sleep 0.1
    import -window root "$e2e_last_shot"
  done
  e2e_fail "no check mark told apart in the profile menu ($upper, $lower): see $e2e_last_shot"
}

# --- 1. start: the icon appears in the tray, the window stays hidden, the machine is signed on
"$bin" >"$work/trefflux.log" 2>&1 &
pid=$!
e2e_track "$pid"
icon_or_ended() { has_tray_icon || e2e_gone "$pid"; }
e2e_poll 300 icon_or_ended && has_tray_icon || e2e_fail "no tray icon: $(cat "$work/trefflux.log")"
e2e_poll 100 e2e_at_least e2e_sign_ons 1 || e2e_fail "the program did not sign on at the machine"
has_settings_window && e2e_fail "the settings window is open although the profiles were loaded"
e2e_shot "tray-icon"
echo "ok: tray icon, machine signed on"

# --- 2. left click: profile menu, check mark at "Verein"; choosing "Training" reconnects
checked_profile "profile-menu"
[ "$checked" = 1 ] || e2e_fail "the check mark is not at the active profile"
xdotool key Down Down Return
e2e_poll 50 no_popup_menu || e2e_fail "the profile menu stayed open"
e2e_poll 100 e2e_at_least e2e_sign_offs 1 || e2e_fail "choosing a profile did not close the machine's port"
e2e_poll 100 e2e_at_least e2e_sign_ons 2 || e2e_fail "choosing a profile did not open the machine's port again"
checked_profile "profile-menu-after-change"
[ "$checked" = 2 ] || e2e_fail "the check mark did not move to the chosen profile"
xdotool key Escape
e2e_poll 50 no_popup_menu || e2e_fail "Escape did not close the profile menu"
echo "ok: profile menu with check mark, the chosen profile reconnected the machine"

# --- 3. double click: the settings window; Escape hides it again
click_icon 1 2
e2e_poll 50 has_settings_window || e2e_fail "no settings window after a double click"
e2e_poll 20 no_popup_menu || e2e_fail "the profile menu stayed open over the settings window"
e2e_shot "settings-window"
xdotool windowactivate --sync "$(settings_window)" key Escape
e2e_poll 50 no_settings_window || e2e_fail "Escape did not hide the settings window"
echo "ok: double click opens the settings window"

# --- 4. right click: "&Einstellungen" and "&Beenden"; E opens the window
right_click_menu
e2e_shot "context-menu"
xdotool key e
e2e_poll 50 has_settings_window || e2e_fail "\"&Einstellungen\" did not open the settings window"
xdotool windowactivate --sync "$(settings_window)" key Escape
e2e_poll 50 no_settings_window || e2e_fail "Escape did not hide the settings window"
echo "ok: right click menu, \"&Einstellungen\" opens the settings window"

# --- 5. a series: the active profile's protocol file and the clipboard, byte for byte
# The series exactly once: a port opens with an empty input queue, so an answer the stand-in gave
# to the last poll before the profile change closed the port cannot put the new worker one answer
# behind (which would write the series twice).
e2e_series_arrives Protokoll2.rls
[ -e Protokoll1.rls ] && e2e_fail "the series went to the protocol file of the profile left"
# For the person looking at the screenshots: what the file and the clipboard hold.
{
  echo "Protokoll2.rls:"
  cat Protokoll2.rls
  echo "xclip -o -selection clipboard:"
  e2e_clipboard
} >"$work/shown.txt"
xmessage -geometry +40+40 -file "$work/shown.txt" &
shown=$!
e2e_track "$shown"
e2e_poll 50 e2e_visible_any xmessage || true
e2e_shot "series-written"
kill "$shown" 2>/dev/null || true
echo "ok: series in Protokoll2.rls and on the clipboard byte for byte"

# --- 6. a second copy: "läuft bereits!", Return, exit code 0; the first copy is untouched
# (The first one saves the profiles with every change, the choice in the tray included.)
conf_inode="$(stat -c %i "$conf")"
"$bin" >"$work/second.log" 2>&1 &
second=$!
e2e_track "$second"
has_message() { [ -n "$(e2e_visible_window Meldung)" ]; }
e2e_poll 300 has_message || e2e_fail "the second copy showed no message"
e2e_shot "second-copy"
xdotool windowactivate --sync "$(e2e_visible_window Meldung)" key Return
e2e_poll 100 e2e_gone "$second" || e2e_fail "the second copy did not end after OK"
status=0
wait "$second" || status=$?
[ "$status" -eq 0 ] || e2e_fail "the second copy ended with $status"
kill -0 "$pid" 2>/dev/null || e2e_fail "the first copy ended too"
has_tray_icon || e2e_fail "the first copy's tray icon is gone"
e2e_file_is Protokoll2.rls "$e2e_series_file" || {
  od -c Protokoll2.rls
  grep -v -e "<- 05$" -e "-> 15$" "$work/sim.log" | tail -40
  e2e_fail "the protocol file holds something other than the series after the second copy"
}
[ "$(stat -c %i "$conf")" = "$conf_inode" ] || e2e_fail "the second copy wrote the configuration file"
echo "ok: a second copy reports the running one and ends with 0"

# --- 7. the cable pulled and back
if [ -n "$dev_link" ]; then
  # The share of clearly red pixels in the tray icon: the crossed-out target is mostly red lines,
  # the target itself has a red dot only.
  icon_redness() {
    eval "$(xdotool getwindowgeometry --shell "$(tray_icon)")"
    import -window root "$work/screen.png"
    convert "$work/screen.png" -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage -fx '(r-g>0.3)?1:0' -format '%[fx:mean]' info:
  }
  crossed_out() { awk -v v="$(icon_redness)" 'BEGIN { exit !(v > 0.04) }'; }
  not_crossed_out() { awk -v v="$(icon_redness)" 'BEGIN { exit !(v < 0.04) }'; }
  # The mouse resting on the icon shows its tooltip (after a move within the icon).
  tooltip_shot() {
    xdotool mousemove --window "$(tray_icon)" 10 10
    sleep 0.3
    xdotool mousemove_relative 1 1
    sleep 1.5
    e2e_shot "$1"
    xdotool mousemove 500 300
  }
  has_error() { [ -n "$(e2e_visible_window Fehler)" ]; }
  not_crossed_out || e2e_fail "the icon is crossed out with the machine connected"
  tooltip_shot "cable-in"
  pull_out
  e2e_poll 300 has_error || e2e_fail "the pulled cable was not told"
  e2e_poll 50 crossed_out || e2e_fail "the icon does not show that the machine is gone"
  e2e_shot "cable-pulled"
  xdotool windowactivate --sync "$(e2e_visible_window Fehler)" key Return
  e2e_poll 50 has_settings_window || e2e_fail "the settings window did not come up with the loss"
  xdotool windowactivate --sync "$(settings_window)" key Escape
  e2e_poll 50 no_settings_window || e2e_fail "Escape did not hide the settings window"
  sleep 6 # an attempt in vain meanwhile: not told again
  has_error && e2e_fail "the loss was told a second time"
  tooltip_shot "cable-pulled-tooltip"
  sign_ons="$(e2e_sign_ons)"
  plug_in
  e2e_poll 150 e2e_at_least e2e_sign_ons $((sign_ons + 1)) || e2e_fail "the machine was not taken up again"
  log="$HOME/.local/state/trefflux/uebertragung.log"
  e2e_poll 100 grep -q "SAM an $dev_link ist wieder verbunden." "$log" || e2e_fail "the return was not told"
  e2e_poll 50 not_crossed_out || e2e_fail "the icon does not show the machine back"
  e2e_shot "cable-back"
  has_error && e2e_fail "the return came as a box"
  rm Protokoll2.rls
  e2e_series_arrives Protokoll2.rls
  tooltip_shot "cable-back-tooltip"
  echo "ok: a pulled cable told once and shown at the icon, the machine back by itself, the next series written"
else
  echo "note: /dev cannot be written here: the cable is not pulled"
fi

# --- 8. "&Beenden" from the right-click menu, "Wirklich beenden ?" answered with J(a)
right_click_menu
xdotool key b
has_question() { [ -n "$(e2e_visible_window Hinweis)" ]; }
e2e_poll 100 has_question || e2e_fail "no question after \"&Beenden\""
e2e_shot "really-end"
xdotool windowactivate --sync "$(e2e_visible_window Hinweis)" key j
e2e_poll 200 e2e_gone "$pid" || e2e_fail "the program did not end after \"Ja\""
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || e2e_fail "the program ended with $status: $(cat "$work/trefflux.log")"
has_tray_icon && e2e_fail "the tray icon is still there"
[ "$(stat -c %i "$conf")" != "$conf_inode" ] || e2e_fail "the profiles were not saved"
[ "$(stat -c %s "$conf")" -eq 1513 ] || e2e_fail "the saved configuration file has $(stat -c %s "$conf") bytes"
grep -q Verein "$conf" && grep -q Training "$conf" || e2e_fail "a profile is missing in the saved file"
e2e_poll 50 e2e_at_least e2e_sign_offs 2 || e2e_fail "the program did not sign off at the machine"
e2e_shot "ended"
echo "ok: \"&Beenden\" saved the profiles and removed the tray icon"

# --- 8. kill -9 at the moments where nothing but the journal holds an acknowledged series
start_program() {
  "$bin" >>"$work/trefflux.log" 2>&1 &
  pid=$!
  e2e_track "$pid"
}
crash() {
  sleep 1 # the journal has what the machine handed over within a second
  kill -KILL "$pid"
  wait "$pid" 2>/dev/null || true
}
has_message() { [ -n "$(e2e_visible_window Meldung)" ]; }
# The restart's message about what it wrote, answered.
restart_told() { # restart_told SCREENSHOT-NAME
  start_program
  e2e_poll 300 has_message || e2e_fail "the restart did not say what it wrote: $(cat "$work/trefflux.log")"
  e2e_shot "$1"
  xdotool windowactivate --sync "$(e2e_visible_window Meldung)" key Return
}
profile_file() { # profile_file NAME PROTOCOL-FILE [FIELD VALUE]...
  local name="$1" file="$2"
  shift 2
  "$(dirname "$sim")/trefflux-profil" "$conf" --name "$name" --port "$port" --machine 1 --tenths 1 \
    --separators 59,10,10 --elements 0,1,4,5 --record 2,3 --file "$work/start/$file" "$@"
}

# 8a. A folder stands where the protocol file should be: the series is kept, then the crash.
mkdir Protokoll1.rls
start_program
e2e_poll 100 e2e_at_least e2e_sign_ons 3 || e2e_fail "the program did not sign on again"
echo "LG 1 10.4/123.4/12/-5 9.7/5.0/0/3" >&7
has_error() { [ -n "$(e2e_visible_window Fehler)" ]; }
e2e_poll 100 has_error || e2e_fail "the protocol file that cannot be written was not told"
crash
rmdir Protokoll1.rls
restart_told "restart-after-kill-file-fault"
e2e_poll 100 e2e_file_is Protokoll1.rls "$e2e_series_file" || e2e_fail "the series kept at the kill is not in Protokoll1.rls"
echo "ok: kill -9 while the protocol file could not be written: the restart wrote the series"

# 8b. Only one record in the file, with the warning: the file still holds one, the warning is open.
crash
profile_file Einzel Protokoll1.rls --mode 1 --warn 1
start_program
has_warning() { [ -n "$(e2e_visible_window Warnung)" ]; }
echo "LG 1 8.1/300.0/1/1" >&7
e2e_poll 300 has_warning || e2e_fail "no overwrite warning"
e2e_shot "overwrite-warning"
crash
rm Protokoll1.rls # the results program took its record
restart_told "restart-after-kill-warning"
e2e_poll 100 e2e_file_is Protokoll1.rls $'8,1;300,0;\n\n' || e2e_fail "the series held by the warning is not in Protokoll1.rls"
echo "ok: kill -9 while the overwrite warning was open: the restart wrote the series"

# 8c. A Disag series breaks off after three of its five shots; the crash comes before its end.
crash
printf '%s\n' abbruch "LG 1 8.0/50.0/1/1 7.0/60.0/1/1 6.0/70.0/1/1" >"$work/disag.script"
e2e_start_stand_in "$work/disag.out" disag --datei "$work/disag.script" --log "$work/disag.log" ||
  e2e_fail "trefflux-sim disag did not start"
"$(dirname "$sim")/trefflux-profil" "$conf" --name Disag --port "$port" \
  --machine 2 --tenths 1 --separators 59,10,10 --elements 0,1 --record 2,3,4,5 --file "$work/start/Disag.rls" \
  --shots 5 --strip-shots 1 --strip-text Text --divisor-limit 250
start_program
e2e_poll 300 grep -q 'Serie vor WSE abgebrochen' "$work/disag.log" || e2e_fail "the Disag's series did not break off"
crash
restart_told "restart-after-kill-disag"
unfinished="$(ls Trefflux-unvollstaendige-Serie-*.rls 2>/dev/null || true)"
[ -n "$unfinished" ] && [ "$(grep -c '^[0-9]' "$unfinished")" -eq 3 ] ||
  e2e_fail "the three shots are not in a Trefflux-unvollstaendige-Serie file: $(cat "$unfinished" 2>/dev/null)"
[ -e Disag.rls ] && e2e_fail "the unfinished series reached the protocol file"
kill -TERM "$pid"
e2e_poll 200 e2e_gone "$pid" || e2e_fail "the program did not end on SIGTERM"
ls "$HOME"/.local/state/trefflux/serien-*.journal 2>/dev/null && e2e_fail "a journal stayed behind after every series was written"
echo "ok: kill -9 after three Disag shots: the restart put them into $unfinished"
