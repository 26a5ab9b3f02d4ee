#!/usr/bin/env bash
# check_package.sh ZIP BIN WORK WINE_RUN VERSION: what the package holds (its
# sums and its programs' version resources among it), its pre-flight check,
# and a run of its displayprep.exe with the recorder in place of wkex.exe and
# of the companion: it must pick a profile from the packaged edid folder and
# say so.
set -u
zip=${1:?} bin=${2:?} work=${3:?} wine_run=${4:?} version=${5:?}
status=0
fail() { echo "FAIL $*"; status=1; }

[ -f "$zip" ] || { echo "FAIL no package at $zip"; exit 1; }
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
cmake -E tar xf "$zip" || { echo "FAIL cannot unpack $zip"; exit 1; }
# It unpacks to the folder the operators' commands name, whatever the version.
top=displayprep
[ -d "$top" ] || { echo "FAIL the package holds no folder $top: $(ls)"; exit 1; }

# Exactly the programs, edidgen, the operators' README, the profiles and their sums:
# nothing of the simulated stack, no test program, no helper or companion of ours.
programs=(displayprep.exe displayprep-check.exe displayprep-agent.exe)
unexpected=$(cd "$top" && find . -type f ! -name displayprep.exe ! -name displayprep-check.exe \
  ! -name displayprep-agent.exe ! -name edidgen.exe ! -name README-operators.md ! -name SHA256SUMS \
  ! -path './edid/*.hex')
[ -z "$unexpected" ] || fail "unexpected files in the package: $unexpected"
for f in "${programs[@]}" edidgen.exe README-operators.md SHA256SUMS; do
  [ -f "$top/$f" ] || fail "$f missing"
done
# The sums name every other file of the package and match them.
(cd "$top" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the files"
[ "$(wc -l <"$top/SHA256SUMS")" -eq "$(cd "$top" && find . -type f ! -name SHA256SUMS | wc -l)" ] ||
  fail "SHA256SUMS does not list every file"
# Each program carries the package's version where management tools read it:
# the version resource's strings, in UTF-16.
for f in "${programs[@]}"; do
  python3 - "$top/$f" "$version" <<'PY' || fail "$f has no version resource $version"
import sys
data = open(sys.argv[1], "rb").read()
for key in ("FileVersion", "ProductVersion"):
    want = (key + "\0").encode("utf-16-le")
    at = data.find(want)
    if at < 0:
        sys.exit(1)
    rest = data[at + len(want):at + len(want) + 64].decode("utf-16-le", "ignore").lstrip("\0")
    if not rest.startswith(sys.argv[2] + "\0"):
        sys.exit(1)
PY
done
for size in 1280x720 1366x768 1600x900 1920x1080 1920x1200 2560x1080 2560x1440 3440x1440 3840x2160; do
  [ -f "$top/edid/${size}x60.hex" ] || fail "no profile ${size}x60.hex"
done
profiles=$(find "$top/edid" -name '*.hex' | wc -l)
echo "$profiles profiles: $(cd "$top/edid" && ls | tr '\n' ' ')"
# Every profile conforms and already names the virtual monitor, so that a
# rewrite refused by a read-only install still hands the helper that name.
for f in "$top"/edid/*.hex; do
  out=$(edid-decode -c "$f" 2>&1) || fail "$(basename "$f") does not conform: $out"
  grep -q "Display Product Name: 'TovikMonitor'" <<<"$out" ||
    fail "$(basename "$f") does not name TovikMonitor"
done

# The shipped import: an EDID as edid-decode dumps it becomes a named profile.
edid-decode -o hex "$top/edid/1920x1080x60.hex" dump.txt >/dev/null 2>&1
"$wine_run" "$top/edidgen.exe" import dump.txt -o imported >import.out 2>&1 ||
  fail "edidgen.exe import: $(cat import.out)"
out=$(edid-decode -c imported/1920x1080x60.hex 2>&1) && grep -q "Name: 'TovikMonitor'" <<<"$out" ||
  fail "the import wrote no conforming TovikMonitor profile: $out"

# A deployment from the package, on Wine's one display.
cp "$bin/dprecord.exe" "$top/wkex.exe"
mkdir -p "$top/rent_protect" appdata/harnfold
cp "$bin/dprecord.exe" "$top/rent_protect/zanbyprotect.exe"
printf '[rpScreen]\r\nwidth=2560\r\nheight=1440\r\nfps=60\r\n' >appdata/harnfold/store.dat
win() { WINEDEBUG=-all winepath -w "$1" 2>/dev/null; }
dir=$(win "$work/$top")

# The pre-flight check first: on Wine's one display a run would work, and the
# check itself writes no log and changes no profile.
sum_before=$(cd "$top/edid" && cat ./*.hex | md5sum)
# The shipped programs ask Wine for the display, and the first to do so in a
# prefix brings up Wine's desktop process inside dprun's job, where it lives
# on (docs/wine.md, "What a run leaves running"): dprun stops waiting after
# this, long after the runs' own few seconds.
wait_ms=20000
"$wine_run" "$bin/dprun.exe" --env "APPDATA=$(win "$work/appdata")" --cwd "$(win "$work")" \
  --wait-ms "$wait_ms" -- \
  "$dir\\displayprep-check.exe" >check.out 2>&1
rc=$?
check=$(tr -d '\r' <check.out)
[ "$rc" -eq 0 ] || fail "the check's exit code is $rc"
for line in "display calls: answered" \
            "profile: $dir\\edid\\2560x1440x60.hex (distance=0), hex text, 1 block, monitor name \"TovikMonitor\"" \
            "rewrite: possible" \
            "helper: $dir\\wkex.exe: present" \
            "companion: $dir\\rent_protect\\zanbyprotect.exe: present" \
            "log: $(win "$work/appdata")\\harnfold\\log\\display.log" \
            "verdict: a run would reach its goal"; do
  grep -qxF "$line" <<<"$check" || fail "the check lacks: $line"
done
[ ! -e appdata/harnfold/log ] || fail "the check made the log folder"
[ "$(cd "$top/edid" && cat ./*.hex | md5sum)" = "$sum_before" ] || fail "the check changed a profile"
[ ! -e "$top/wkex.starts" ] || fail "the check started the helper"
[ $status -eq 0 ] || { echo "--- check"; echo "$check"; }

"$wine_run" "$bin/dprun.exe" --env "APPDATA=$(win "$work/appdata")" --cwd "$(win "$work")" \
  --wait-ms "$wait_ms" -- \
  "$dir\\displayprep.exe" >run.out 2>&1
rc=$?
[ "$rc" -eq 0 ] || fail "exit code $rc"
log=appdata/harnfold/log/display.log
[ -f "$log" ] || { fail "no log"; cat run.out; exit 1; }
text=$(tr -d '\r' <"$log" | sed -E 's/^\[[0-9]{2}\/[0-9]{2}-[0-9:.]{12}\]: //')
for line in "Searching in directory: $dir\\edid" \
            "Found file: 2560x1440x60.hex --> w=2560, h=1440, fps=60, distance=0" \
            "Selected hex file: $dir\\edid\\2560x1440x60.hex" \
            "Successfully changed EDID monitor name in file: $dir\\edid\\2560x1440x60.hex" \
            "wkex.exe launched successfully from $dir\\wkex.exe"; do
  grep -qxF "$line" <<<"$text" || fail "the log lacks: $line"
done
grep -q '"/d"' "$top/wkex.starts" 2>/dev/null || fail "the helper was not started with /d"
edid-decode "$top/edid/2560x1440x60.hex" | grep -q "Display Product Name: 'TovikMonitor'" ||
  fail "the chosen profile is not renamed"
[ $status -eq 0 ] && echo "ok: the packaged program chose and renamed $dir\\edid\\2560x1440x60.hex"
[ $status -eq 0 ] || { echo "--- log"; echo "$text"; }
exit $status
