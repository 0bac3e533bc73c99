#!/usr/bin/env bash
# The panel's balloons as notifications of a real daemon (dunst) on a private bus, the icon in trayer, the amplifier
# switched at its front panel: balloons_e2e.sh <velmora> <regsvr> <comm lib> <modem shim> <liblumora.so> <libpellago.so>
# What the bus saw (dbus-monitor) is checked: the replaced notification's id, the icon name and the text of each.
set -euo pipefail
here=$(dirname "${BASH_SOURCE[0]}")
. "$here/../../velmora/e2e/desktop.sh"
. "$here/../../platform/shell/e2e/trayhosts.sh"
e2e_setup "$@"
command -v dunst >/dev/null || { echo "missing dunst (scripts/install-deps)" >&2; [ -n "${CI:-}" ] && exit 1; exit 77; }
e2e_bus
for lib in "$5" "$6"; do "$REGSVR" "$(realpath "$lib")" >>"$E2E/regsvr.err" 2>&1 || e2e_fail "regsvr registers $lib"; done
e2e_bg "$E2E/monitor.log" dbus-monitor --session "interface='org.freedesktop.Notifications',member='Notify'"
e2e_bg "$E2E/dunst.err" dunst
tray_trayer
readonly MAIN='Усилитель "Вельмора"  - Version 1.1'

# notes: each Notify seen so far as "<replaces_id>|<icon>|<body>".
notes() { awk '/member=Notify/ { n = 1; s = ""; next }
    n && /^ *(string|uint32) / { sub(/^ *(string|uint32) /, ""); gsub(/"/, ""); if (n > 1) s = s (n > 2 ? "|" : "") $0
                                 if (++n > 5) { print s; n = 0 } }' "$E2E/monitor.log" | cut -d '|' -f 1,2,4 | sed 's/^[1-9][0-9]*|/N|/' | tail -n +$((SEEN + 1)); }
SEEN=0
# expect <lines...>: the notes so far are these.
expect() { local want; want=$(printf '%s\n' "$@"); e2e_wait 10 eval '[ "$(notes)" = "$want" ]' || e2e_fail "notifications: $(notes | xargs -d '\n')"; }
# start <port mapping line> <nastr.dat>: a fresh panel, its window in $main, the amplifier's front panel in $front.
start()
{
    [ -z "${panel:-}" ] || { kill "$panel"; wait "$panel" 2>/dev/null || true; }
    printf '%s\n' "COM1 = $1" "trace = $E2E/lines.vcd" >"$VELMORA_COMM_CONFIG" && printf "$2" >"$E2E/work/nastr.dat"
    cd "$E2E/work" && e2e_bg "$E2E/panel.err" "$VELMORA" && cd "$E2E"
    panel=${E2E_PIDS[-1]}
    e2e_window "$MAIN" 15 || e2e_fail "the main window"
    main=$E2E_WIN
    local name=${1#sim:} && e2e_window "Simulated amplifier \"${name%%\?*}\"" 10 || e2e_fail "the amplifier's front panel"
    front=$E2E_WIN
}
power() { xdotool windowfocus --sync "$front" key space; }
ON='0|dialog-information|Усилитель включен' OFF='N|dialog-information|Усилитель выключен'

start 'sim:amp?panel=1&power=on' ' 0 \r\n 0 \r\n 0 \r\n 0 \r\n'
expect "$ON"
power && expect "$ON" "$OFF"
# A click on "Включить усилитель" (top right in the window).
xdotool mousemove --window "$main" 386 69 click 1
e2e_wait 10 eval '[ "$(e2e_carrier | tail -c 3)" = 101 ]' || e2e_fail "the panel's power-on: $(e2e_carrier)"
power && e2e_wait 10 eval '[ "$(e2e_carrier | tail -c 2)" = 10 ]' || e2e_fail "the switch-off: $(e2e_carrier)"
power && expect "$ON" "$OFF" "N|dialog-information|Усилитель включен"

# Automatic power-on with an amplifier whose carrier never rises: "off" at the first poll, the failure 2 s after start.
SEEN=3
start 'sim:late?panel=1&delay=600000' ' 0 \r\n 1 \r\n 0 \r\n 0 \r\n'
expect "0|dialog-information|Усилитель выключен" "N|dialog-error|Не удалось включить усилитель"
echo PASS
