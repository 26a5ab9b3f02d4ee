#!/usr/bin/env bash
# Runs the whole suite RUNS times in a row (default 5), each time in a Wine
# prefix made afresh, and prints for every run its pass count, its time, each
# test that failed with the first lines of its output, and at the end the
# slowest tests over all runs. Exit code 1 when any run failed.
#
#   scripts/soak.sh [RUNS] [ctest arguments]
#
# Build once, then measure: the machine may be kept busy beside it (a second
# build, say) to show that no test depends on a quiet machine.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

runs=${1:-5}
shift || true
dp_ensure_packages
dp_build
dp_build_fuzz

logs=$DP_ROOT/build/soak
rm -rf "$logs"
mkdir -p "$logs"
failedRuns=0
for run in $(seq 1 "$runs"); do
  export WINEPREFIX=$DP_ROOT/build/soak-prefix
  rm -rf "$WINEPREFIX"
  started=$(date +%s)
  dp_start_wine
  set +e
  ctest --test-dir "$DP_BUILD" -j"$DP_TEST_JOBS" --output-on-failure --timeout 900 "$@" \
    >"$logs/run$run.log" 2>&1
  rc=$?
  set -e
  dp_stop_wine
  trap - EXIT
  took=$(($(date +%s) - started))
  summary=$(grep -E '^[0-9]+% tests passed' "$logs/run$run.log" || echo "no summary (ctest exit $rc)")
  printf 'run %d of %d: %s; %d s\n' "$run" "$runs" "$summary" "$took"
  if [ "$rc" -ne 0 ]; then
    failedRuns=$((failedRuns + 1))
    # Each failed test's own lines: from its result line up to the next test's.
    # Only the list under "The following tests FAILED:": skipped tests are
    # listed the same way under their own heading.
    sed -n '/^The following tests FAILED:/,/^[^[:space:]]/s/^[[:space:]]\{1,\}[0-9]\{1,\} - //p' \
      "$logs/run$run.log" |
      while read -r name _; do
        echo "  FAILED $name:"
        awk -v n="$name" '
          index($0, " " n " ") && /Test +#[0-9]+:/ { show = 1; lines = 0; next }
          show && (/Test +#[0-9]+:/ || /^ +Start +[0-9]+:/) { show = 0 }
          show && lines < 12 { print "    " $0; lines++ }' "$logs/run$run.log"
      done
  fi
done

echo "slowest tests (seconds, the longest of any run):"
cat "$logs"/run*.log |
  sed -nE 's/.*Test +#[0-9]+: ([^ ]+) \.*.* ([0-9.]+) sec$/\2 \1/p' |
  sort -k2,2 -k1,1nr | sort -s -u -k2,2 | sort -k1,1nr | sed -n '1,10s/^/  /p'
echo "$((runs - failedRuns)) of $runs runs passed; logs in $logs"
[ "$failedRuns" -eq 0 ]
