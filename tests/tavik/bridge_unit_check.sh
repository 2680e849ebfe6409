#!/bin/sh
# Checks the bridge's systemd template unit with systemd-analyze verify, as
# an instance whose program is the tavik-bridge just built (its manual
# pages and /usr/bin/tavik-bridge are not installed here). Skipped (77) without systemd-analyze.
set -eu
unit=$1 program=$2
command -v systemd-analyze >/dev/null 2>&1 || { echo "no systemd-analyze: skipped"; exit 77; }
dir=$(mktemp -d "${TMPDIR:-/tmp}/tavik-unit.XXXXXX")
trap 'rm -rf "$dir"' EXIT
sed -e "s|/usr/bin/tavik-bridge|$program|" -e '/^Documentation=/d' "$unit" > "$dir/tavik-bridge@.service"
ln -s "tavik-bridge@.service" "$dir/tavik-bridge@r1.service"
cd "$dir"
out=$(systemd-analyze verify ./tavik-bridge@r1.service 2>&1) || { echo "$out"; exit 1; }
[ -z "$out" ] || { echo "$out"; exit 1; }
echo "tavik-bridge@.service: verified"
