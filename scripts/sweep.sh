#!/usr/bin/env bash
# The fault sweep: builds, then runs the typical simulated run once per
# display-configuration call it makes and per error code (5, 31, 87, 122,
# 1610), with that one call failing, and prints the matrix. Exit code 0 when
# every run exited 0, said what failed, left the EDID profile whole and still
# started the companion. The suite runs the same as the test sweep.matrix.
#
#   scripts/sweep.sh [PARALLEL]   runs at once (default 6; they mostly wait)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

dp_ensure_packages
dp_build >/dev/null
dp_start_wine
wine "$DP_BUILD/bin/sweep.exe" "${1:-6}" 2>&1 | tr -d '\r'
exit "${PIPESTATUS[0]}"
