# A private desktop for driving the panel from outside, sourced by the scripts beside it and scripts/screenshots.sh.
# e2e_setup <velmora> <regsvr> <serial-port control library> <modem shim> makes $E2E, a temporary folder with a
# private home, runtime folder, registry and port mapping (every port to the simulated amplifier "amp", front panel
# shown, line trace in $E2E/lines.vcd) and no session bus (e2e_bus makes one), starts Xvfb (no reset when its last
# client leaves) and runs all under the modem shim, which refuses the machine's serial ports. Status 77 (a skip) when
# a desktop program is missing outside CI. All it starts ends on exit.
E2E="" E2E_PIDS=()

e2e_fail() { echo "FAIL: $*" >&2; tail -n 20 "$E2E"/*.err >&2 2>/dev/null; E2E_KEEP=1; exit 1; }
# e2e_wait <seconds> <command...>: true once the command is, tried every 0.1 s (every $E2E_POLL s if set).
e2e_wait() { local until=$((SECONDS + $1)); shift; until "$@"; do [ $SECONDS -lt "$until" ] || return 1; sleep "${E2E_POLL:-0.1}"; done; }
e2e_cleanup() { kill "${E2E_PIDS[@]}" 2>/dev/null || true; wait 2>/dev/null || true; [ -n "${E2E_KEEP:-}" ] || rm -rf "$E2E"; }
e2e_running() { [ -e "/proc/$1" ] && ! grep -q '^State:.Z' "/proc/$1/status" 2>/dev/null; }
# e2e_bg <log> <command...>: a background program of this run, ended with the script.
e2e_bg() { local log=$1; shift; setpriv --pdeathsig TERM -- "$@" </dev/null >"$log" 2>&1 & E2E_PIDS+=($!); }

e2e_setup()
{
    VELMORA=$(realpath "$1") REGSVR=$(realpath "$2") COMM_LIB=$(realpath "$3")
    [ -f "${4:-}" ] || e2e_fail "the modem shim that refuses the machine's serial ports (got '${4:-}')"
    export LD_PRELOAD; LD_PRELOAD=$(realpath "$4")
    for t in Xvfb xdotool xwininfo import convert setpriv; do
        command -v $t >/dev/null || { echo "missing $t (scripts/install-deps)" >&2; [ -n "${CI:-}" ] && exit 1; exit 77; }
    done
    E2E=$(mktemp -d "${TMPDIR:-/tmp}/velmora-e2e.XXXXXX")
    trap e2e_cleanup EXIT
    mkdir -m 700 "$E2E/run" && mkdir "$E2E/home" "$E2E/work"
    export HOME=$E2E/home XDG_RUNTIME_DIR=$E2E/run XDG_CONFIG_HOME=$E2E/home/.config XDG_DATA_HOME=$E2E/home/.local/share \
        VELMORA_REGISTRY=$E2E/registry VELMORA_COMM_CONFIG=$E2E/comm.conf DBUS_SESSION_BUS_ADDRESS=unix:path=$E2E/no-bus \
        QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8   # in English the questions' Yes is "&Yes": Alt+Y
    unset WAYLAND_DISPLAY SESSION_MANAGER LANGUAGE XDG_CURRENT_DESKTOP QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE QT_SCALE_FACTOR
    { for n in $(seq 1 16); do echo "COM$n = sim:amp?panel=1"; done; echo "trace = $E2E/lines.vcd"; } >"$VELMORA_COMM_CONFIG"
    "$REGSVR" "$COMM_LIB" >"$E2E/regsvr.err" 2>&1 || e2e_fail "regsvr registers $COMM_LIB"
    e2e_bg "$E2E/xvfb.err" Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$E2E/display"
    e2e_wait 15 test -s "$E2E/display" || e2e_fail "Xvfb reports its display"
    export DISPLAY=:$(tr -dc 0-9 <"$E2E/display")
}

# e2e_bus: a private session bus (dbus-daemon) for what starts from here on, in place of no bus at all.
e2e_bus()
{
    e2e_bg "$E2E/bus.err" dbus-daemon --session --nofork --print-address=3 3>"$E2E/bus"
    e2e_wait 10 test -s "$E2E/bus" || e2e_fail "a private session bus"
    export DBUS_SESSION_BUS_ADDRESS; DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$E2E/bus")
}

# e2e_window <exact title> [<seconds>]: waits for a visible window of the panel with that title (id in E2E_WIN).
e2e_window() { E2E_WIN=""; e2e_wait "${2:-10}" _e2e_find "$1"; }
_e2e_find()
{
    local id
    for id in $(xdotool search --onlyvisible --classname '^velmora$' 2>/dev/null); do
        [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "$1" ] && [ "$id" != "${E2E_NOT:-}" ] && E2E_WIN=$id && return 0
    done
    return 1
}

# e2e_notifications: dbus-monitor writing the bus's Notify calls to $E2E/monitor.log, then dunst; both ready on return.
e2e_notifications()
{
    command -v dunst >/dev/null || { echo "missing dunst (scripts/install-deps)" >&2; [ -n "${CI:-}" ] && exit 1; exit 77; }
    e2e_bg "$E2E/monitor.log" dbus-monitor --session "interface='org.freedesktop.Notifications',member='Notify'"
    e2e_wait 10 test -s "$E2E/monitor.log" || e2e_fail "dbus-monitor listening"
    e2e_bg "$E2E/dunst.err" dunst
    e2e_wait 10 eval 'dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
        string:org.freedesktop.Notifications | grep -q true' || e2e_fail "dunst on the bus"
}
# e2e_notes: the Notify calls so far, one a line: "<replaces_id>|<icon>|<summary>|<body>".
e2e_notes()
{
    awk '/^method call.*member=Notify/ { n = 1; s = ""; next } n && /^ *(string|uint32) / { sub(/^ *(string|uint32) "?/, ""); sub(/"$/, "")
        if (n > 1) s = s (n > 2 ? "|" : "") $0; if (++n > 5) { print s; n = 0 } }' "$E2E/monitor.log"
}

# e2e_menu <window> [<keys...>]: the window's "Файл" menu opened by a click on its menu bar, then the keys; the
# menu's window in E2E_MENU. (Moves here are not --sync: that waits for the pointer to move, for ever when it is
# there already.)
e2e_menu()
{
    eval "$(xdotool getwindowgeometry --shell "$1")" && shift
    xdotool mousemove $((X + 20)) $((Y + 9)) click 1
    E2E_NOT="" && e2e_window velmora 5 || e2e_fail "the 'Файл' menu"
    E2E_MENU=$E2E_WIN
    [ $# = 0 ] || xdotool key "$@"
}
# e2e_exit <window> <key>: "Выход" answered with the key (Return: No, the default; alt+y: Yes).
e2e_exit()
{
    e2e_menu "$1" Down Down Return
    E2E_NOT=$E2E_MENU && e2e_window Velmora 10 || e2e_fail "the question after 'Выход'"
    xdotool windowfocus --sync "$E2E_WIN" key "$2"
    e2e_wait 10 eval '! e2e_shown "$E2E_WIN"' || e2e_fail "the question closing on $2"
}
e2e_shown() { xwininfo -id "$1" 2>/dev/null | grep -q IsViewable; }
# e2e_click <window> [<repeat> [<quarter>]]: a left click (or clicks 80 ms apart) at the window's middle, or that many
# quarters of its height down (xwininfo tells where a window docked in another one is on the screen).
e2e_click()
{
    local x y w h
    read -r x y w h < <(xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
        /Width:/ { w = $NF } /Height:/ { h = $NF } END { print x, y, w, h }')
    xdotool mousemove $((x + w / 2)) $((y + h * ${3:-2} / 4)) click --repeat "${2:-1}" --delay 80 1
}
# e2e_press <window> <x> <y>: a click at that point of the main window's 569 x 295 client area below its menu bar.
e2e_press() { eval "$(xdotool getwindowgeometry --shell "$1")" && xdotool mousemove --window "$1" "$2" $((HEIGHT - 295 + $3)) click 1; }
# e2e_colour <window> <#RRGGBB> [<crop WxH+X+Y of the client area>]: how many pixels of that colour the window shows.
e2e_colour()
{
    local crop=()
    [ -z "${3:-}" ] || { eval "$(xdotool getwindowgeometry --shell "$1")"; crop=(-crop "${3%%+*}+$(cut -d + -f 2 <<<"$3")+$((HEIGHT - 295 + ${3##*+}))"); }
    import -window "$1" png:- 2>/dev/null | convert - "${crop[@]}" -format %c histogram:info:- | awk -v c="$2" 'toupper($0) ~ c { n = $1 } END { print n + 0 }'
}

# e2e_carrier: the carrier's levels in the trace so far, as they changed ("01": it rose once).
e2e_carrier()
{
    awk '$1 == "$var" && $5 == "DCD" { dcd = $4 }
         /^[01]/ && substr($0, 2) == dcd && substr($0, 1, 1) != level { level = substr($0, 1, 1); printf "%s", level }' "$E2E/lines.vcd" 2>/dev/null
}
