# Shell functions shared by the scripts that run Windows programs under Wine
# against the board simulator (scripts/test-windows, scripts/run-windows).
# Sourced by bash; every wait is bounded.
#
# Wine's output goes to files and its input comes from /dev/null: a pipe on
# Wine's output can hang it.
#
#   wine_session_start WORK  private Wine prefix under WORK, the EXIT trap
#   wine_display             a virtual X display when there is none; fonts, windows
#   start_sim FD NAME OPTS   a tavik-sim fed through descriptor FD, links in WORK/NAME
#   map_com NAME/COMn        the simulator's link as Wine's port COMn
#   sim_ask FD NAME CMD      one simulator command; prints its answer
#   sim_frames FD NAME BOARD the requests BOARD received since the last ask, one a line
#   point_at LAYOUT ID       the pointer to the middle of a control, placed by LAYOUT
#   click LAYOUT ID...       a real X click on each control

wine_work=""
sim_pids=()
xvfb_pid=""
sim=${sim:-build/default/tools/tavik-sim/tavik-sim}

wine_session_end() {
  exec 3>&- 4>&- 2>/dev/null || true  # end of input ends the simulators
  for pid in "${sim_pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill "$pid" 2>/dev/null || true
  done
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  [ -n "$wine_work" ] && rm -rf "$wine_work"
}

wine_session_start() {
  wine_work=$1
  export WINEPREFIX=$wine_work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  trap wine_session_end EXIT
  echo "wine: creating a Wine prefix"
  if ! timeout 300 wineboot --init </dev/null >"$wine_work/wineboot.log" 2>&1; then
    cat "$wine_work/wineboot.log" >&2
    return 1
  fi
  timeout 120 wineserver -w || true
}

# Imports registry entries given as lines of a .reg file (UTF-8 here; regedit
# takes UTF-16 with a byte-order mark).
wine_registry() {
  { printf 'Windows Registry Editor Version 5.00\r\n\r\n'; printf '%s\r\n' "$@"; } |
    iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$wine_work/settings.reg"
  timeout 60 wine regedit /S "$wine_work/settings.reg" </dev/null >"$wine_work/regedit.log" 2>&1
}

wine_display() {
  if [ -z "${DISPLAY:-}" ]; then
    Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp 5>"$wine_work/display" >"$wine_work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$wine_work/display" ] && break; sleep 0.1; done
    [ -s "$wine_work/display" ] || { echo "wine: the virtual display did not start" >&2; cat "$wine_work/xvfb.log" >&2; return 1; }
    export DISPLAY=":$(head -n 1 "$wine_work/display")"
    echo "wine: no display; using the virtual display $DISPLAY"
    # No window manager there: Wine draws the windows' frames and captions.
    wine_registry '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Managed"="N"'
  fi
  # The dialogs' font 굴림 (Gulim) is a Windows font: an installed Korean
  # font stands in for it.
  wine_registry '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
    '"굴림"="NanumGothic"' '"Gulim"="NanumGothic"'
}

start_sim() {  # fd, name, simulator options...
  local fd=$1 name=$2
  shift 2
  mkdir -p "$wine_work/$name"
  mkfifo "$wine_work/$name.in"
  "$sim" --link-dir "$wine_work/$name" "$@" <"$wine_work/$name.in" >"$wine_work/$name.log" 2>&1 &
  sim_pids+=($!)
  eval "exec $fd>\"$wine_work/$name.in\""
}

map_com() {  # name/COMn
  local link=$1 n
  for _ in $(seq 100); do [ -e "$wine_work/$link" ] && break; sleep 0.05; done
  [ -e "$wine_work/$link" ] || { echo "wine: simulator did not publish $link" >&2; cat "$wine_work"/*.log >&2; return 1; }
  n=$(basename "$link")
  ln -sfn "$wine_work/$link" "$WINEPREFIX/dosdevices/${n,,}"
}

sim_ask() {  # fd, name, command
  local fd=$1 log=$wine_work/$2.log mark="mark-$RANDOM$RANDOM" start
  start=$(wc -l <"$log")
  printf '%s\n%s\n' "$3" "$mark" >&"$fd"
  for _ in $(seq 50); do grep -q "$mark" "$log" && break; sleep 0.1; done
  tail -n +"$((start + 1))" "$log" | grep -v "$mark"
}

sim_frames() {  # fd, name, board: each request as text, STX as "<", ETX as ">" and the check byte in hex
  local bytes b text="" after_etx=0
  bytes=$(sim_ask "$1" "$2" "received $3" | sed -n 's/^ok://p')
  for b in $bytes; do
    if [ "$after_etx" = 1 ]; then text+="$b"$'\n'; after_etx=0; continue; fi
    case $b in
      02) text+="<" ;;
      03) text+=">"; after_etx=1 ;;
      *) text+=$(printf "\\x$b") ;;
    esac
  done
  printf '%s' "$text"
}

point_at() {  # layout file, control ID: layout lines are "ID x y width height" in screen pixels
  # shellcheck disable=SC2046
  xdotool mousemove $(awk -v id="$2" '$1 == id { print int($2 + $4 / 2), int($3 + $5 / 2) }' "$1")
}

click() {  # layout file, control IDs...
  local layout=$1 id
  shift
  for id in "$@"; do
    point_at "$layout" "$id"
    xdotool click 1
    sleep 0.3
  done
}
