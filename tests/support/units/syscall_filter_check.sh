#!/bin/sh
# Runs a service's program under its unit's system call filter, address
# families and write-or-execute memory (syscall_filter.py) against the
# simulator, as the unit runs it: it starts
# and works (the bridge: online and a battery reading on a mosquitto of its
# own; the node: a few seconds of polling, on DDS), ends on SIGTERM with
# 143, and --send-stop then sends the drive board the stop (exit 0). A call
# the filter lacks ends the program by SIGSYS (exit 159): strace -f names it.
#   syscall_filter_check.sh UNIT PROGRAM TAVIK_SIM
set -u
unit=$1 program=$2 sim=$3
here=$(dirname "$0")
command -v systemd-analyze >/dev/null 2>&1 || { echo "no systemd-analyze: skipped"; exit 77; }
dir=$(mktemp -d "${TMPDIR:-/tmp}/tavik-filter.XXXXXX")
pids=""
finish() {
  for pid in $pids; do kill "$pid" 2>/dev/null; done
  exec 3>&-
  wait
  rm -rf "$dir"
}
trap finish EXIT
fail() {
  echo "FAILED: $*"
  if [ -n "${program_pid:-}" ] && ! kill -0 "$program_pid" 2>/dev/null; then
    wait "$program_pid"
    echo "$program had ended with $? (159: killed by the filter)"
  fi
  cat "$dir"/*.out 2>/dev/null
  exit 1
}

# The simulator lives while descriptor 3 is open.
mkfifo "$dir/sim.in"
"$sim" <"$dir/sim.in" >"$dir/sim.out" 2>&1 &
pids="$pids $!"
exec 3>"$dir/sim.in"
for _ in $(seq 100); do grep -q '^export TAVIK_COM_DIR=' "$dir/sim.out" && break; sleep 0.1; done
TAVIK_COM_DIR=$(sed -n 's/^export TAVIK_COM_DIR=//p' "$dir/sim.out")
[ -n "$TAVIK_COM_DIR" ] || fail "tavik-sim did not start"
export TAVIK_COM_DIR

# As root, the program runs as the unit runs it: a user of its own whose
# only group beside its own is dialout, in a user namespace of its own
# (PrivateUsers=), with the simulator's ports root's and dialout's, 0660.
as_user=""
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null && unshare --user true 2>/dev/null; then
  dialout=$(getent group dialout | cut -d: -f3)
  chmod 0755 "$TAVIK_COM_DIR"
  for link in "$TAVIK_COM_DIR"/COM7 "$TAVIK_COM_DIR"/COM8; do
    chown "root:$dialout" "$(readlink -f "$link")"
    chmod 0660 "$(readlink -f "$link")"
  done
  as_user="setpriv --reuid=61934 --regid=61934 --groups=$dialout unshare --user"
fi

case $(basename "$program") in
tavik-bridge)
  command -v mosquitto >/dev/null && command -v mosquitto_sub >/dev/null || { echo "no mosquitto: skipped"; exit 77; }
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n' "$port" >"$dir/mosquitto.conf"
  mosquitto -c "$dir/mosquitto.conf" >"$dir/mosquitto.out" 2>&1 &
  pids="$pids $!"
  for _ in $(seq 100); do grep -q ' running$' "$dir/mosquitto.out" && break; sleep 0.1; done
  set -- --broker "mqtt://127.0.0.1:$port" --name r1 --allow-drive
  $as_user "$here/syscall_filter.py" "$unit" "$program" "$@" >"$dir/program.out" 2>&1 &
  program_pid=$!
  pids="$pids $program_pid"
  for topic in state battery; do
    got=$(mosquitto_sub -p "$port" -t "tavik/r1/$topic" -C 1 -W 30 2>&1) || fail "no $topic from the bridge ($got)"
    [ "$topic" != state ] || [ "${got#*online}" != "$got" ] || fail "the bridge's state: $got"
  done
  ;;
tavik-ros2)
  [ -z "${TAVIK_NO_NETWORK_NAMESPACE:-}" ] || { echo "skipped: $TAVIK_NO_NETWORK_NAMESPACE"; exit 77; }
  set -- --wheel-separation-mm 340 --allow-drive
  $as_user "$here/syscall_filter.py" "$unit" "$program" "$@" >"$dir/program.out" 2>&1 &
  program_pid=$!
  pids="$pids $program_pid"
  for _ in $(seq 300); do grep -q 'on domain' "$dir/program.out" && break; sleep 0.1; done
  grep -q 'on domain' "$dir/program.out" || fail "the node did not join its domain"
  sleep 3
  ;;
*) fail "no check for $program" ;;
esac

kill -TERM "$program_pid"
wait "$program_pid"
status=$?
[ "$status" -eq 143 ] || fail "$program under the filter ended with $status, not 143 (SIGTERM)"
$as_user "$here/syscall_filter.py" "$unit" "$program" "$@" --send-stop >"$dir/stop.out" 2>&1 || fail "$program --send-stop under the filter: exit $?"
# Without the group, --send-stop says the port's group is not mapped (exit 3).
if [ -n "$as_user" ]; then
  out=$(setpriv --reuid=61934 --regid=61934 --clear-groups unshare --user "$program" "$@" --send-stop 2>&1)
  status=$?
  case "$status $out" in
  "3 "*"not mapped into this user namespace"*) ;;
  *) fail "--send-stop without the group dialout: exit $status: $out" ;;
  esac
fi
echo "$(basename "$unit"): $program ran, ended and sent the stop under the unit's system call filter"
