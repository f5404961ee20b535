#!/usr/bin/env bash
# Installs the Debian package with apt-get, checks what it put where (also the service: the system
# user trefflux in dialout, the unit, the manual pages), starts the installed program
# from its menu entry's command line on a private X display with a tray (a first start in an empty
# directory: tray icon and settings window), ends it with SIGTERM (profiles saved, exit code 0) and
# removes the package again. This changes the system: it is run by hand, as root, never by ctest.
# Usage: tests/e2e/package.sh [path/to/trefflux_VERSION_ARCH.deb [SCREENSHOT-FOLDER]]
# Without a package it builds one first: what is missing installed (scripts/deps), the release
# build in build/, and the package beside it with cpack.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
[ "$(id -u)" -eq 0 ] || { echo "run as root: the package is installed and removed" >&2; exit 2; }
if [ -n "${1:-}" ]; then
  deb="$(realpath "$1")"
else
  echo "== the package: release build in build/, cpack"
  "$root/scripts/deps"
  cmake --preset release -S "$root" >/dev/null
  cmake --build "$root/build" -j"$(nproc)"
  version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$root/build/CMakeCache.txt")"
  deb="$root/build/trefflux_${version}_$(dpkg --print-architecture).deb"
  rm -f "$deb"
  (cd "$root/build" && cpack -G DEB >/dev/null)
fi
[ -f "$deb" ] || { echo "no package ${1:-$deb}" >&2; exit 2; }
source "$(dirname "${BASH_SOURCE[0]}")/desktop.sh"
installed=0
finish() {
  if [ "$installed" = 1 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq trefflux >/dev/null || echo "removing trefflux failed" >&2
  fi
  e2e_cleanup
}
trap finish EXIT

echo "== dpkg-deb --field"
dpkg-deb --field "$deb"
depends="$(dpkg-deb --field "$deb" Depends)"
for lib in libqt6widgets6 libqt6gui6 libqt6core6 qt6-qpa-plugins; do
  grep -q "$lib" <<<"$depends" || e2e_fail "the package does not depend on $lib"
done

echo "== apt-get install"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
installed=1
for f in /usr/bin/trefflux /usr/bin/trefflux-sim /usr/share/applications/trefflux.desktop \
  /usr/share/icons/hicolor/scalable/apps/trefflux.svg /usr/share/trefflux/trefflux-autostart.desktop \
  /usr/bin/trefflux-headless /usr/lib/systemd/system/trefflux@.service /usr/share/man/man1/trefflux.1 \
  /usr/share/man/man1/trefflux-sim.1 /usr/share/man/man1/trefflux-headless.1 \
  /usr/share/doc/trefflux/99-trefflux.rules.example; do
  [ -e "$f" ] || e2e_fail "$f is not installed"
done
echo "== the service's system user and unit"
getent passwd trefflux >/dev/null || e2e_fail "the package did not create the user trefflux"
id -nG trefflux | grep -qw dialout || e2e_fail "the user trefflux is not in the group dialout"
[ "$(stat -c %U /var/lib/trefflux)" = trefflux ] || e2e_fail "/var/lib/trefflux does not belong to trefflux"
systemd-analyze verify /usr/lib/systemd/system/trefflux@.service
systemd-analyze security --offline=yes /usr/lib/systemd/system/trefflux@.service | tail -n 1
/usr/bin/trefflux-headless --version
man -w trefflux-headless >/dev/null || e2e_fail "no manual page for trefflux-headless"
grep -q '^Name\[de\]=' /usr/share/applications/trefflux.desktop || e2e_fail "no German name in the menu entry"
grep -q '^Comment\[de\]=' /usr/share/applications/trefflux.desktop || e2e_fail "no German comment in the menu entry"
desktop-file-validate /usr/share/applications/trefflux.desktop /usr/share/trefflux/trefflux-autostart.desktop ||
  e2e_fail "a desktop entry is not valid"
/usr/bin/trefflux-sim --help | head -n 1

echo "== the menu entry's command line on a desktop with a tray"
e2e_start_desktop "${2:-$e2e_work/shots}"
command="$(sed -n 's/^Exec=//p' /usr/share/applications/trefflux.desktop)"
[ -n "$command" ] || e2e_fail "the menu entry has no Exec line"
mkdir "$e2e_work/start"
cd "$e2e_work/start"
sh -c "exec $command" >"$e2e_work/trefflux.log" 2>&1 &
pid=$!
e2e_track "$pid"
tray_icon() {
  local panel
  panel="$(xdotool search --name '^panel$' | head -n 1)"
  xwininfo -tree -id "$panel" | grep -qF '"Ringlesemaschine": ("trefflux"'
}
settings_window() { e2e_visible_window 'Einstellungen Trefflux' >/dev/null; }
e2e_poll 300 tray_icon || e2e_fail "no tray icon: $(cat "$e2e_work/trefflux.log")"
e2e_poll 100 settings_window || e2e_fail "the first start did not open the settings window"
e2e_shot "installed-first-start"
kill -TERM "$pid"
status=0
e2e_poll 100 e2e_gone "$pid" || e2e_fail "the program did not end on SIGTERM"
wait "$pid" || status=$?
[ "$status" -eq 0 ] || e2e_fail "exit code $status"
[ "$(stat -c %s TFXConf.cnf)" -eq 757 ] || e2e_fail "the default profile was not saved"
echo "ok: \"$command\" started the installed program with its tray icon; it saved and ended on SIGTERM"

echo "== apt-get remove"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq trefflux >/dev/null
installed=0
[ ! -e /usr/bin/trefflux ] || e2e_fail "/usr/bin/trefflux is still there"
echo "ok: package installed, started from the menu entry's command line, removed"
