#!/usr/bin/env bash
# Checks the edidgen tool from the Linux side, where edid-decode runs.
#   check_edidgen.sh conform|cvt|refuse|import EDIDGEN_EXE WINE_RUN WORKDIR
#   conform: every generated file (hex text and raw) passes edid-decode -c
#   cvt:     the preferred timings equal what edid-decode --cvt computes
#   refuse:  a mode above the base block's 655.35 MHz is refused, no file written
#   import:  edid-decode's hex dump of an EDID becomes a conforming profile;
#            what is no EDID is refused in one line
set -u
what=${1:?} exe=${2:?} wine_run=${3:?} work=${4:?}
command -v edid-decode >/dev/null || { echo "edid-decode is not installed"; exit 1; }
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1

edidgen() { "$wine_run" "$exe" "$@"; }
fail() { echo "FAIL $*"; status=1; }
status=0

# Turns edidgen's hex text back into bytes, by edid-decode's own reading of it.
hex_to_raw() { edid-decode -o raw "$1" "$1.bin" >/dev/null 2>&1 && cat "$1.bin"; }

case $what in
conform)
  modes=(640x480x60 800x600x60 1024x768x75 1280x720x60 1280x1024x60 1366x768x60 1440x900x60
         1600x900x60 1680x1050x60 1920x1080x60 1920x1080x120 1920x1080x144 1920x1080x240
         1920x1200x60 2560x1080x60 2560x1440x60 2560x1440x144 2560x1600x60 3440x1440x60
         3840x2160x30 3840x2160x60 3840x2160x74)
  edidgen "${modes[@]}" -o hex >hex.log 2>&1 || { cat hex.log; fail "edidgen --hex exit $?"; }
  edidgen "${modes[@]}" --raw --name "Conform Test" -o raw >raw.log 2>&1 ||
    { cat raw.log; fail "edidgen --raw exit $?"; }
  for mode in "${modes[@]}"; do
    hex=hex/$mode.hex raw=raw/$mode.hex
    [[ -f $hex && -f $raw ]] || { fail "$mode: file missing"; continue; }
    [[ $(stat -c %s "$hex") == 272 ]] || fail "$mode: hex text is $(stat -c %s "$hex") bytes, not 272"
    [[ $(stat -c %s "$raw") == 128 ]] || fail "$mode: raw file is $(stat -c %s "$raw") bytes, not 128"
    for f in "$hex" "$raw"; do
      if out=$(edid-decode -c "$f" 2>&1); then echo "ok   $f"; else echo "$out"; fail "$f: edid-decode -c"; fi
    done
    # Same block but for the name (and so the checksum): compare bytes 0-89 and 108-126.
    cmp -s <(hex_to_raw "$hex" | head -c 90) <(head -c 90 "$raw") &&
      cmp -s <(hex_to_raw "$hex" | head -c 127 | tail -c 19) <(head -c 127 "$raw" | tail -c 19) ||
      fail "$mode: hex and raw files differ outside the name"
    edid-decode "$raw" 2>/dev/null | grep -q "Display Product Name: 'Conform Test'" ||
      fail "$mode: --name not in the raw file"
  done
  ;;
cvt)
  # Slot 1 as edid-decode decodes it must equal its own CVT computation:
  # resolution, refresh, line rate, clock, porches, sync widths, polarities.
  for entry in 1920x1080x60:1 2560x1440x60:1; do
    mode=${entry%:*} rb=${entry#*:}
    IFS=x read -r w h f <<<"$mode"
    edidgen "$mode" --raw -o out >/dev/null 2>&1 || { fail "$mode: edidgen exit $?"; continue; }
    decoded=$(edid-decode out/$mode.hex 2>/dev/null | grep -A2 'DTD 1:')
    reference=$(edid-decode --cvt "w=$w,h=$h,fps=$f,rb=$rb")
    got=$(sed -n '1s/.*DTD 1: *\(.*MHz\).*/\1/p; 2,3s/^ *//p' <<<"$decoded" | tr -s ' ')
    want=$(sed -n '1s/.*CVT: *\(.*MHz\).*/\1/p; 2,3s/^ *//p' <<<"$reference" | tr -s ' ')
    if [[ -n $got && $got == "$want" ]]; then
      echo "ok   $mode matches edid-decode --cvt rb=$rb:"; echo "$got"
    else
      fail "$mode: slot 1 differs from edid-decode --cvt rb=$rb"
      echo "slot 1:"; echo "$got"; echo "--cvt:"; echo "$want"
    fi
  done
  # Where v2 stands in, its porches and syncs match too (the clock is
  # rounded down to the descriptor's 10 kHz, so it is compared apart).
  mode=3840x2160x74
  edidgen "$mode" --raw -o out >/dev/null 2>&1 || fail "$mode: edidgen exit $?"
  got=$(edid-decode out/$mode.hex 2>/dev/null | grep -A2 'DTD 1:' | sed -n '2,3s/^ *//p' | tr -s ' ')
  want=$(edid-decode --cvt w=3840,h=2160,fps=74,rb=2 | sed -n '2,3s/^ *//p' | tr -s ' ')
  clock=$(edid-decode out/$mode.hex 2>/dev/null | grep 'DTD 1:' | grep -o '[0-9.]* MHz')
  if [[ -n $got && $got == "$want" && $clock == "648.900000 MHz" ]]; then
    echo "ok   $mode uses CVT-RB v2 at $clock"
  else
    fail "$mode: v2 timing differs"; echo "slot 1: $got ($clock)"; echo "--cvt rb=2: $want"
  fi
  ;;
refuse)
  for mode in 7680x4320x60 3840x2160x120; do
    err=$(edidgen "$mode" -o out 2>&1 >/dev/null); rc=$?
    [[ $rc == 1 ]] || fail "$mode: exit $rc, expected 1"
    [[ $err == *"655.35 MHz"* ]] || fail "$mode: message does not name the limit: $err"
    [[ ! -e out/$mode.hex ]] || fail "$mode: a file was written"
    echo "$mode: $err"
  done
  # The other modes of the same call are still written.
  edidgen 1920x1080x60 7680x4320x60 -o mixed >/dev/null 2>&1; rc=$?
  [[ $rc == 1 ]] || fail "mixed call: exit $rc, expected 1"
  [[ -f mixed/1920x1080x60.hex && ! -e mixed/7680x4320x60.hex ]] || fail "mixed call: wrong files"
  # A usage error is told apart.
  edidgen 1920x1080 >/dev/null 2>&1; rc=$?
  [[ $rc == 2 ]] || fail "bad mode text: exit $rc, expected 2"
  ;;
import)
  edidgen 2560x1440x60 --raw -o gen >/dev/null 2>&1 || fail "edidgen exit $?"
  edid-decode -o hex gen/2560x1440x60.hex dump.txt >/dev/null 2>&1
  [[ $(stat -c %s dump.txt) == 384 ]] || fail "the dump is $(stat -c %s dump.txt) bytes, not 384"
  out=$(edidgen import dump.txt -o imported 2>&1) || fail "import exit $?"
  echo "$out"
  f=imported/2560x1440x60.hex
  if res=$(edid-decode -c "$f" 2>&1); then
    grep -q "Display Product Name: 'TovikMonitor'" <<<"$res" || fail "$f: not named TovikMonitor"
  else
    echo "$res"; fail "$f: edid-decode -c"
  fi
  printf 'Monitor: DPX 1\r\n' >other.txt
  err=$(edidgen import other.txt -o imported 2>&1 >/dev/null); rc=$?
  echo "$err"
  [[ $rc == 1 && $(wc -l <<<"$err") == 1 && $err == "edidgen: refused other.txt: "* ]] ||
    fail "other.txt: exit $rc, wanted 1 and one line"
  edidgen import >/dev/null 2>&1; rc=$?
  [[ $rc == 2 ]] || fail "import without FILE: exit $rc, expected 2"
  ;;
*)
  echo "unknown check: $what"; exit 2 ;;
esac
exit $status
