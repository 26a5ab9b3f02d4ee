#!/usr/bin/env bash
# Builds the Windows-free units natively with the host compiler under
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs the robustness
# driver on them. Also proves that those units still include no Windows header.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=${1:-$root/build/native}
mkdir -p "$out"
CXX=${CXX:-g++}
# -Wno-maybe-uninitialized: GCC 12 warns falsely inside <regex> at -O1.
"$CXX" -std=c++20 -O1 -g -Wall -Wextra -Werror -Wno-maybe-uninitialized -fsanitize=address,undefined \
  -fno-sanitize-recover=all -fno-omit-frame-pointer \
  -I"$root/src" -I"$root/tools/edidgen" \
  "$root/tests/native/robustness.cpp" \
  "$root/src/log/log_format.cpp" \
  "$root/src/common/narrow_text.cpp" \
  "$root/src/provision/edid_codec.cpp" \
  "$root/src/provision/edid_file.cpp" \
  "$root/src/provision/profile_name.cpp" \
  "$root/tools/edidgen/edidgen.cpp" \
  -o "$out/robustness"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 "$out/robustness"
