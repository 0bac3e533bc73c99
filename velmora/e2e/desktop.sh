# A private desktop for driving the panel from outside: sourced by
# panel_e2e.sh and screenshots.sh (bash, set -euo pipefail).
#
# The caller sets VELMORA, REGSVR, COMM_LIB and VELMORA_MODEMSHIM (the panel,
# the registration tool, the serial-port control library and the modem shim,
# preloaded into everything started here so that no serial port of the machine
# is ever opened) and calls e2e_setup. That makes a
# temporary folder with a private registry holding the serial-port control,
# a private home and runtime folder, a port mapping that leads COM1 to COM3 to
# the simulated amplifier (front panel shown) with the line trace in the
# folder, a virtual X display (Xvfb, own cookie, no window manager) and a
# private session bus. e2e_cleanup (run from the caller's EXIT trap) ends
# every process started here; each one also gets SIGTERM if the script itself
# is killed (setpriv --pdeathsig), so a killed run leaves nothing behind.
#
# Without a window manager every top-level window opens at the screen's
# top-left corner, keeps the place the program or the test gives it, and the
# keyboard goes to the window given the input focus.

E2E_TMP=""
E2E_PIDS=()                  # background processes to end, in start order
E2E_FAILED=0
E2E_SEEN=""
E2E_DEADLINE_S=10            # default for waits on windows and files

readonly E2E_MAIN_TITLE='Усилитель "Вельмора"  - Version 1.1'
readonly E2E_PANEL_TITLE='Simulated amplifier "amp"'
readonly E2E_BOX_TITLE='Velmora'          # message boxes carry the program's title
readonly E2E_POPUP_TITLE='velmora'        # menus carry the application name
readonly E2E_SETTINGS_TITLE='Настройка программы'

e2e_note() { printf -- '-- %s\n' "$*"; }

# e2e_fail <what was expected> [<what was seen>]: reports and ends the run.
e2e_fail()
{
    E2E_FAILED=1
    {
        printf 'FAIL: expected: %s\n' "$1"
        [ $# -ge 2 ] && printf '      seen:     %s\n' "$2"
        e2e_diagnostics
    } >&2
    exit 1
}

# What helps to understand a failure: the panel's own output, the windows on
# the display and where the files are kept.
e2e_diagnostics()
{
    [ -n "$E2E_TMP" ] || return 0
    local f
    for f in "$E2E_TMP"/panel*.err; do
        [ -s "$f" ] || continue
        printf -- '--- %s:\n' "${f##*/}"
        tail -n 20 "$f"
    done
    if [ -n "${DISPLAY:-}" ]; then
        printf -- '--- top-level windows:\n'
        timeout 5 xwininfo -root -children 2>/dev/null | grep -E '^ +0x' || true
    fi
    if [ -f "$E2E_TMP/lines.vcd" ]; then
        printf -- '--- line trace: %s\n' "$(e2e_trace_summary 2>/dev/null | tr '\n' ' ')"
    fi
}

e2e_now_ms() { local t=${EPOCHREALTIME/[.,]/}; echo $((t / 1000)); }

# e2e_wait <seconds> <command...>: runs the command every 0.1 s until it
# succeeds; fails (status 1) once the deadline has passed, or at once when
# the process E2E_WATCH names (if any) has ended.
E2E_WATCH=""
e2e_wait()
{
    local deadline=$(($(e2e_now_ms) + $1 * 1000))
    shift
    until "$@"; do
        [ "$(e2e_now_ms)" -lt "$deadline" ] || return 1
        [ -z "$E2E_WATCH" ] || e2e_running "$E2E_WATCH" || return 1
        sleep 0.1
    done
}

# e2e_running <pid>: the process exists and has not ended (a child that has
# ended stays a zombie until it is waited for).
e2e_running()
{
    local state
    state=$(awk '/^State:/ {print $2}' "/proc/$1/status" 2>/dev/null) || return 1
    [ -n "$state" ] && [ "$state" != Z ] && [ "$state" != X ]
}

# e2e_end <pid>: SIGTERM, then SIGKILL after 3 s; reaps it.
e2e_end()
{
    local pid=$1
    if e2e_running "$pid"; then
        kill -TERM "$pid" 2>/dev/null || true
        E2E_WATCH="" e2e_wait 3 eval '! e2e_running '"$pid" || kill -KILL "$pid" 2>/dev/null || true
    fi
    wait "$pid" 2>/dev/null || true
}

# e2e_forget <pid>: a process of this run that has ended and was waited
# for; its number may be reused, so it must not be ended again.
e2e_forget()
{
    local keep=() p
    for p in "${E2E_PIDS[@]}"; do
        [ "$p" = "$1" ] || keep+=("$p")
    done
    E2E_PIDS=("${keep[@]}")
    [ "$E2E_WATCH" != "$1" ] || E2E_WATCH=""
}

e2e_cleanup()
{
    local status=$? i
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
        e2e_end "${E2E_PIDS[i]}"
    done
    E2E_PIDS=()
    if [ -n "$E2E_TMP" ] && [ -d "$E2E_TMP" ]; then
        if [ "$E2E_FAILED" = 1 ] || [ "$status" != 0 ] || [ -n "${VELMORA_E2E_KEEP:-}" ]; then
            echo "-- files kept for a closer look: $E2E_TMP" >&2
        else
            rm -rf "$E2E_TMP"
        fi
    fi
}

# e2e_need_tools: every program the desktop needs. Status 77 (a skip for
# ctest) when one is missing outside CI; in CI a missing one is a failure.
e2e_need_tools()
{
    local missing=() t
    for t in Xvfb xauth xdotool xwininfo xprop xev import convert dbus-daemon setpriv od timeout; do
        command -v "$t" >/dev/null 2>&1 || missing+=("$t")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "missing programs: ${missing[*]} (scripts/install-deps installs them)" >&2
    if [ -n "${CI:-}" ]; then
        E2E_FAILED=1
        exit 1
    fi
    exit 77
}

# e2e_bg <log> <command...>: starts a background process of this run, stdin
# from /dev/null, stdout and stderr to <log>; its pid in E2E_LAST_PID.
e2e_bg()
{
    local log=$1
    shift
    setpriv --pdeathsig TERM -- "$@" </dev/null >"$log" 2>&1 &
    E2E_LAST_PID=$!
    E2E_PIDS+=("$E2E_LAST_PID")
}

e2e_setup()
{
    e2e_need_tools
    local f
    for f in "$VELMORA" "$REGSVR"; do
        [ -x "$f" ] || e2e_fail "an executable $f" "it is missing or not executable (build first)"
    done
    [ -f "$COMM_LIB" ] || e2e_fail "the serial-port control library $COMM_LIB" "it is missing (build first)"

    E2E_TMP=$(mktemp -d "${TMPDIR:-/tmp}/velmora-e2e.XXXXXX")
    mkdir -m 700 "$E2E_TMP/run"
    mkdir "$E2E_TMP/home" "$E2E_TMP/registry" "$E2E_TMP/work"

    # Nothing of the user's: home, runtime folder (the single-instance lock
    # lives there), registry, port mapping, session bus, display.
    export HOME="$E2E_TMP/home"
    export XDG_RUNTIME_DIR="$E2E_TMP/run"
    export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
    export VELMORA_REGISTRY="$E2E_TMP/registry"
    export VELMORA_COMM_CONFIG="$E2E_TMP/comm.conf"
    # The modem shim refuses every open of the machine's serial ports.
    [ -f "${VELMORA_MODEMSHIM:-}" ] || e2e_fail "the modem shim in VELMORA_MODEMSHIM" "it is missing (build first)"
    export LD_PRELOAD=$VELMORA_MODEMSHIM
    # The toolkit's own texts follow the locale: in English the question's
    # Yes is "&Yes", reached with Alt+Y.
    export QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8
    unset WAYLAND_DISPLAY SESSION_MANAGER LANGUAGE XDG_CURRENT_DESKTOP DESKTOP_SESSION \
          QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS \
          QT_AUTO_SCREEN_SCALE_FACTOR QT_FONT_DPI QT_ACCESSIBILITY DBUS_SESSION_BUS_ADDRESS

    cat >"$VELMORA_COMM_CONFIG" <<EOF
# All three ports lead to the simulated amplifier, its front panel shown.
COM1 = sim:amp?panel=1
COM2 = sim:amp?panel=1
COM3 = sim:amp?panel=1
trace = $E2E_TMP/lines.vcd
EOF

    "$REGSVR" "$COMM_LIB" >"$E2E_TMP/regsvr.log" 2>&1 ||
        e2e_fail "regsvr registers $COMM_LIB" "exit status $?: $(cat "$E2E_TMP/regsvr.log")"

    e2e_start_display
    e2e_start_bus
}

# Xvfb picks a free display itself (-displayfd) and accepts only our cookie;
# the server takes every cookie of its file, whatever display it names, and
# the clients get one for the display it chose.
e2e_start_display()
{
    local cookie display
    cookie=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
    xauth -q -f "$E2E_TMP/server.auth" add :0 MIT-MAGIC-COOKIE-1 "$cookie" 2>/dev/null
    : >"$E2E_TMP/display"
    setpriv --pdeathsig TERM -- Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
        -auth "$E2E_TMP/server.auth" 3>"$E2E_TMP/display" </dev/null >"$E2E_TMP/xvfb.log" 2>&1 &
    E2E_PIDS+=("$!")
    local xvfb=$!
    e2e_wait 15 test -s "$E2E_TMP/display" ||
        e2e_fail "Xvfb to report its display within 15 s" "$(e2e_running "$xvfb" && echo nothing || echo "it ended: $(tail -n 5 "$E2E_TMP/xvfb.log")")"
    display=$(tr -dc '0-9' <"$E2E_TMP/display")
    export XAUTHORITY="$E2E_TMP/Xauthority" DISPLAY=":$display"
    xauth -q -f "$XAUTHORITY" add "$DISPLAY" MIT-MAGIC-COOKIE-1 "$cookie" 2>/dev/null
    timeout 10 xprop -root _E2E_PROBE >/dev/null 2>&1 ||
        e2e_fail "a connection to Xvfb on $DISPLAY" "refused: $(tail -n 5 "$E2E_TMP/xvfb.log")"
}

# A session bus of the test's own, without service activation: the panel's
# toolkit looks for desktop services on it and must neither reach the
# user's bus nor start one of its own.
e2e_start_bus()
{
    cat >"$E2E_TMP/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$E2E_TMP</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
    : >"$E2E_TMP/bus.address"
    setpriv --pdeathsig TERM -- dbus-daemon --config-file="$E2E_TMP/bus.conf" --nofork --nopidfile \
        --print-address=3 3>"$E2E_TMP/bus.address" </dev/null >"$E2E_TMP/bus.log" 2>&1 &
    E2E_PIDS+=("$!")
    e2e_wait 10 grep -q . "$E2E_TMP/bus.address" ||
        e2e_fail "the private session bus to report its address within 10 s" "$(cat "$E2E_TMP/bus.log")"
    DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$E2E_TMP/bus.address")
    export DBUS_SESSION_BUS_ADDRESS
}

# e2e_start_panel <working folder> <name>: starts the panel there; its pid in
# E2E_LAST_PID, its output in $E2E_TMP/<name>.err.
e2e_start_panel()
{
    local dir=$1 name=$2
    (cd "$dir" && exec setpriv --pdeathsig TERM -- "$VELMORA") </dev/null >"$E2E_TMP/$name.err" 2>&1 &
    E2E_LAST_PID=$!
    E2E_PIDS+=("$E2E_LAST_PID")
}

# e2e_windows <exact name>: the visible windows of the panel's process kind
# with exactly that name (xdotool matches names case-insensitively, as
# patterns: the name is compared here).
e2e_windows()
{
    local id
    for id in $(timeout 10 xdotool search --onlyvisible --classname '^velmora$' 2>/dev/null || true); do
        [ "$(timeout 10 xdotool getwindowname "$id" 2>/dev/null || true)" = "$1" ] && echo "$id"
    done
    return 0
}

# e2e_window <exact name> [<seconds>]: waits for exactly one such window;
# its id in E2E_WIN. Status 1 when none shows in time (or several do).
e2e_window()
{
    local found=""
    _e2e_one() {
        found=$(e2e_windows "$1")
        [ -n "$found" ] && [ "$(wc -l <<<"$found")" -eq 1 ]
    }
    if e2e_wait "${2:-$E2E_DEADLINE_S}" _e2e_one "$1"; then
        E2E_WIN=$found
        return 0
    fi
    E2E_WIN=""
    E2E_SEEN=${found:-none}
    return 1
}

# e2e_geometry <window>: its place and size in WX WY WW WH (root coordinates).
e2e_geometry()
{
    local X="" Y="" WIDTH="" HEIGHT="" WINDOW="" SCREEN=""
    eval "$(timeout 10 xdotool getwindowgeometry --shell "$1" 2>/dev/null | grep -E '^[A-Z]+=[0-9]+$')"
    [ -n "$X" ] && [ -n "$Y" ] && [ -n "$WIDTH" ] && [ -n "$HEIGHT" ] || return 1
    WX=$X WY=$Y WW=$WIDTH WH=$HEIGHT
}

# e2e_click <x> <y>: a left click at that point of the screen.
e2e_click()
{
    timeout 10 xdotool mousemove --sync "$1" "$2"
    timeout 10 xdotool click 1
}

# e2e_focus <window>: gives it the keyboard (no window manager: the X input
# focus itself).
e2e_focus()
{
    timeout 10 xdotool windowfocus --sync "$1" 2>/dev/null || return 1
    [ "$(timeout 10 xdotool getwindowfocus 2>/dev/null)" = "$1" ]
}

# e2e_key <keys...>: typed on the keyboard (to the window with the focus).
e2e_key() { timeout 10 xdotool key --delay 50 "$@"; }

# The simulated amplifier's front panel opens where the panel's window does
# and comes to the front whenever the port is opened (every 5 s): moved
# below the main window, it covers nothing the test looks at or clicks.
e2e_move_front_panel_below()
{
    local main=$1
    e2e_window "$E2E_PANEL_TITLE" 5 || return 0
    e2e_geometry "$main" || return 0
    timeout 10 xdotool windowmove --sync "$E2E_WIN" "$WX" $((WY + WH + 40)) || true
}

e2e_shot() { timeout 20 import -window root "$1"; }

# e2e_colour_count <png> <x> <y> <w> <h> <#RRGGBB>: pixels of exactly that
# colour in the rectangle.
e2e_colour_count()
{
    convert "$1" -crop "$5x$4+$2+$3" +repage -format %c histogram:info:- |
        awk -v c="$6" 'toupper($0) ~ toupper(c) { sub(":", "", $1); n += $1 } END { print n + 0 }'
}

# The line trace (VCD): which id names which line is read from its header.
# Prints
#   bits=<RTS at each rising DTR edge, in order>
#   dcd_reads0=<1 when carrier detect was read absent before it first rose>
#   dcd_rises=<times carrier detect went to 1>  dcd_last=<its last level>
#   bits_before_rise=<bits clocked before carrier detect first rose>
e2e_trace_summary()
{
    if [ ! -f "$E2E_TMP/lines.vcd" ]; then
        printf 'bits=\ndcd_reads0=0\ndcd_rises=0\ndcd_last=none\nbits_before_rise=0\n'
        return 0
    fi
    awk '
        $1 == "$var" { name[$4] = $5; next }
        $1 == "$enddefinitions" { body = 1; next }
        !body || /^\$/ { next }
        /^#/ { next }
        /^[01xXzZ]/ {
            v = substr($0, 1, 1); line = name[substr($0, 2)]
            if (line == "RTS") rts = v
            else if (line == "DTR") {
                if (v == "1" && dtr != "1") { bits = bits (rts == "1" ? "1" : "0"); n++ }
                dtr = v
            } else if (line == "DCD") {
                if (v == "0" && !rises) reads0 = 1
                if (v == "1" && dcd != "1") { if (!rises) before = n; rises++ }
                dcd = v
            }
        }
        END {
            printf "bits=%s\ndcd_reads0=%d\ndcd_rises=%d\ndcd_last=%s\nbits_before_rise=%d\n",
                   bits, reads0, rises, (dcd == "" ? "x" : dcd), before
        }' "$E2E_TMP/lines.vcd"
}

# e2e_words <bits>: the command words, 8 bits each, element 1 first. The
# first bit is dropped: it is the one the port's first opening clocks in
# (the kernel raises DTR and RTS together), not part of any word.
e2e_words()
{
    local bits=${1:1} words=() i
    for ((i = 0; i + 8 <= ${#bits}; i += 8)); do
        words+=("${bits:i:8}")
    done
    [ $((${#bits} % 8)) -eq 0 ] || words+=("(+${bits:i})")
    echo "${words[*]}"
}

# e2e_open_file_menu <main window>: clicks "Файл" (the menu bar's first
# entry, at the window's top-left) and waits for its menu; its id in E2E_WIN.
e2e_open_file_menu()
{
    e2e_geometry "$1" || return 1
    e2e_click $((WX + 20)) $((WY + 9))
    e2e_window "$E2E_POPUP_TITLE" 5
}

# e2e_click_last_entry <menu window>: the menu holds two entries of equal
# height ("Скрыть программу", "Выход"): a click in its lower quarter.
e2e_click_last_entry()
{
    e2e_geometry "$1" || return 1
    e2e_click $((WX + WW / 2)) $((WY + WH - WH / 4))
}
