#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's own prefix.
# CTest uses this as the cross-compiling emulator; the demo and the test
# script use it too, so every Windows program sees the same C: drive.
#
# A program that ends with a failure before writing a single byte was, as far
# as seen, never started properly by Wine (once in some thousand starts under
# load, exit code unknown, nothing on either output); it is started once more,
# and the first attempt's exit code is reported. A program that fails that
# way twice fails. So is a program that failed where Wine answered a process
# start with 1359 (ERROR_INTERNAL_ERROR: a child Wine never brought up, under
# load; docs/wine.md), as its output shows ("Error: 1359", "Error=1359",
# "GetLastError=1359"): on Windows that start would have succeeded. It too
# runs at most twice.
#
# No program may hold the suite up. It is ended, with a report of what it
# printed last (a test program names its test and stage there) and of every
# process still running in the prefix, when
#   - it runs longer than DP_RUN_TIMEOUT seconds (default 120; CTest sets it
#     per test program, a few times the program's measured time), or
#   - its main thread has ended but the process has not, for 10 seconds
#     (DP_RUN_ORPHAN_GRACE): Wine then waits for a thread that will never end
#     (docs/wine.md).
# Exit code 124 then, as timeout(1) gives.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
bound=${DP_RUN_TIMEOUT:-120}
orphanGrace=${DP_RUN_ORPHAN_GRACE:-10}
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

# Every process of this prefix with its threads' states: what was still
# running when a program was ended.
report_prefix() {
  local p state t
  echo "wine-run.sh: processes of $WINEPREFIX still running:"
  for p in $(grep -lzx "WINEPREFIX=$WINEPREFIX" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3); do
    [ "$p" = "$$" ] && continue
    [ -r "/proc/$p/cmdline" ] || continue
    state=""
    for t in /proc/"$p"/task/*; do
      state+=" ${t##*/}:$(cut -d' ' -f3 "$t/stat" 2>/dev/null)/$(cat "$t/wchan" 2>/dev/null)"
    done
    echo "  $p $({ tr '\0' ' ' <"/proc/$p/cmdline"; } 2>/dev/null | cut -c1-160) [threads$state]"
  done
  # A Wine process whose server has gone waits on it for ever.
  local server=""
  for p in $(pgrep -x 'wineserver(64)?'); do
    grep -qszx "WINEPREFIX=$WINEPREFIX" "/proc/$p/environ" && server=$p
  done
  [ -n "$server" ] || echo "  (no wineserver for this prefix)"
}

# With KILL: a ticker not yet turned into sleep(1) is a copy of this shell,
# and a TERM would run its copy of the EXIT trap, deleting the output files.
stop_ticker() {
  kill -KILL "$ticker" 2>/dev/null
  wait "$ticker" 2>/dev/null
}

# Runs the program with the watchdog; sets rc. The program's end is waited
# for, not polled: a short test must not pay a polling interval (that was a
# fifth of a second on each of the suite's hundreds of runs). A ticker wakes
# the watchdog between its checks, less often the longer the program runs.
run_once() {
  local pid ticker ended start now orphanSince="" stat leader tasks tick=0.05
  : >"$out"
  : >"$err"
  wine "$@" >"$out" 2>"$err" </dev/null &
  pid=$!
  start=$EPOCHSECONDS
  while :; do
    sleep "$tick" &
    ticker=$!
    ended=""
    wait -n -p ended "$pid" "$ticker"
    rc=$?
    if [ "$ended" = "$pid" ]; then
      stop_ticker
      return
    fi
    [ -n "$ended" ] || stop_ticker
    case $tick in 0.05) tick=0.2 ;; 0.2) tick=1 ;; esac
    now=$EPOCHSECONDS
    { stat=$(<"/proc/$pid/stat"); } 2>/dev/null || stat=""
    leader=${stat##*) }
    leader=${leader%% *}
    if [ "$leader" = "Z" ] || [ -z "$leader" ]; then
      # The main thread alone has ended (the process itself is waited for).
      tasks=(/proc/"$pid"/task/*)
      if [ "${#tasks[@]}" -gt 1 ]; then
        orphanSince=${orphanSince:-$now}
      fi
    else
      orphanSince=""
    fi
    local why=""
    if [ $((now - start)) -ge "$bound" ]; then
      why="ran longer than ${bound} s (DP_RUN_TIMEOUT)"
    elif [ -n "$orphanSince" ] && [ $((now - orphanSince)) -ge "$orphanGrace" ]; then
      why="main thread ended ${orphanGrace} s ago but the process did not"
    fi
    if [ -n "$why" ]; then
      local report
      report=$(
        echo "wine-run.sh: $* $why; ending it"
        echo "wine-run.sh: its last output (| standard output, ! standard error):"
        tail -n 15 "$out" | sed 's/^/  | /'
        tail -n 5 "$err" | sed 's/^/  ! /'
        report_prefix
      )
      printf '%s\n' "$report" >>"$err"
      kill -KILL "$pid" 2>/dev/null
      wait "$pid" 2>/dev/null
      rc=124
      return
    fi
  done
}

run_once "$@"
if [ "$rc" -ne 0 ] && [ "$rc" -ne 124 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
  echo "wine-run.sh: $1 ended with code $rc before any output; starting it once more" >&2
  run_once "$@"
elif [ "$rc" -ne 0 ] && [ "$rc" -ne 124 ] &&
  started=$(grep -hE -m1 'Error(: |=)1359([^0-9]|$)' "$out" "$err"); then
  echo "wine-run.sh: $1 ended with code $rc after Wine answered a start with 1359 (\"$started\"); starting it once more" >&2
  run_once "$@"
fi
cat "$out"
cat "$err" >&2
exit "$rc"
