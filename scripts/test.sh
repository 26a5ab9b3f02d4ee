#!/usr/bin/env bash
# Runs every test: builds the Windows programs and their tests with mingw-w64
# and runs them under Wine through CTest.  Extra arguments go to ctest
# (for example: scripts/test.sh -R log_tests).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

dp_ensure_packages
dp_build
dp_build_fuzz
dp_start_wine
dp_log "running the tests"
ctest --test-dir "$DP_BUILD" -j"$DP_TEST_JOBS" --output-on-failure --timeout 600 "$@"
