# A private desktop for driving the panel from outside, sourced by the scripts beside it and scripts/screenshots.sh.
# e2e_setup <velmora> <regsvr> <serial-port control library> <modem shim> makes $E2E, a temporary folder with a
# private home, runtime folder, registry and port mapping (every port to the simulated amplifier "amp", front panel
# shown, line trace in $E2E/lines.vcd) and no session bus (e2e_bus makes one), starts Xvfb (no reset when its last
# client leaves) and runs all under the modem shim, which refuses the machine's serial ports. Status 77 (a skip) when
# a desktop program is missing outside CI. All it starts ends on exit.
E2E="" E2E_PIDS=()

e2e_fail() { echo "FAIL: $*" >&2; tail -n 20 "$E2E"/*.err >&2 2>/dev/null; E2E_KEEP=1; exit 1; }
e2e_wait() { local until=$((SECONDS + $1)); shift; until "$@"; do [ $SECONDS -lt "$until" ] || return 1; sleep 0.1; done; }
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

# e2e_carrier: the carrier's levels in the trace so far, as they changed ("01": it rose once).
e2e_carrier()
{
    awk '$1 == "$var" && $5 == "DCD" { dcd = $4 }
         /^[01]/ && substr($0, 2) == dcd && substr($0, 1, 1) != level { level = substr($0, 1, 1); printf "%s", level }' "$E2E/lines.vcd" 2>/dev/null
}
