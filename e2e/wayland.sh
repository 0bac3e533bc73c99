#!/usr/bin/env bash
# The panel native on Wayland: weston's headless compositor, no X server for the panel, a private session bus with
# a StatusNotifierItem host and a notification service of the test's own (busrecorder.py):
#   wayland.sh <velmora> <regsvr> <comm lib> <modem shim> <liblumora.so> <libpellago.so> <velmoractl>
# The window appears as the compositor's surface, the icon registers with the host, a balloon reaches the service,
# velmoractl drives the panel and velmoractl quit ends it.
set -euo pipefail
here=$(dirname "${BASH_SOURCE[0]}")
. "$here/desktop.sh"
CTL=$(realpath "$7")
for t in weston weston-debug /usr/bin/python3; do
    command -v $t >/dev/null || { echo "missing $t (scripts/install-deps)" >&2; [ -n "${CI:-}" ] && exit 1; exit 77; }
done
/usr/bin/python3 -c 'from gi.repository import Gio' 2>/dev/null || { echo "missing python3-gi" >&2; [ -n "${CI:-}" ] && exit 1; exit 77; }
ls /usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so >/dev/null 2>&1 ||
    { echo "missing qt6-wayland" >&2; [ -n "${CI:-}" ] && exit 1; exit 77; }
e2e_setup "$1" "$2" "$3" "$4"
unset DISPLAY   # the X server of the set-up stays unused: nothing may fall back to it
e2e_bus
for lib in "$5" "$6"; do "$REGSVR" "$(realpath "$lib")" >>"$E2E/regsvr.err" 2>&1 || e2e_fail "regsvr registers $lib"; done
owned() { dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner "string:$1" |
    grep -q true; }
e2e_bg "$E2E/busrecorder.err" /usr/bin/python3 "$here/busrecorder.py" "$E2E/recorded"
e2e_wait 10 eval 'owned org.kde.StatusNotifierWatcher && owned org.freedesktop.Notifications' || e2e_fail "the recorders on the bus"
e2e_bg "$E2E/weston.err" weston --backend=headless-backend.so --socket=wl-velmora --idle-time=0 --debug
e2e_wait 10 test -S "$XDG_RUNTIME_DIR/wl-velmora" || e2e_fail "weston's socket"
export WAYLAND_DISPLAY=wl-velmora QT_QPA_PLATFORM=wayland
printf '%s\n' "COM1 = sim:amp" "trace = $E2E/lines.vcd" >"$VELMORA_COMM_CONFIG"

readonly MAIN='Усилитель "Вельмора"  - Version 1.1'
cd "$E2E/work" && e2e_bg "$E2E/panel.err" "$VELMORA" && cd "$E2E" && panel=${E2E_PIDS[-1]}
# The window: the panel's process's xdg toplevel with the main window's title, mapped in the compositor's scene graph.
surface() { timeout 5 weston-debug scene-graph 2>/dev/null | grep -qF "role xdg_toplevel, PID $panel, surface ID" &&
    timeout 5 weston-debug scene-graph 2>/dev/null | grep -qF "top-level window '$MAIN' of velmora"; }
e2e_wait 15 surface || { timeout 5 weston-debug scene-graph >"$E2E/scene.err" 2>&1; e2e_fail "the panel's window on weston"; }
e2e_wait 10 grep -q "^item " recorded || e2e_fail "the icon registered with the host"
e2e_wait 10 grep -qF "notify $MAIN|Усилитель выключен" recorded || e2e_fail "the balloon"
"$CTL" on || e2e_fail "velmoractl on"
e2e_wait 10 eval '"$CTL" status | grep -q "Powered: yes"' || e2e_fail "velmoractl status after on: $("$CTL" status)"
"$CTL" show || e2e_fail "velmoractl show"
"$CTL" quit || e2e_fail "velmoractl quit"
e2e_wait 10 eval '! e2e_running "$panel"' && wait "$panel" || e2e_fail "the panel ending with status 0"
! grep -v 'XDG_RUNTIME_DIR\|wayland' "$E2E/panel.err" | grep -qi 'xcb\|could not connect to display' || e2e_fail "X11 used"
echo PASS
