#!/usr/bin/env bash
# Runs displayprep's main job on the simulated display stack: the typical run
# on a machine with one physical display whose user wants 2560x1440 at 60 Hz.
# It builds, lays out a deployment under build/demo (displayprep-sim.exe, the
# simulated helper wkex.exe, an edid folder made by edidgen, store.dat in its
# own APPDATA), shows the simulated desktop, runs the program, then shows its
# console output, its log, the desktop afterwards, the renamed EDID file and
# every display-configuration change it asked for; and the companion program
# (a recorder in its place) started in the console user's session.
#
#   scripts/demo.sh
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

dp_ensure_packages
dp_build >/dev/null
dp_start_wine

demo=$DP_ROOT/build/demo
rm -rf "$demo"
mkdir -p "$demo/appdata/harnfold" "$demo/edid" "$demo/rent_protect"
for program in displayprep-sim.exe wkex.exe dpsim.exe dprun.exe edidgen.exe; do
  cp "$DP_BUILD/bin/$program" "$demo/"
done
cp "$DP_BUILD/bin/dprecord.exe" "$demo/rent_protect/zanbyprotect.exe"
cd "$demo"
win() { winepath -w "$1" 2>/dev/null; }
run() { wine "$@" 2>/dev/null | tr -d '\r'; }

# The profiles an operator ships: one per mode, some as hex text, some raw.
run edidgen.exe 1920x1080x60 2560x1440x60 3840x2160x60 -o edid >/dev/null
run edidgen.exe 2560x1440x144 1280x720x60 --raw -o edid >/dev/null
printf '[rpScreen]\r\nwidth=2560\r\nheight=1440\r\nfps=60\r\n' >appdata/harnfold/store.dat
rm -f edidgen.exe

run dpsim.exe init one-display >/dev/null
printf '\n=== The simulated machine before the run: one physical display\n\n'
run dpsim.exe show
printf '\n=== The deployment\n\n'
(cp "$DP_BUILD/bin/dprecord.exe" "$demo/rent_protect/zanbyprotect.exe"
cd "$demo" && ls -1 displayprep-sim.exe wkex.exe edid/* appdata/harnfold/store.dat)
printf '\n=== displayprep-sim.exe (console output)\n\n'
run dprun.exe --env "APPDATA=$(win "$demo/appdata")" --cwd "$(win "$demo")" -- \
  "$(win "$demo/displayprep-sim.exe")"
echo "(exit code ${PIPESTATUS[0]})"

printf '\n=== Its log file: appdata/harnfold/log/display.log\n\n'
tr -d '\r' <"$demo/appdata/harnfold/log/display.log"

printf '\n=== The simulated machine after the run\n\n'
run dpsim.exe show

printf '\n=== The chosen EDID file now (edid-decode edid/2560x1440x60.hex)\n\n'
ls -l edid/2560x1440x60.hex | awk '{print $5 " bytes (raw)"}'
edid-decode edid/2560x1440x60.hex | grep -E "Display Product Name|DTD 1:|Checksum" || true
if edid-decode -c edid/2560x1440x60.hex >/dev/null 2>&1; then
  echo "edid-decode -c: conforms"
else
  echo "edid-decode -c: does NOT conform"
fi

printf '\n=== How wkex.exe was started (wkex.starts)\n\n'
cat wkex.starts

printf '\n=== What displayprep asked of the display configuration\n\n'
run dpsim.exe calls

printf '\n=== How the companion program was started (rent_protect/zanbyprotect.starts)\n\n'
cat rent_protect/zanbyprotect.starts
