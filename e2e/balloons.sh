#!/usr/bin/env bash
# The panel's balloons as dunst's notifications on a private bus (checked as dbus-monitor saw them), the icon in trayer:
#   balloons.sh <velmora> <regsvr> <comm lib> <modem shim> <liblumora.so> <libpellago.so>
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/desktop.sh"
. "$(dirname "${BASH_SOURCE[0]}")/trayhosts.sh"
e2e_setup "$@"
e2e_bus
for lib in "$5" "$6"; do "$REGSVR" "$(realpath "$lib")" >>"$E2E/regsvr.err" 2>&1 || e2e_fail "regsvr registers $lib"; done
e2e_notifications
tray_trayer

# expect <lines...>: the Notify calls since the last start are these, each "<replaces_id: 0 or N>|<icon>|<body>".
notes() { e2e_notes | tail -n +$((SEEN + 1)); }
expect() { local want; want=$(printf '%s\n' "$@"); e2e_wait 10 eval '[ "$(notes | cut -d "|" -f 1,2,4 | sed "s/^[1-9][0-9]*|/N|/")" = "$want" ]' ||
    e2e_fail "notifications: $(notes | xargs -d '\n')"; }
# start <amplifier> <nastr.dat>: a fresh panel on COM1, its window in $main, the amplifier's front panel in $front.
start()
{
    [ -z "${panel:-}" ] || { kill "$panel"; wait "$panel" 2>/dev/null || true; SEEN=$(e2e_notes | wc -l); }
    printf '%s\n' "COM1 = sim:$1" "trace = $E2E/lines.vcd" >"$VELMORA_COMM_CONFIG" && printf "$2" >"$E2E/work/nastr.dat"
    cd "$E2E/work" && e2e_bg "$E2E/panel.err" "$VELMORA" && cd "$E2E" && panel=${E2E_PIDS[-1]}
    e2e_window 'Усилитель "Вельмора"  - Version 1.1' 15 && main=$E2E_WIN || e2e_fail "the main window"
    e2e_window "Simulated amplifier \"${1%%\?*}\"" 10 && front=$E2E_WIN || e2e_fail "the amplifier's front panel"
}
power() { xdotool windowfocus --sync "$front" key space; }
# shown <on|off>: the panel's poll has seen it (the red "ВЫКЛЮЧЕН" gone or there).
shown() { e2e_wait 10 eval "$([ $1 = on ] && echo '! ')"'[ "$(e2e_colour "$main" "#FF0000")" != 0 ]' ||
    e2e_fail "the panel showing the amplifier $1"; }
SEEN=0 ON='0|dialog-information|Усилитель включен' OFF='N|dialog-information|Усилитель выключен'

start 'amp?panel=1&power=on' ' 0 \r\n 0 \r\n 0 \r\n 0 \r\n' && expect "$ON"
power && expect "$ON" "$OFF"
# Switched on by the panel's button (a click on "Включить усилитель": 352, 56, 201 x 25 in the 569 x 295 client area
# below the menu bar), then off at the front panel: no balloons; on at the front panel again (warming up): announced.
e2e_press "$main" 452 68 && shown on
power && shown off && power && expect "$ON" "$OFF" "N|dialog-information|Усилитель включен"

# Automatic power-on with an amplifier whose carrier never rises: "off" at the first poll, the failure 2 s after start.
start 'late?panel=1&delay=600000' ' 0 \r\n 1 \r\n 0 \r\n 0 \r\n'
expect "0|dialog-information|Усилитель выключен" "N|dialog-error|Не удалось включить усилитель"
echo PASS
