#!/usr/bin/env bash
# Coverage-guided fuzzing of the Windows-free units: builds them natively with
# clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer (preset
# fuzz), runs the native checks, replays every kept regression input, then
# fuzzes each target for SECONDS and prints executions and findings per target.
#
#   scripts/fuzz.sh [--no-install] [SECONDS]   (default 60)
#
# The test suite runs it with --no-install 2. Missing packages are installed (as root) unless --no-install is given; then
# the script says which are missing and exits 77, the test suite's skip.
# Exit code 0 when no target found anything. A finding is kept under
# build/fuzz/findings/<target>/; once fixed, copy it to fuzz/regressions/<target>/.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
install=1
if [ "${1:-}" = --no-install ]; then
  install=0
  shift
fi
seconds=${1:-60}
targets=(edid_reader hex_text name_rewrite profile_name log_format module_dir edidgen)

if [ $install -eq 1 ]; then
  dp_ensure_packages "${DP_FUZZ_PACKAGES[@]}"
else
  mapfile -t missing < <(dp_missing_packages "${DP_FUZZ_PACKAGES[@]}")
  if [ ${#missing[@]} -gt 0 ]; then
    echo "fuzz.sh: skipped: missing Debian packages ${missing[*]} (scripts/test.sh installs them)"
    exit 77
  fi
fi

root=$DP_ROOT
build=$root/build/fuzz
dp_build_fuzz
bin=$build/fuzz

"$bin/native_checks"

rm -rf "$build/seeds" && "$bin/make_seeds" "$build/seeds"
status=0
printf '%-14s %12s %10s %9s %s\n' target executions "per second" findings regressions
for t in "${targets[@]}"; do
  corpus=$build/corpus/$t findings=$build/findings/$t regressions=$root/fuzz/regressions/$t
  mkdir -p "$corpus" "$findings" "$regressions"
  # Every kept regression input first, once each: each must pass.
  replayed=0
  if compgen -G "$regressions/*" >/dev/null; then
    if ! "$bin/fuzz_$t" "$regressions"/* >"$build/$t.replay.log" 2>&1; then
      echo "$t: a regression input fails again:"; tail -20 "$build/$t.replay.log"; status=1
    fi
    replayed=$(find "$regressions" -type f | wc -l)
  fi
  "$bin/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$findings/" "$corpus" "$build/seeds/$t" "$regressions" \
    >"$build/$t.log" 2>&1 || true
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/$t.log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$build/$t.log" | tail -1)
  found=$(find "$findings" -type f | wc -l)
  printf '%-14s %12s %10s %9s %s\n' "$t" "${runs:-?}" "${rate:-?}" "$found" "$replayed"
  if [ "$found" -gt 0 ] || [ -z "$runs" ] || [ "${runs:-0}" -eq 0 ]; then
    status=1
    grep -m3 -E "property broken|ERROR: |SUMMARY" "$build/$t.log" || tail -5 "$build/$t.log"
  fi
done
exit $status
