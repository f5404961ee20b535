#!/usr/bin/env bash
# A series through the real program: trefflux-sim plays a SAM 4000 or a Rika SAG-1 on a
# pseudo-terminal, the program starts in an empty start directory with one profile for that
# machine on that port, and the series must land in Protokoll1.rls byte for byte. On SIGTERM
# the program ends with 0 and signs off at the machine.
# Usage: machine_e2e.sh TREFFLUX TREFFLUX-SIM sam|rika
set -euo pipefail
bin="$1"
sim="$2"
kind="$3"
. "$(dirname "${BASH_SOURCE[0]}")/../stand_in.sh"

case "$kind" in
  sam) maschine=1; signoff='<- .*B0' ;;
  rika) maschine=0; signoff='<- .*D0' ;;
  *) echo "unknown machine $kind"; exit 2 ;;
esac

# The machine holds the example series: 10.4 rings with divisor 123.4, 9.7 with 5.0.
start_stand_in "$kind" "LG 1 10.4/123.4/12/-5 9.7/5.0/0/3"

# Separators ";", LF, LF; the record "Ringwert", then "Teiler"; the other elements unused.
"$profil" TFXConf.cnf --name Verein --port "$port" --machine "$maschine" --tenths 1 \
  --separators 59,10,10 --elements 0,1,4,5 --record 2,3 --file "$work/start/Protokoll1.rls"

start_program
expect_protocol $'10,4;123,4;\n9,7; 5,0;\n\n'
# The machine got its confirmation, so it will not offer the series again.
for _ in $(seq 1 50); do
  grep -q 'Serie vom Programm best' "$work/sim.log" && break
  sleep 0.1
done
grep -q 'Serie vom Programm best' "$work/sim.log" || { echo "series not confirmed"; tail -50 "$work/sim.log"; exit 1; }

end_program
grep -q "$signoff" "$work/sim.log" || { echo "the program did not sign off at the machine"; tail -20 "$work/sim.log"; exit 1; }
echo "$kind series written to the protocol file byte for byte; the machine was confirmed and signed off"
