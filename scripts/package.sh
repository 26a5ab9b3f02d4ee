#!/usr/bin/env bash
# Builds the operator's package build/mingw/displayprep-<version>-win64.zip:
# displayprep.exe, README-operators.md and an edid folder of profiles that
# edidgen writes (under Wine) for the common modes. Prints what it holds.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

dp_ensure_packages
dp_build >/dev/null
dp_start_wine
cmake --build "$DP_BUILD" --target package_zip
zip=$(ls "$DP_BUILD"/displayprep-*-win64.zip)
echo
echo "$zip:"
cmake -E tar tf "$zip"
