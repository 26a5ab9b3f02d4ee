#!/usr/bin/env bash
# prefix_state.sh save|check DIR: what the test suite may touch in the Wine
# prefix. "save" keeps c:\dp.log and lists the places where stray files would
# show (the root of C:, the user's AppData and temporary folders); "check"
# puts c:\dp.log back as it was and fails, naming them, when anything in
# those places is new. The suite runs "save" first and "check" last.
set -u
action=${1:?usage: prefix_state.sh save|check DIR} dir=${2:?usage: prefix_state.sh save|check DIR}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
prefix=${WINEPREFIX:-$here/build/wineprefix}
c=$prefix/drive_c
listing() {
  for place in "$c" "$c/users"/*/AppData/Roaming "$c/users"/*/AppData/Local "$c/users"/*/Temp; do
    [ -d "$place" ] && find "$place" -mindepth 1 -maxdepth 1 -printf '%p\n'
  done | sort
}
case $action in
  save)
    rm -rf "$dir" && mkdir -p "$dir"
    if [ -f "$c/dp.log" ]; then cp -p "$c/dp.log" "$dir/dp.log"; else touch "$dir/no-dp.log"; fi
    listing >"$dir/listing"
    echo "prefix state saved: $(wc -l <"$dir/listing") entries" ;;
  check)
    [ -f "$dir/listing" ] || { echo "nothing saved in $dir"; exit 1; }
    if [ -f "$dir/no-dp.log" ]; then rm -f "$c/dp.log"; else cp -p "$dir/dp.log" "$c/dp.log"; fi
    new=$(comm -13 "$dir/listing" <(listing))
    if [ -n "$new" ]; then
      echo "the tests left these behind in the Wine prefix:"; echo "$new"; exit 1
    fi
    echo "prefix as it was: c:\\dp.log restored, nothing new" ;;
  *) echo "usage: prefix_state.sh save|check DIR"; exit 2 ;;
esac
