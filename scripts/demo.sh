#!/usr/bin/env bash
# Runs displayprep's main job on the simulated display stack: builds, lays out
# a deployment under build/demo, shows the simulated desktop, runs
# displayprep-sim.exe there with its own APPDATA, then shows what it logged
# and the desktop afterwards.
#
#   scripts/demo.sh [MACHINE]     MACHINE: a built-in simulated machine
#                                 (default: two-extend-physical-primary;
#                                 build/mingw/bin/dpsim.exe machines lists them)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

machine=${1:-two-extend-physical-primary}

dp_ensure_packages
dp_build >/dev/null
dp_start_wine

demo=$DP_ROOT/build/demo
rm -rf "$demo"
mkdir -p "$demo/appdata"
for program in displayprep-sim.exe dpsim.exe dprun.exe; do
  cp "$DP_BUILD/bin/$program" "$demo/"
done
cd "$demo"
win() { winepath -w "$1" 2>/dev/null; }
run() { wine "$@" 2>/dev/null | tr -d '\r'; }

run dpsim.exe init "$machine" >/dev/null
printf '\n=== The simulated machine "%s" before the run\n\n' "$machine"
run dpsim.exe show

printf '\n=== displayprep-sim.exe (console output)\n\n'
run dprun.exe --env "APPDATA=$(win "$demo/appdata")" --cwd "$(win "$demo")" -- \
  "$(win "$demo/displayprep-sim.exe")"
echo "(exit code ${PIPESTATUS[0]})"

printf '\n=== Its log file: appdata/harnfold/log/display.log\n\n'
tr -d '\r' <"$demo/appdata/harnfold/log/display.log"

printf '\n=== The simulated machine after the run\n\n'
run dpsim.exe show
printf '\n=== What displayprep asked of the display configuration\n\n'
run dpsim.exe calls
