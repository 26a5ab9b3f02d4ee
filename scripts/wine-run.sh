#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's own prefix.
# CTest uses this as the cross-compiling emulator; the demo and the test
# script use it too, so every Windows program sees the same C: drive.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec wine "$@"
