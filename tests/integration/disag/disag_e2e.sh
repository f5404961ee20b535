#!/usr/bin/env bash
# A Disag series through the real program: trefflux-sim plays a Disag RM in remote mode on a
# pseudo-terminal, the program starts with a Disag profile on that port, and the series must
# arrive in the protocol file; the machine must have received the profile's settings string at
# opening and again after the end of the series. The profile counts whole rings, so the machine
# sends whole rings ("RIA=GR"); it joins the two shots into one line, and that line arrives
# damaged once: the program refuses it (NAK) and writes the resend once.
set -euo pipefail
bin="$1"
sim="$2"
. "$(dirname "${BASH_SOURCE[0]}")/../stand_in.sh"

# The machine: two shots, at 90 and at 0 degrees, in one line (line 2, after "STA").
start_stand_in disag --schuesse-je-zeile 2 --zeile-beschaedigt 2 "LG 1 10.4/123.4/0/1 9.7/5.0/1/0"

# Machine 2 (Disag RM II/III/IV); separators ";", LF, LF; every element in the record.
"$profil" TFXConf.cnf --name Disag --port "$port" --machine 2 --tenths 0 --separators 59,10,10 \
  --elements 0,1,2,3,4,5 --record 0,1,2,3,4,5 --file "$work/start/Protokoll1.rls" \
  --shots 10 --strip-shots 1 --strip-text Text --divisor-limit 250

export XDG_STATE_HOME="$work/state" # the transmission log
start_program
expect_protocol $'LG;1;10;123,4;0;123;\nLG;1; 9; 5,0;5;0;\n\n'

settings='Einstellung: SCH=LG10;RIA=GR;KAL=22;RIB=RB;TEA=ZT;TEG=250;SSC=1;SGE=10;SZI=0;KSD;DRT=Text'
for _ in $(seq 1 50); do
  [ "$(grep -cF "$settings" "$work/sim.log")" -ge 2 ] && break
  sleep 0.1
done
count="$(grep -cF "$settings" "$work/sim.log" || true)"
[ "$count" -eq 2 ] || { echo "settings string sent $count times"; cat "$work/sim.log"; exit 1; }
grep -q 'Zeile 2: SCH=1;10;123.4;90.0;G;2;9;5.0;0.0;G' "$work/sim.log" &&
  [ "$(grep -c 'Zeile 2 abgelehnt' "$work/sim.log")" -eq 1 ] ||
  { echo "the damaged line was not refused once"; cat "$work/sim.log"; exit 1; }
# The refused line stands in the transmission log as it came, with the flag the line damaged.
log="$XDG_STATE_HOME/trefflux/uebertragung.log"
refused='abgelehnt (NAK): SCH=1;10;123.4;90.0;G;2;9;5.0;0.0;F'
for _ in $(seq 1 50); do
  grep -qF "$refused" "$log" 2>/dev/null && break
  sleep 0.1
done
grep -qF "$refused" "$log" || { echo "the refused line is not in the transmission log"; cat "$log"; exit 1; }

end_program
echo "Disag series in whole rings written to the protocol file, its damaged line refused once;" \
  "settings sent at opening and after the series"
