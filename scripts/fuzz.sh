#!/usr/bin/env bash
# Coverage-guided fuzzing of the Windows-free units: builds them natively with
# clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer (preset
# fuzz), runs the native checks, replays every kept regression input, then
# fuzzes each target for SECONDS and prints executions and findings per target.
#
#   scripts/fuzz.sh [SECONDS]     (default 60; scripts/test.sh runs it with 2)
#
# Exit code 0 when no target found anything. A finding is kept under
# build/fuzz/findings/<target>/; once fixed, copy it to fuzz/regressions/<target>/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
targets=(edid_reader hex_text name_rewrite profile_name log_format module_dir edidgen)
packages=(clang libclang-rt-14-dev libfuzzer-14-dev cmake make)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then echo "fuzz.sh: missing Debian packages: ${missing[*]}" >&2; exit 1; fi
  DEBIAN_FRONTEND=noninteractive apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

build=$root/build/fuzz
cmake --preset fuzz -S "$root" >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
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
