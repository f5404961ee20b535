#!/usr/bin/env bash
# A series of the Disag RM III in its older remote program through the real program:
# trefflux-sim plays the machine on a pseudo-terminal, the program starts with a profile of
# machine 3 on that port and sends the profile's settings string; the machine sends its result
# lines, "SCHEIBE" after two shots and "ENDE", and the series must arrive in the protocol file.
set -euo pipefail
bin="$1"
sim="$2"
. "$(dirname "${BASH_SOURCE[0]}")/../stand_in.sh"

# Ring/divisor/X/Y per shot, X and Y in hundredths of a ring as the machine prints them.
start_stand_in rm3 "LG 1 10.6/749.1/-0.08/0.31 9.0/5.0/1.33/-0.14 8.7/123.4/2.82/-2.75"

# Machine 3; LG 10er-Band (the profile's first target), 10 shots, tenths, limit 250, printer
# off, 2 shots per target; separators ";", LF, LF; every element in the record.
"$profil" TFXConf.cnf --name Fern --port "$port" --machine 3 --tenths 1 --separators 59,10,10 \
  --elements 0,1,2,3,4,5 --record 0,1,2,3,4,5 --file "$work/start/Protokoll1.rls" \
  --shots 10 --strip-shots 2 --strip-text Text --divisor-limit 250

start_program
# Rings and divisors in tenths with a comma, X and Y as whole hundredths (-0.08 gives -8).
expect_protocol $'LG;1;10,6;749,1;-8;31;\nLG;1;9,0; 5,0;133;-14;\nLG;1;8,7;123,4;282;-275;\n\n'

# digits: weapon 1, target 3 (10er-Band), series 1 (10 shots), 5 (tenths), 07 (250), 2, printer
# off 2, 2 shots per target; then the target text.
grep -qF '131507222Text' "$work/sim.log" || { echo "settings string not sent"; cat "$work/sim.log"; exit 1; }

end_program
echo "Disag RM III (FERN) series written to the protocol file after the profile's settings string"
