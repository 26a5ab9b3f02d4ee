#!/usr/bin/env bash
# Checks every EDID file that the rewrite (or import) tests left in DIR with edid-decode -c.
# Fails when the manifest is missing or empty, a listed file is missing, or any
# file does not conform.
set -u
dir=${1:?usage: check_rewritten.sh DIR}
manifest=$dir/manifest.txt
command -v edid-decode >/dev/null || { echo "edid-decode is not installed"; exit 1; }
[[ -s $manifest ]] || { echo "no manifest in $dir: the rewrite test wrote nothing"; exit 1; }

status=0 count=0
while IFS= read -r name; do
  name=${name%$'\r'}
  [[ -n $name ]] || continue
  file=$dir/$name
  count=$((count + 1))
  if [[ ! -f $file ]]; then
    echo "FAIL $name: listed but missing"; status=1; continue
  fi
  size=$(stat -c %s "$file")
  if (( size % 128 != 0 )); then
    echo "FAIL $name: $size bytes, not raw blocks"; status=1; continue
  fi
  if out=$(edid-decode -c "$file" 2>&1); then
    if ! grep -q "Display Product Name: 'TovikMonitor'" <<<"$out"; then
      echo "FAIL $name: the name is not TovikMonitor"; echo "$out"; status=1
    else
      echo "ok   $name"
    fi
  else
    echo "FAIL $name: edid-decode -c exit $?"; echo "$out"; status=1
  fi
done <"$manifest"
echo "$count rewritten files checked"
(( count > 0 )) || status=1
exit $status
