# The console's session test, sourced by scripts/test-windows once the
# simulators run (PSB COM7 on simulator B, descriptor 4; DRVB COM8 on
# simulator A, descriptor 3) and $run holds the program and its DLLs.
#
# Real X clicks and keys (through XTEST: after an Esc sent with XSendEvent,
# xdotool's --window, had closed one program, the next one started here
# closed at once) on tavik-v1-basic.exe under Wine; the simulators'
# record of received bytes shows the session's requests on the wire: the
# power-data poll, a device switched on, the servo, Front held and let go.
# Then each way of ending while jogging (Esc with Front held by the mouse,
# Alt+F4, the session's end, Disconnect, Disable, the last two while the Up
# key jogs): the last velocity request is the stop (BE with empty fields),
# the drive board flagged no wheel, and the stop's time after the event and
# after the last drive command is printed (from the libraries' trace, on
# Wine's clock, CLOCK_MONOTONIC_RAW). The simulator cannot tell whether Wine
# holds a port (Wine takes no lock on the pseudo-terminal), so the ports'
# release is the program's end.

session_fail() {
  echo "test-windows: console session: $*" >&2
  cat "$run/console.log" >&2
  [ -f "$run/trace.log" ] && { echo "the console's last frames:"; tail -n 12 "$run/trace.log"; } >&2
  exit 1
}
expect_frames() {  # what, received frames, expected frames...
  local what=$1 frames=$2 frame
  shift 2
  for frame in "$@"; do
    grep -qxF "$frame" <<<"$frames" || session_fail "$what: no request $frame among:"$'\n'"$frames"
  done
}
console_start() {  # starts the console, tracing its frames; sets console_pid, window and layout
  rm -f "$run/layout.txt" "$run/trace.log"
  (cd "$run" && TAVIK_TRACE=trace.log exec timeout 120 wine tavik-v1-basic.exe --layout layout.txt \
    </dev/null >console.log 2>&1) &
  console_pid=$!
  for _ in $(seq 300); do [ -s "$run/layout.txt" ] && break; sleep 0.1; done
  window=$(timeout 20 xdotool search --sync --onlyvisible --name '^ORVANE BASIC TAVIK V0\.9$' | head -n 1) || true
  [ -s "$run/layout.txt" ] && [ -n "$window" ] || session_fail "the window did not appear"
  layout=$run/layout.txt
}
console_ended() {  # waits up to 10 s for the program's end; its status must be 0
  local status=0
  for _ in $(seq 100); do kill -0 "$console_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$console_pid" 2>/dev/null && session_fail "$1 did not end the program within 10 s"
  wait "$console_pid" || status=$?
  [ "$status" -eq 0 ] || session_fail "the program ended with status $status after $1"
}
monotonic_us() { python3 -c 'import time; print(time.clock_gettime_ns(time.CLOCK_MONOTONIC_RAW) // 1000)'; }

echo "test-windows: a clicked session of the console"
sim_frames 4 sim-b psb >/dev/null  # forget the library tests' requests
sim_frames 3 sim-a drvb >/dev/null
console_start
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
click "$layout" 1046       # Robot Control Disable

# Each way: how the jog is held (the mouse on Front, Space on Front or the
# Up key), what ends it, and whether the program ends with it.
ways=(
  "Disable|space|click LAYOUT 1046|no"
  "Disconnect|up|click LAYOUT 1003|no"
  "Esc with the mouse held|mouse|xdotool key Escape|yes"
  "Alt+F4|mouse|xdotool key alt+F4|yes"
  "the session's end|mouse|timeout 30 wineboot --end-session|yes"
)
for entry in "${ways[@]}"; do
  IFS='|' read -r way hold end ends <<<"$entry"
  kill -0 "$console_pid" 2>/dev/null || console_start
  sim_ask 3 sim-a "reset drvb" >/dev/null
  # Disable (Disconnect leaves the panel as it was), Connect the drive board, Enable.
  click "$layout" 1046 1002 1045
  sim_frames 3 sim-a drvb >/dev/null
  case $hold in
    mouse) point_at "$layout" 1052 && xdotool mousedown 1 ;;
    space) click "$layout" 1052 && xdotool keydown space ;;  # the click focuses Front
    up) xdotool keydown Up ;;
  esac
  sleep 1
  event=$(monotonic_us)
  eval "${end//LAYOUT/$layout}"
  if [ "$ends" = yes ]; then console_ended "$way"; else sleep 0.5; fi
  case $hold in
    mouse) xdotool mouseup 1 ;;
    space) xdotool keyup space ;;
    up) xdotool keyup Up ;;
  esac
  sleep 0.2
  drvb_frames=$(sim_frames 3 sim-a drvb)
  expect_frames "DRVB while jogging before $way" "$drvb_frames" "<BE200;200>3f"
  [ "$(grep '^<BE' <<<"$drvb_frames" | tail -n 1)" = "<BE;>3f" ] ||
    session_fail "after $way the last velocity request is not the stop:"$'\n'"$drvb_frames"
  errors=$(sim_ask 3 sim-a status | sed -n 's/^drvb:.*errors \([^ ]*\).*/\1/p')
  [ "$errors" = "0x00;0x00" ] || session_fail "after $way the drive board flagged its wheels: $errors"
  # The trace's lines: time in microseconds, board, tx, bytes, |text|.
  read -r after gap < <(tr -d '\r' <"$run/trace.log" | awk -v event="$event" '
    $2 == "drvb" && $3 == "tx" && /\|.BE/ {
      if (/\|.BE;/) { if ($1 >= event && !stop) stop = $1 } else if (!stop) drive = $1
    }
    END { if (stop) printf "%.1f %.1f\n", (stop - event) / 1000, (stop - drive) / 1000 }')
  [ -n "${after:-}" ] || session_fail "no stop in the trace after $way"
  echo "test-windows: console session: $way: stop $after ms after the event, $gap ms after the last drive command"
  awk -v t="$after" 'BEGIN { exit !(t < 400) }' || session_fail "the stop came $after ms after $way"
done
kill -0 "$console_pid" 2>/dev/null && session_fail "the program outlived the session's end"
echo "test-windows: console session: requests on the wire; every way of ending while jogging stops the wheels"
