#!/usr/bin/env bash
# Every tracked C++ file laid out as the repository's .clang-format says:
# clang-format --dry-run -Werror names each file and line that would change.
# Exits 77 (CTest's skip) when clang-format is not installed, and only then.
#
#   format_check.sh SOURCE_DIR
set -euo pipefail
root=$1
dirs=(src sim tests bench fuzz harness tools)

if ! command -v clang-format >/dev/null 2>&1; then
  echo "clang-format is not installed (Debian package clang-format): the layout is not checked"
  exit 77
fi

cd "$root"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files -- "${dirs[@]}" | grep -E '\.(cpp|cc|h|hpp)$')
else
  # An unpacked source tree without git: every C++ file below the same folders.
  mapfile -t files < <(find "${dirs[@]}" -type f \( -name '*.cpp' -o -name '*.cc' -o -name '*.h' \
    -o -name '*.hpp' \) 2>/dev/null | sort)
fi
if [ ${#files[@]} -eq 0 ]; then
  echo "no C++ files found below $root: nothing to check is a failure, not a pass"
  exit 1
fi
clang-format --version
clang-format --dry-run -Werror "${files[@]}"
echo "${#files[@]} C++ files laid out as .clang-format says"
