#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's own prefix.
# CTest uses this as the cross-compiling emulator; the demo and the test
# script use it too, so every Windows program sees the same C: drive.
#
# A program that ends with a failure before writing a single byte was, as far
# as seen, never started properly by Wine (once in some thousand starts under
# load, exit code unknown, nothing on either output); it is started once more,
# and the first attempt's exit code is reported. A program that fails that
# way twice fails.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
wine "$@" >"$out" 2>"$err" </dev/null
rc=$?
if [ "$rc" -ne 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
  echo "wine-run.sh: $1 ended with code $rc before any output; starting it once more" >&2
  wine "$@" >"$out" 2>"$err" </dev/null
  rc=$?
fi
cat "$out"
cat "$err" >&2
exit "$rc"
