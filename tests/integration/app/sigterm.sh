#!/usr/bin/env bash
# Starts the program in an empty start directory, ends it with SIGTERM, and again with SIGHUP (a
# closed terminal, a service manager), and checks each time that it exited with 0 and saved the
# default profile (757 bytes).
set -euo pipefail
bin="$1"
source "$(dirname "${BASH_SOURCE[0]}")/../../support/e2e.sh"
work="$e2e_work"

for signal in TERM HUP; do
  start="$work/start-$signal"
  mkdir "$start"
  cd "$start"
  "$bin" &
  pid=$!
  # The lock file appears once the program holds its single-instance guard; signals are caught
  # from before that moment.
  for _ in $(seq 1 300); do
    [ -e "$XDG_RUNTIME_DIR/DuzavozozMutex.lock" ] && break
    kill -0 "$pid" 2>/dev/null || { echo "program ended early"; exit 1; }
    sleep 0.1
  done
  [ -e "$XDG_RUNTIME_DIR/DuzavozozMutex.lock" ] || { echo "program did not start"; kill -9 "$pid"; exit 1; }

  kill -"$signal" "$pid"
  status=0
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || { echo "SIG$signal: exit code $status"; exit 1; }

  size=$(stat -c %s TFXConf.cnf)
  [ "$size" -eq 757 ] || { echo "SIG$signal: TFXConf.cnf has $size bytes"; exit 1; }
  # Byte 0 is the version, the name follows; the protocol file lies in the start directory.
  [ "$(head -c 1 TFXConf.cnf | od -An -tu1 | tr -d ' ')" = 2 ] || { echo "bad version byte"; exit 1; }
  grep -q "Standardprofil" TFXConf.cnf || { echo "no default profile"; exit 1; }
  grep -q "$start/Protokoll1.rls" TFXConf.cnf || { echo "wrong protocol file"; exit 1; }
  echo "saved 757 bytes on SIG$signal"
  rm -f "$XDG_RUNTIME_DIR/DuzavozozMutex.lock"
done
