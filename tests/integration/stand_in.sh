# Shared by the offscreen end-to-end scripts (sourced after $sim is set): a scratch $work with an
# empty start directory as the current one, cleaned up with the program ($pid) and the stand-in
# machine ($simpid) at exit; the stand-in on a pseudo-terminal; $profil, the tool that writes the
# configuration file (built next to trefflux-sim).
work="$(mktemp -d)"
simpid=""
pid=""
cleanup() {
  [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
  [ -n "$simpid" ] && kill -TERM "$simpid" 2>/dev/null && wait "$simpid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 "$XDG_RUNTIME_DIR" "$work/start"
cd "$work/start"

# start_stand_in KIND ARGS...: starts trefflux-sim and waits until it names its port.
start_stand_in() {
  "$sim" "$@" --log "$work/sim.log" > "$work/sim.out" 2>&1 &
  simpid=$!
  port=""
  for _ in $(seq 1 100); do
    port="$(sed -n 's/^Port: //p' "$work/sim.out")"
    [ -n "$port" ] && break
    sleep 0.1
  done
  [ -n "$port" ] || { echo "trefflux-sim did not start"; cat "$work/sim.out"; exit 1; }
}

profil="$(dirname "$sim")/trefflux-profil"
[ -x "$profil" ] || { echo "$profil is missing: build the target trefflux-profil"; exit 1; }
