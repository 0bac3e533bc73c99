#!/usr/bin/env bash
# The panel's start and end driven from the session bus, its icon on an XEmbed tray (trayer), its balloons counted
# as the private bus carries them:
#   exit.sh <velmora> <regsvr> <comm lib> <modem shim> <liblumora.so> <libpellago.so> <velmoractl>
# 1. An amplifier whose carrier comes up half a second after its power key, switched on at the start: the panel
#    announces it on, and no failure notice follows. velmoractl show brings the hidden window back; velmoractl quit
#    with the settings window open is "Выход" answered Yes: every call after it is refused as closing, and the
#    process ends when the settings window closes.
# 2. An amplifier that ignores its power key, switched off on the way out: velmoractl quit tries five times, the
#    amplifier stays on, and the panel ends.
set -euo pipefail
here=$(dirname "${BASH_SOURCE[0]}")
. "$here/desktop.sh"
. "$here/trayhosts.sh"
CTL=$(realpath "$7")
e2e_setup "$1" "$2" "$3" "$4"
e2e_bus
for lib in "$5" "$6"; do "$REGSVR" "$(realpath "$lib")" >>"$E2E/regsvr.err" 2>&1 || e2e_fail "regsvr registers $lib"; done
e2e_notifications
tray_trayer
readonly MAIN='Усилитель "Вельмора"  - Version 1.1'

notes() { e2e_notes | cut -d '|' -f 4 | xargs -d '\n'; }
# start <nastr.dat> <port mapping line>: the panel started on them; its process in $panel, its window in $main.
start()
{
    printf "$1" >"$E2E/work/nastr.dat"
    printf '%s\n' "$2" "trace = $E2E/lines.vcd" >"$VELMORA_COMM_CONFIG"
    cd "$E2E/work" && e2e_bg "$E2E/panel.err" "$VELMORA" && cd "$E2E" && panel=${E2E_PIDS[-1]}
    e2e_window "$MAIN" 15 && main=$E2E_WIN || e2e_fail "the main window"
}
ended() { e2e_wait 10 eval '! e2e_running "$panel"' && wait "$panel"; }
# The words the trace holds: eight DTR rises each (the kernel's raise at the open adds one).
words() { awk '$1 == "$var" && $5 == "DTR" { id = $4 } /^[01]/ && substr($0, 2) == id { if (substr($0, 1, 1) == 1) n++ }
    END { print int(n / 8) }' "$E2E/lines.vcd"; }

# 1. Automatic power-on (line 2) and power-off (line 3), the carrier 500 ms after the key.
start ' 0 \r\n 1 \r\n 1 \r\n-1 \r\n' 'COM1 = sim:amp?delay=500'
e2e_wait 10 eval '[ "$(e2e_carrier)" = 01 ]' || e2e_fail "the carrier rising after the automatic power-on"
sleep 3   # the failure notice would come 2 s after the start
# (Whether the first poll came before the carrier, and announced the amplifier off first, depends on the machine.)
notes | grep -q "Усилитель включен$" && ! notes | grep -q "Не удалось" || e2e_fail "balloons after the start: $(notes)"

# Hidden behind the icon with "Скрыть программу", back with velmoractl show.
e2e_wait 10 eval '[ -n "$(tray_icons)" ]' || e2e_fail "the icon in trayer"
e2e_menu "$main" Down Return && e2e_wait 10 eval '! e2e_shown "$main"' || e2e_fail "the window hidden"
"$CTL" show || e2e_fail "velmoractl show"
e2e_wait 10 e2e_shown "$main" || e2e_fail "the window back after velmoractl show"

# "Настройка" open, velmoractl quit: the power-off, the icon gone, the process waiting for the settings window.
e2e_menu "$main" Escape Right Return
e2e_window 'Настройка программы' 10 && nastr=$E2E_WIN || e2e_fail "the settings window"
"$CTL" quit || e2e_fail "velmoractl quit"
[ "$(e2e_carrier)" = 010 ] || e2e_fail "the amplifier switched off before the reply: $(e2e_carrier)"
e2e_wait 10 eval '[ -z "$(tray_icons)" ]' || e2e_fail "the icon gone"
status=0 && "$CTL" on 2>"$E2E/ctl.err" || status=$?
[ $status = 3 ] && [ "$(cat "$E2E/ctl.err")" = "velmora is closing" ] || e2e_fail "velmoractl on while closing: $status $(cat "$E2E/ctl.err")"
e2e_running "$panel" || e2e_fail "the process kept while the settings window is open"
xdotool windowfocus --sync "$nastr" key Escape
ended || e2e_fail "the panel ending with status 0 once the settings window closed"

# 2. The key ignored: five power-off attempts of four words each, besides the start's one delayed word.
start ' 0 \r\n 0 \r\n 1 \r\n-1 \r\n' 'COM1 = sim:stuck?power=on&powerkey=0'
e2e_wait 10 eval '[ "$(e2e_carrier)" = 1 ]' || e2e_fail "the stuck amplifier on"
e2e_wait 10 eval '[ "$(words)" = 1 ]' || e2e_fail "the delayed word of the start: $(words)"
"$CTL" quit || e2e_fail "velmoractl quit on the stuck amplifier"
ended || e2e_fail "the panel ending after five attempts"
[ "$(words)" = 21 ] && [ "$(e2e_carrier)" = 1 ] || e2e_fail "five attempts, the amplifier on: $(words) words, $(e2e_carrier)"
echo PASS
