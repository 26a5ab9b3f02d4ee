#!/usr/bin/env bash
# watchdog_test.sh WINE_RUN DPSTALL: scripts/wine-run.sh passes a program's
# exit code and output through, starts once more a program that failed
# before any output, and ends (code 124, with a report) one that overruns its
# bound or whose main thread has gone while the process lives on.
set -u
run=${1:?wine-run.sh} stall=${2:?dpstall.exe}
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

# expect NAME WANT_RC STDOUT_HAS STDERR_HAS [ENV=VALUE...] -- ARGS...
expect() {
  local name=$1 want=$2 has=$3 errHas=$4 rc
  shift 4
  local envs=()
  while [ "$1" != "--" ]; do envs+=("$1"); shift; done
  shift
  env "${envs[@]}" bash "$run" "$stall" "$@" >"$out" 2>"$err"
  rc=$?
  local why=""
  [ "$rc" = "$want" ] || why+=" exit code $rc, not $want;"
  [ -z "$has" ] || grep -qF -- "$has" "$out" || why+=" standard output lacks \"$has\";"
  [ -z "$errHas" ] || grep -qF -- "$errHas" "$err" || why+=" standard error lacks \"$errHas\";"
  if [ -n "$why" ]; then
    fail "$name:$why"
    sed 's/^/  out| /' "$out"
    sed 's/^/  err| /' "$err"
  else
    echo "ok   $name"
  fi
}

expect "a code and its output pass through" 3 "exit" "" -- exit 3
expect "a clean end passes through" 0 "exit" "" -- exit 0
! grep -q "starting it once more" "$err" || fail "a program that said something is not started again"
expect "a silent failure is started once more and reported with its code" 5 "" \
  "ended with code 5 before any output; starting it once more" -- silent 5
expect "a failure after a start Wine answered with 1359 is started once more" 4 "Error: 1359" \
  "ended with code 4 after Wine answered a start with 1359" -- start1359 4
[ "$(grep -c "starting it once more" "$err")" = 1 ] || fail "a second 1359 failure is started a third time"
expect "a program past its bound is ended" 124 "" \
  "ran longer than 2 s (DP_RUN_TIMEOUT); ending it" DP_RUN_TIMEOUT=2 -- hang
for line in "  | hang" "dpstall.exe hang"; do
  grep -qF -- "$line" "$err" || fail "the report lacks \"$line\""
done
expect "a process whose main thread has gone is ended" 124 "" \
  "main thread ended 1 s ago but the process did not" DP_RUN_ORPHAN_GRACE=1 DP_RUN_TIMEOUT=60 -- orphan

# Nothing it ended is left running.
! pgrep -f "dpstall.exe (hang|orphan)" >/dev/null ||
  fail "still running: $(pgrep -af 'dpstall.exe (hang|orphan)')"
[ "$failures" -eq 0 ]
