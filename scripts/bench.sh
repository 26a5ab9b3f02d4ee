#!/usr/bin/env bash
# Benchmarks: builds, then prints figures (they measure; they do not pass or
# fail on a slow machine):
#   (a) the typical simulated run's wall time against its mandated waits plus
#       the start of a trivial Windows program, as a ratio;
#   (b) the EDID profile choice over 10, 1,000 and 10,000 profile names;
#   (c) the run's peak working set minus the trivial program's.
#
#   scripts/bench.sh [RUNS]    RUNS typical runs for (a) and (c) (default 9)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

runs=${1:-9}
dp_ensure_packages
dp_build >/dev/null
dp_start_wine

echo "machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo)," \
  "$(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1); $(wine --version)"
cd "$DP_BUILD/bin"
wine bench_run.exe "$runs" 2>&1 | tr -d '\r'
wine bench_select.exe 2>&1 | tr -d '\r'
