#!/usr/bin/env bash
# A Disag series through the real program: trefflux-sim plays a Disag RM in remote mode on a
# pseudo-terminal, the program starts with a Disag profile on that port, and the series must
# arrive in the protocol file; the machine must have received the profile's settings string at
# opening and again after the end of the series.
set -euo pipefail
bin="$1"
sim="$2"
. "$(dirname "${BASH_SOURCE[0]}")/../stand_in.sh"

# The machine: two shots, at 90 and at 0 degrees.
start_stand_in disag "LG 1 10.4/123.4/0/1 9.7/5.0/1/0"

new_conf
text 1 'Disag'                                   # Name
text 101 "$port"                                 # Port
put 113 "$(i32 2)"                              # Maschine: Disag RM II/III/IV
put 125 "$(i32 1)"                              # Zehntelringe
put 145 "$(i32 59)$(i32 10)$(i32 10)"           # separators: ";", LF, LF
put 157 '\000\001\002\003\004\005'              # Elemente
put 163 '\000\001\002\003\004\005'              # Datensatz: every element
text 169 "$work/start/Protokoll1.rls"            # Dateiname
put 685 "$(i32 10)"                             # Gesamtschusszahl
put 693 "$(i32 1)"                              # Scheibenschusszahl
text 697 'Text'                                  # Scheibentext
put 753 "$(i32 250)"                            # Teilergrenze

"$bin" &
pid=$!
expected=$'LG;1;10,4;123,4;0;123;\nLG;1;9,7; 5,0;5;0;\n\n'
for _ in $(seq 1 200); do
  [ -f Protokoll1.rls ] && [ "$(cat Protokoll1.rls; printf x)" = "${expected}x" ] && break
  kill -0 "$pid" 2>/dev/null || { echo "program ended early"; exit 1; }
  sleep 0.1
done
if [ "$(cat Protokoll1.rls 2>/dev/null; printf x)" != "${expected}x" ]; then
  echo "protocol file:"; od -c Protokoll1.rls 2>/dev/null || echo "(none)"
  echo "machine log:"; cat "$work/sim.log"
  exit 1
fi

settings='Einstellung: SCH=LG10;RIA=ZR;KAL=22;RIB=RB;TEA=ZT;TEG=250;SSC=1;SGE=10;SZI=0;KSD;DRT=Text'
for _ in $(seq 1 50); do
  [ "$(grep -cF "$settings" "$work/sim.log")" -ge 2 ] && break
  sleep 0.1
done
count="$(grep -cF "$settings" "$work/sim.log" || true)"
[ "$count" -eq 2 ] || { echo "settings string sent $count times"; cat "$work/sim.log"; exit 1; }

kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || { echo "exit code $status"; exit 1; }
echo "Disag series written to the protocol file; settings sent at opening and after the series"
