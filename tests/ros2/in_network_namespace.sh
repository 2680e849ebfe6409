#!/bin/sh
# Runs a program (a test and the processes it starts) in a network namespace
# of its own: a loopback that carries multicast, which DDS discovery needs and
# the machine's loopback may lack, and no way out to any network. Where no
# namespace can be made, the program runs without one and
# TAVIK_NO_NETWORK_NAMESPACE says why (the tests skip).
set -u
loopback='ip link set lo up && ip link set lo multicast on && ip route add 224.0.0.0/4 dev lo'
inside="if $loopback; then exec \"\$@\"; fi
TAVIK_NO_NETWORK_NAMESPACE='the loopback of a new network namespace took no multicast route (ip)' exec \"\$@\""
for unshare in 'unshare --net' 'unshare --net --map-root-user'; do
  if $unshare true 2>/dev/null; then
    exec $unshare sh -c "$inside" sh "$@"
  fi
done
TAVIK_NO_NETWORK_NAMESPACE='no network namespace may be made here (unshare --net needs root or user namespaces)' \
  exec "$@"
