# tavik.exe under Wine against simulator A (PSB COM12, DRVB COM8): every
# command, the reason of a failure from a simulator fault, a missing port,
# and the stop on the wire after Ctrl-C in drive. Sourced by
# scripts/test-windows inside its Wine session; output goes to files.
#
# The ports are entered as Wine's own (HKLM\Software\Wine\Ports), so that
# Wine lists them in HARDWARE\DEVICEMAP\SERIALCOMM as Windows does, which
# `ports` reads.
tool_fail() {
  echo "test-windows: tavik.exe: $*" >&2
  exit 1
}
# The console's COM23 goes: it is COM12's line again, and `ports` probes
# every port at once, so two probes would share one board.
wine_registry '[HKEY_LOCAL_MACHINE\Software\Wine\Ports]' \
  "\"COM12\"=\"$wine_work/sim-a/COM12\"" "\"COM8\"=\"$wine_work/sim-a/COM8\"" '"COM23"=-'
timeout 30 wineserver -k || true  # Wine enters the ports when it starts again
timeout 30 wineserver -w || true
rm -f "$WINEPREFIX/dosdevices/com23"
cp "$win/tools/tavik/tavik.exe" "$win/tests/windows/console_event.exe" "$run/"

tool_status=0
tool() {  # expected exit status, arguments; leaves the output in tool.out and tool.err
  local expected=$1
  shift
  tool_status=0
  (cd "$run" && timeout 60 wine tavik.exe "$@" </dev/null >tool.out 2>tool.err) || tool_status=$?
  tr -d '\r' <"$run/tool.out" >"$run/tool.txt"
  [ "$tool_status" -eq "$expected" ] ||
    tool_fail "tavik $* ended with $tool_status, not $expected:"$'\n'"$(cat "$run/tool.out" "$run/tool.err")"
}
expect_output() {  # what the output must hold, for which command
  grep -q -- "$1" "$run/tool.txt" "$run/tool.err" || tool_fail "$2 printed no '$1':"$'\n'"$(cat "$run/tool.out" "$run/tool.err")"
}

tool 0 --version
expect_output "tavik $(sed -n 's/^project(tavik VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)" "--version"
tool 0 ports
expect_output "COM12: psb" "ports"
expect_output "COM8: drvb" "ports"
tool 0 --json --psb COM12 psb status
expect_output '"battery_mv":' "psb status"
for command in "psb power lrf on" "psb max-dist 300" "drvb status" "drvb servo on" "drvb reset-errors" \
  "drvb param get max-velocity" "watch --duration 1"; do
  # shellcheck disable=SC2086
  tool 0 --psb COM12 --drvb COM8 $command
done
expect_output "psb.battery_mv" "watch"
[ "$(sim_frames 3 sim-a psb | grep -c '<PA31>')" -ge 1 ] || tool_fail "psb power lrf on sent no <PA31>"

# A board that keeps silent: the reason in JSON on standard error, exit 1.
sim_ask 3 sim-a "fault psb * silence" >/dev/null
tool 1 --json --psb COM12 psb status
sim_ask 3 sim-a "fault clear" >/dev/null
expect_output '"reason":"no-reply"' "psb status on a silent board"
tool 3 --json --psb COM55 psb status
expect_output '"reason":"port-missing"' "psb status on a missing port"

# Ctrl-C in drive: the last velocity request on the wire is the stop. The
# robot starts in the middle of the room, not where the console's session
# left it, which may be near enough a wall for the bumpers to end the drive.
sim_ask 3 sim-a "pose 2000 1500" >/dev/null
sim_frames 3 sim-a drvb >/dev/null
tool_status=0
(cd "$run" && timeout 60 wine console_event.exe 1500 c tavik.exe --json --drvb COM8 drvb drive 100 100 --for 8 \
  </dev/null >tool.out 2>tool.err) || tool_status=$?
tr -d '\r' <"$run/tool.out" >"$run/tool.txt"
[ "$tool_status" -eq 130 ] || tool_fail "drive with Ctrl-C ended with $tool_status, not 130: $(cat "$run/tool.out" "$run/tool.err")"
expect_output '"ended":"SIGINT"' "drive with Ctrl-C"
velocities=$(sim_frames 3 sim-a drvb | grep '^<BE')
[ "$(tail -n 1 <<<"$velocities")" = "<BE;>3f" ] || tool_fail "the last velocity request after Ctrl-C is not the stop:"$'\n'"$velocities"
echo "test-windows: tavik.exe: every command, a silent board's reason, a missing port, Ctrl-C stops the wheels"
