# Shared by the offscreen end-to-end scripts (sourced after $sim is set): a scratch $work with an
# empty start directory as the current one, cleaned up with the program ($pid) and the stand-in
# machine ($simpid) at exit; the stand-in on a pseudo-terminal; a configuration file with one
# profile for it.
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

# The configuration file: version byte 2, then one profile of 756 bytes (little-endian), written
# field by field with put (bytes in printf escapes), text and i32.
conf=TFXConf.cnf
new_conf() { head -c 757 /dev/zero > "$conf"; put 0 '\002'; }
put() { printf "$2" | dd of="$conf" bs=1 seek="$1" conv=notrunc status=none; }
text() { printf '%s' "$2" | dd of="$conf" bs=1 seek="$1" conv=notrunc status=none; }
i32() { printf '\\%03o\\%03o\\%03o\\%03o' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
