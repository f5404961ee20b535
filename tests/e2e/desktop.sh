# Sourced by the end-to-end scripts: the scratch folder, the waits and the stand-in of
# tests/support/e2e.sh, a private X display (Xvfb on a free display number) with a window manager
# (openbox) and an XEmbed system tray (trayer), and screenshots. Every process started here is
# ended by e2e_cleanup, which runs on EXIT.
source "$(dirname "${BASH_SOURCE[0]}")/../support/e2e.sh"

e2e_shots=""
e2e_shot_number=0
e2e_last_shot=""

# No session bus: the program must use the XEmbed tray of the display, not a D-Bus one.
export DBUS_SESSION_BUS_ADDRESS="unix:path=$e2e_work/no-bus"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM SESSION_MANAGER
export QT_QPA_PLATFORM=xcb
export HOME="$e2e_work/home"
mkdir -p "$HOME"

e2e_fail() {
  echo "FAILED: $*" >&2
  [ -n "$e2e_shots" ] && [ -n "${DISPLAY:-}" ] && e2e_shot "failure" 2>/dev/null
  exit 1
}

# The logs of the programs stay beside the screenshots.
e2e_keep() {
  [ -n "$e2e_shots" ] || return 0
  cp "$e2e_work"/*.log "$e2e_shots"/ 2>/dev/null || true
  echo "Screenshots and logs: $e2e_shots"
}

# e2e_start_desktop SHOTDIR: starts the display, the window manager and the tray; sets DISPLAY.
e2e_start_desktop() {
  e2e_shots="$1"
  rm -rf "$e2e_shots"
  mkdir -p "$e2e_shots"
  local fdfile="$e2e_work/display"
  : >"$fdfile"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$fdfile" >"$e2e_work/xvfb.log" 2>&1 &
  e2e_track $!
  e2e_poll 100 test -s "$fdfile" || e2e_fail "Xvfb did not start: $(cat "$e2e_work/xvfb.log")"
  export DISPLAY=":$(tr -d '[:space:]' <"$fdfile")"
  openbox --sm-disable >"$e2e_work/openbox.log" 2>&1 &
  e2e_track $!
  e2e_poll 100 e2e_wm_running || e2e_fail "openbox did not start"
  trayer --edge bottom --align right --widthtype request --height 32 --SetDockType true \
    --transparent false --tint 0xdddddd >"$e2e_work/trayer.log" 2>&1 &
  e2e_track $!
  e2e_poll 100 e2e_tray_window || e2e_fail "trayer did not start"
  echo "Desktop on $DISPLAY"
}

# The window manager has announced itself on the root window.
e2e_wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }

# The tray host owns the tray selection of screen 0 (the program looks for exactly that).
e2e_tray_window() { xdotool search --name '^panel$' >/dev/null; }

# e2e_shot NAME: saves the whole screen as NN-NAME.png in the screenshot folder; the file's
# name is left in e2e_last_shot.
e2e_shot() {
  e2e_shot_number=$((e2e_shot_number + 1))
  e2e_last_shot="$e2e_shots/$(printf '%02d' "$e2e_shot_number")-$1.png"
  import -window root "$e2e_last_shot" || echo "screenshot $e2e_last_shot failed" >&2
}

# e2e_visible_window NAME: prints the id of a mapped window of the program whose title is exactly
# NAME (a plain text, no pattern).
e2e_visible_window() {
  e2e_visible_any "$1" trefflux
}

# e2e_visible_any NAME [CLASS [DEPTH]]: the same for a window of any program (the first word of
# its class); DEPTH -children looks at top-level windows only (default -tree: at all).
e2e_visible_any() {
  local w
  for w in $(xwininfo -root "${3:--tree}" | grep -F "\"$1\": (\"${2:-}" | awk '{ print $1 }'); do
    xwininfo -id "$w" | grep -q 'IsViewable' && { echo "$w"; return 0; }
  done
  return 1
}

# e2e_start_sam SIM [ARGS...]: a stand-in SAM 4000 in the scratch folder, fed with series through
# file descriptor 7 (what a user would type into its window); sets port to the pseudo-terminal
# it prints, and e2e_sam_pid. Its log is $e2e_work/sim.log (a later one's too).
e2e_sams=0
e2e_start_sam() {
  local sim="$1" fifo out
  shift
  e2e_sams=$((e2e_sams + 1))
  fifo="$e2e_work/sim$e2e_sams.in"
  out="$e2e_work/sim$e2e_sams.out"
  mkfifo "$fifo"
  exec 7<>"$fifo" # read and write: neither the stand-in nor this script waits for the other to open it
  e2e_stand_in_input="$fifo" e2e_start_stand_in "$out" sam "$@" --log "$e2e_work/sim.log" ||
    e2e_fail "trefflux-sim did not start: $(cat "$out")"
  e2e_sam_pid=$e2e_stand_in_pid
}

# How often the program has signed on and off at the stand-in machine so far.
e2e_sign_ons() { grep -c 'Programm meldet sich an' "$e2e_work/sim.log" || true; }
e2e_sign_offs() { grep -c 'Programm meldet sich ab' "$e2e_work/sim.log" || true; }
# e2e_at_least COMMAND N: whether COMMAND prints a number of at least N.
e2e_at_least() { [ "$("$1")" -ge "$2" ]; }

# The series e2e_series_arrives sends, as the protocol file and the clipboard hold it in the record
# layout Ringwert, Teiler with ";" between the values and a line feed after shot and series.
e2e_series_file=$'10,4;123,4;\n9,7; 5,0;\n\n'
e2e_series_clip=$'10,4;123,4;\n9,7; 5,0;\n'

# e2e_series_arrives FILE: sends one series of two shots from the stand-in SAM (see
# e2e_start_sam) and waits until FILE and the clipboard hold it byte for byte.
e2e_series_arrives() {
  e2e_series_waits
  e2e_series_written "$1"
}
# e2e_series_waits: that series waits in the stand-in SAM until the program takes it.
e2e_series_waits() {
  local waiting
  waiting="$(grep -c 'Serie wartet' "$e2e_work/sim.log" || true)"
  echo "LG 1 10.4/123.4/12/-5 9.7/5.0/0/3" >&7
  e2e_poll 50 e2e_more_than "$waiting" grep -c 'Serie wartet' "$e2e_work/sim.log" || e2e_fail "the stand-in took no series"
}
# e2e_more_than N COMMAND...: whether COMMAND prints a number above N.
e2e_more_than() { local n="$1"; shift; [ "$("$@" || true)" -gt "$n" ]; }
# e2e_series_written FILE: waits until FILE and the clipboard hold that series byte for byte.
e2e_series_written() {
  e2e_poll 100 e2e_file_is "$1" "$e2e_series_file" || {
    od -c "$1" 2>/dev/null || true
    e2e_fail "the series is not in $1"
  }
  e2e_poll 50 e2e_clipboard_is "$e2e_series_clip" || {
    e2e_clipboard | od -c || true
    e2e_fail "the clipboard does not hold the series text"
  }
}
# e2e_file_is FILE TEXT: whether FILE exists and holds exactly TEXT.
e2e_file_is() { [ -f "$1" ] && [ "$(cat "$1"; printf x)" = "${2}x" ]; }
e2e_clipboard() { timeout 5 xclip -o -selection clipboard; }
e2e_clipboard_is() { [ "$(e2e_clipboard; printf x)" = "${1}x" ]; }
