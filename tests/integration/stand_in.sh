# Shared by the offscreen end-to-end scripts (sourced after $sim is set): the scratch folder of
# tests/support/e2e.sh as $work with an empty start directory as the current one; the stand-in
# machine on a pseudo-terminal; $profil, the tool that writes the configuration file (built next to
# trefflux-sim); the program started in the start directory and ended, and its first protocol file.
source "$(dirname "${BASH_SOURCE[0]}")/../support/e2e.sh"
work="$e2e_work"
mkdir -m 700 "$work/start"
cd "$work/start"

# start_stand_in KIND ARGS...: starts trefflux-sim and waits until it names its port.
start_stand_in() {
  e2e_start_stand_in "$work/sim.out" "$@" --log "$work/sim.log" ||
    { echo "trefflux-sim did not start"; cat "$work/sim.out"; exit 1; }
}

# start_program: starts the program ($bin) in the start directory; sets pid, ended at exit.
start_program() {
  "$bin" &
  pid=$!
  e2e_track "$pid"
}

# end_program: ends the program with SIGTERM; fails unless it ends with status 0.
end_program() {
  local status=0
  kill -TERM "$pid"
  wait "$pid" || status=$?
  pid=""
  [ "$status" -eq 0 ] || { echo "exit code $status"; exit 1; }
}

# expect_protocol TEXT: waits until Protokoll1.rls holds TEXT byte for byte while the program
# runs; otherwise shows the file and the machine's log, and fails.
expect_protocol() {
  local _
  for _ in $(seq 1 200); do
    [ -f Protokoll1.rls ] && [ "$(cat Protokoll1.rls; printf x)" = "${1}x" ] && break
    kill -0 "$pid" 2>/dev/null || { echo "program ended early"; exit 1; }
    sleep 0.1
  done
  if [ "$(cat Protokoll1.rls 2>/dev/null; printf x)" != "${1}x" ]; then
    echo "protocol file:"; od -c Protokoll1.rls 2>/dev/null || echo "(none)"
    echo "machine log:"; tail -50 "$work/sim.log"
    exit 1
  fi
}

profil="$(dirname "$sim")/trefflux-profil"
[ -x "$profil" ] || { echo "$profil is missing: build the target trefflux-profil"; exit 1; }
