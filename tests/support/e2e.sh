# Sourced by the shell tests that run the programs: a scratch folder $e2e_work of their own with a
# private XDG_RUNTIME_DIR, bounded waits, and the stand-in machine started until it names its
# port. e2e_cleanup ends every process handed to e2e_track and removes the folder; it runs on
# EXIT (a script that sets a trap of its own calls it there).

e2e_work="$(mktemp -d)"
e2e_pids=()
export XDG_RUNTIME_DIR="$e2e_work/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# e2e_poll TENTHS COMMAND...: runs COMMAND every 0.1 s until it succeeds, at most TENTHS times.
e2e_poll() {
  local tries="$1" try
  shift
  for ((try = 0; try < tries; try++)); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

# Remembers a background process for the cleanup.
e2e_track() { e2e_pids+=("$1"); }

e2e_gone() { ! kill -0 "$1" 2>/dev/null; }

# What a script keeps of the scratch folder before it is removed (a script redefines it).
e2e_keep() { :; }

# Ends the tracked processes, the last started first (SIGTERM, SIGKILL after 5 s), then removes
# the scratch folder.
e2e_cleanup() {
  local i
  for ((i = ${#e2e_pids[@]} - 1; i >= 0; i--)); do
    kill -TERM "${e2e_pids[i]}" 2>/dev/null || true
  done
  for ((i = ${#e2e_pids[@]} - 1; i >= 0; i--)); do
    e2e_poll 50 e2e_gone "${e2e_pids[i]}" || kill -KILL "${e2e_pids[i]}" 2>/dev/null || true
    wait "${e2e_pids[i]}" 2>/dev/null || true
  done
  e2e_keep
  rm -rf "$e2e_work"
  return 0
}
trap e2e_cleanup EXIT

# e2e_start_stand_in OUT ARGS...: starts trefflux-sim ($sim) with ARGS (the kind first) in the
# background, what it prints going to OUT and its input coming from $e2e_stand_in_input (none
# when unset); tracks it and sets e2e_stand_in_pid. Then waits up to $e2e_stand_in_tenths tenths
# of a second (100 when unset) until it prints its port, and sets port. Fails when it names none.
e2e_start_stand_in() {
  local out="$1"
  shift
  "$sim" "$@" <"${e2e_stand_in_input:-/dev/null}" >"$out" 2>&1 &
  e2e_stand_in_pid=$!
  e2e_track $!
  e2e_poll "${e2e_stand_in_tenths:-100}" grep -q '^Port: ' "$out" || return 1
  port="$(sed -n 's/^Port: //p' "$out")"
}
