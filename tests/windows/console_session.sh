# The console's session test, sourced by scripts/test-windows once the
# simulators run (PSB COM7 on simulator B, descriptor 4; DRVB COM8 on
# simulator A, descriptor 3) and $run holds the program and its DLLs.
#
# Real X clicks on tavik-v1-basic.exe under Wine; the simulators' record of
# received bytes shows the session's requests on the wire: the power-data
# poll, a device switched on, the servo, Front held and let go. Esc while
# Front is held ends the program with a last stop (BE with empty fields).
# The simulator cannot tell whether Wine holds a port (Wine takes no lock
# on the pseudo-terminal), so the ports' release is the program's end.

session_fail() {
  echo "test-windows: console session: $*" >&2
  cat "$run/console.log" >&2
  exit 1
}
expect_frames() {  # what, received frames, expected frames...
  local what=$1 frames=$2 frame
  shift 2
  for frame in "$@"; do
    grep -qxF "$frame" <<<"$frames" || session_fail "$what: no request $frame among:"$'\n'"$frames"
  done
}

echo "test-windows: a clicked session of the console"
sim_frames 4 sim-b psb >/dev/null  # forget the library tests' requests
sim_frames 3 sim-a drvb >/dev/null
(cd "$run" && exec timeout 120 wine tavik-v1-basic.exe --layout layout.txt </dev/null >console.log 2>&1) &
console_pid=$!
for _ in $(seq 300); do [ -s "$run/layout.txt" ] && break; sleep 0.1; done
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^ORVANE BASIC TAVIK V0\.9$' | head -n 1) || true
[ -s "$run/layout.txt" ] && [ -n "$window" ] || session_fail "the window did not appear"
layout=$run/layout.txt

click "$layout" 1000 1002  # Connect both boards
click "$layout" 1012 1036  # Power Data Enable, LRF On
click "$layout" 1045       # Robot Control Enable: servo on, velocity worker
point_at "$layout" 1052
xdotool mousedown 1        # Front held, then let go
sleep 1
xdotool mouseup 1
sleep 0.5
expect_frames "PSB" "$(sim_frames 4 sim-b psb)" "<PDR>45" "<PA31>10"
expect_frames "DRVB" "$(sim_frames 3 sim-a drvb)" "<DB11>05" "<CZ11>1a" "<BE200;200>3f" "<BE;>3f"

# Esc while Front is held.
xdotool mousedown 1
sleep 0.5
xdotool key --window "$window" Escape
status=0
for _ in $(seq 100); do kill -0 "$console_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$console_pid" 2>/dev/null && session_fail "Esc did not end the program within 10 s"
wait "$console_pid" || status=$?
xdotool mouseup 1
[ "$status" -eq 0 ] || session_fail "the program ended with status $status"
drvb_frames=$(sim_frames 3 sim-a drvb)
expect_frames "DRVB while held" "$drvb_frames" "<BE200;200>3f"
[ "$(tail -n 1 <<<"$drvb_frames")" = "<BE;>3f" ] || session_fail "the last DRVB request is not the stop:"$'\n'"$drvb_frames"
echo "test-windows: console session: requests on the wire; Esc stops the wheels and ends the program"
