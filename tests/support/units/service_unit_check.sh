#!/bin/sh
# Checks a service's systemd template unit (packaging/NAME@.service) as an
# instance whose program is the one just built (its manual pages and
# /usr/bin/NAME are not installed here): systemd-analyze verify says
# nothing, and systemd-analyze security rates its sandbox at most 2.0 (out
# of 10: the exposure a broken-into program has). Skipped (77) without
# systemd-analyze.
set -eu
unit=$1 program=$2
command -v systemd-analyze >/dev/null 2>&1 || { echo "no systemd-analyze: skipped"; exit 77; }
name=$(basename "$unit" .service)
dir=$(mktemp -d "${TMPDIR:-/tmp}/tavik-unit.XXXXXX")
trap 'rm -rf "$dir"' EXIT
sed -e "s|/usr/bin/${name%@}|$program|" -e '/^Documentation=/d' "$unit" >"$dir/$name.service"
ln -s "$name.service" "$dir/${name}r1.service"
cd "$dir"
out=$(systemd-analyze verify "./${name}r1.service" 2>&1) || { echo "$out"; exit 1; }
[ -z "$out" ] || { echo "$out"; exit 1; }
rating=$(systemd-analyze security --offline=yes --no-pager "./${name}r1.service" 2>&1 | grep 'Overall exposure level')
systemd-analyze security --offline=yes --threshold=20 "./${name}r1.service" >/dev/null 2>&1 ||
  { echo "$name.service: above 2.0: $rating"; exit 1; }
echo "$name.service: verified; $rating"
