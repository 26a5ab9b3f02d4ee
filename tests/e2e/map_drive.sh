#!/usr/bin/env bash
# map_drive.sh map|unmap DIR: points drive R: of the test prefix at DIR (made
# fresh) or removes the mapping and DIR. Refuses to touch an R: it did not make.
set -euo pipefail
action=${1:?usage: map_drive.sh map|unmap DIR}
dir=${2:?usage: map_drive.sh map|unmap DIR}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
prefix=${WINEPREFIX:-$here/build/wineprefix}
link=$prefix/dosdevices/r:
case $action in
  map)
    if [[ -e $link || -L $link ]] && [[ $(readlink "$link") != "$dir" ]]; then
      echo "drive R: of $prefix is in use ($(readlink "$link")); not touched"; exit 1
    fi
    rm -rf "$dir"; mkdir -p "$dir"
    ln -sfn "$dir" "$link"
    echo "R: -> $dir" ;;
  unmap)
    if [[ -L $link && $(readlink "$link") == "$dir" ]]; then rm -f "$link"; fi
    rm -rf "$dir"
    echo "R: unmapped" ;;
  *) echo "usage: map_drive.sh map|unmap DIR"; exit 2 ;;
esac
