# Shared by scripts/test.sh, scripts/demo.sh and scripts/fuzz.sh: packages, build, Wine.
# Sourced, not run.

DP_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
DP_BUILD=$DP_ROOT/build/mingw
export WINEPREFIX=${WINEPREFIX:-$DP_ROOT/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
# No Gecko or Mono install prompts on a machine without a display.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# The fuzz targets' own (scripts/fuzz.sh), then everything scripts/test.sh needs.
DP_FUZZ_PACKAGES=(clang libclang-rt-14-dev libfuzzer-14-dev cmake make)
DP_PACKAGES=(mingw-w64 wine wine64 edid-decode nlohmann-json3-dev googletest locales clang-format
  "${DP_FUZZ_PACKAGES[@]}")

dp_log() { printf '==> %s\n' "$*" >&2; }

# How many tests CTest runs at once: twice the cores. Most of a test's time
# is spent waiting (a program's retries, Wine starting a process), so two a
# core keep the cores busy: on 2 cores the suite took 194 s at -j2, 158 s at
# -j3 and 143 s at -j4 (December 2026). DP_TEST_JOBS overrides it.
DP_TEST_JOBS=${DP_TEST_JOBS:-$((2 * $(nproc)))}

# The named packages that are not installed, one a line.
dp_missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

# Installs what is missing of the named packages (all of DP_PACKAGES when none
# are named), with apt-get when root; otherwise says what to install.
dp_ensure_packages() {
  local missing=()
  [ $# -gt 0 ] || set -- "${DP_PACKAGES[@]}"
  mapfile -t missing < <(dp_missing_packages "$@")
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    dp_log "missing Debian packages: ${missing[*]} (run as root, or: sudo apt-get install ${missing[*]})"
    return 1
  fi
  dp_log "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

dp_build() {
  dp_log "configuring and building (mingw-w64 cross-build)"
  cmake --preset mingw -S "$DP_ROOT" >/dev/null
  cmake --build "$DP_BUILD" -j"$(nproc)"
}

# The Windows-free units natively, for the fuzzers (scripts/fuzz.sh).
dp_build_fuzz() {
  dp_log "configuring and building the fuzz targets (native clang)"
  cmake --preset fuzz -S "$DP_ROOT" >/dev/null
  cmake --build "$DP_ROOT/build/fuzz" -j"$(nproc)" >/dev/null
}

# A prefix of the build tree's own and one persistent wineserver for the whole
# run: each program start then costs a fraction of a second. The trap ends the
# server however the script ends, so nothing is left running.
dp_start_wine() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    dp_log "creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wine cmd /c exit >/dev/null 2>&1 || true
    wineserver -w
  fi
  # Exits with 2 when a server for this prefix runs already; that one will do.
  wineserver -p || true
  trap dp_stop_wine EXIT
  # The first program after a server start brings up Wine's background
  # services, which keep that program's standard output and error open for as
  # long as the server lives. Start them here, on /dev/null, so that no
  # test's output pipe is held open after the test has ended.
  wine cmd /c exit >/dev/null 2>&1 || true
}

dp_stop_wine() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}
