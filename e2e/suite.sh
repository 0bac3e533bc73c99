#!/usr/bin/env bash
# A user's whole session with the panel, its icon on one kind of tray host (trayer: XEmbed; xfce: xfce4-panel as a
# StatusNotifierItem host), its balloons shown by dunst and counted as the private bus carries them:
#   suite.sh <trayer|xfce> <velmora> <regsvr> <comm lib> <modem shim> <liblumora.so> <libpellago.so>
set -euo pipefail
here=$(dirname "${BASH_SOURCE[0]}")
. "$here/desktop.sh"
. "$here/trayhosts.sh"
host=$1 && shift
e2e_setup "$@"
e2e_bus
for lib in "$5" "$6"; do "$REGSVR" "$(realpath "$lib")" >>"$E2E/regsvr.err" 2>&1 || e2e_fail "regsvr registers $lib"; done
e2e_notifications
export VELMORA_SHELL_TRACE=$E2E/shell.trace
readonly MAIN='Усилитель "Вельмора"  - Version 1.1' ON='0|dialog-information|Усилитель включен'
readonly OFF='N|dialog-information|Усилитель выключен'
# Port 1 leads to the amplifier "amp", port 2 to "com2"; both are on when the panel first opens them.
printf '%s\n' "COM1 = sim:amp?panel=1&power=on" "COM2 = sim:com2?panel=1&power=on" "trace = $E2E/lines.vcd" >"$VELMORA_COMM_CONFIG"

notes() { e2e_notes | cut -d '|' -f 1,2,4 | sed 's/^[1-9][0-9]*|/N|/'; }
expect() { local want; want=$(printf '%s\n' "$@"); e2e_wait 10 eval '[ "$(notes)" = "$want" ]' || e2e_fail "balloons: $(notes | xargs -d '\n')"; }
power() { xdotool windowfocus --sync "$front" key space; }
# on <yes|no>: the panel's poll has seen the carrier (the red "ВЫКЛЮЧЕН" gone) or not.
on() { e2e_wait 10 eval "$([ $1 = yes ] && echo '! ')"'[ "$(e2e_colour "$main" "#FF0000")" != 0 ]' || e2e_fail "the panel showing the carrier: $1"; }
# ready: the green pixels of the state text under "Усилитель" (16, 88, 225 x 25).
ready() { e2e_colour "$main" '#008000' 225x25+16+88; }
# icon: shown in the host (xfce4-panel's notification area may keep a window after it goes: the bus item counts).
icon() { [ -n "$(tray_icons)" ] && { [ $host = trayer ] || tray_items | grep -q "StatusNotifierItem-$panel-"; }; }
ops() { cut -d ' ' -f 1 "$VELMORA_SHELL_TRACE" | xargs; }

cd "$E2E/work" && e2e_bg "$E2E/panel.err" "$VELMORA" && cd "$E2E" && panel=${E2E_PIDS[-1]}
e2e_window "$MAIN" 15 && main=$E2E_WIN || e2e_fail "the main window"
e2e_window 'Simulated amplifier "amp"' 10 && front=$E2E_WIN || e2e_fail "the amplifier's front panel"
expect "$ON"
printf ' 0 \r\n 0 \r\n 0 \r\n 0 \r\n' | cmp -s - work/nastr.dat || e2e_fail "a first start writes nastr.dat with the defaults"
# The icon record as added: size 88, icon 1, flags 7, callback 0x200, the caption in Windows-1251 padded to 64.
tip=$(printf '%s' "$MAIN" | iconv -f UTF-8 -t CP1251 | od -An -v -tx1 | xargs)
pad=$(printf ' 20%.0s' $(seq $(($(wc -w <<<"$tip") + 2)) 64))
record=$(head -n 1 "$VELMORA_SHELL_TRACE" | cut -d ' ' -f 1-5,10-21,26-89)
[ "$record" = "add 58 00 00 00 01 00 00 00 07 00 00 00 00 02 00 00 $tip 00$pad" ] || e2e_fail "the icon record: $record"
# A second start ends at once, silently, without touching a settings file.
mkdir work2 && cd work2 && status=0 && timeout -k 2 5 "$VELMORA" </dev/null >"$E2E/second.err" 2>&1 || status=$?
cd "$E2E" && [ "$status" = 0 ] && [ ! -s second.err ] && [ ! -e work2/nastr.dat ] && e2e_running "$panel" ||
    e2e_fail "a second start ending at once with status 0, silently, without nastr.dat (status $status)"
# With no tray host "Скрыть программу" (the menu's upper half) does nothing: the clicks after it find the window shown.
e2e_menu "$main" && e2e_click "$E2E_MENU" 1 1 && xdotool key Escape
e2e_exit "$main" Return
e2e_shown "$main" || e2e_fail "the window kept with no tray host"

# The tray host comes: the icon shows there (on the bus with the caption as its tip).
tray_$host
e2e_wait 10 icon || e2e_fail "the icon in $host"
[ $host = trayer ] || dbus-send --session --print-reply --dest="$(tray_items | grep "StatusNotifierItem-$panel-" | cut -d / -f 1)" \
    /StatusNotifierItem org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierItem string:ToolTip |
    grep -qF "string \"$MAIN\"" || e2e_fail "the item's tip: items '$(tray_items)'"
power && on no && expect "$ON" "$OFF"

# "Включить усилитель" (352, 56, 201 x 25): on and warming up, no balloon; ready 49 s after the confirming attempt.
start=$EPOCHREALTIME && e2e_press "$main" 452 68 && on yes
e2e_wait 10 eval 'warm=$(ready) && [ "$warm" -gt 0 ]' || e2e_fail "'Идет прогрев радиоламп'"
E2E_POLL=0.5 e2e_wait 60 eval 'n=$(ready) && [ "$n" -gt 0 ] && [ "$n" -lt "$warm" ]' || e2e_fail "'Готов к работе'"
took=$(awk "BEGIN { print $EPOCHREALTIME - $start }") && awk "BEGIN { exit !($took >= 49) }" || e2e_fail "'Готов к работе' after $took s"
expect "$ON" "$OFF"
# Off at the front panel again: no switch-on was announced since the last switch-off, so no balloon.
power && on no

# Hidden with "Скрыть программу", back with a click on the icon (trayer docks it as a window: a double click).
e2e_menu "$main" Down Return && e2e_wait 10 eval '! e2e_shown "$main"' || e2e_fail "the window hidden"
e2e_click "$(tray_icons | head -n 1)" "$([ $host = trayer ] && echo 2 || echo 1)"
e2e_wait 10 e2e_shown "$main" || e2e_fail "the window back after a click on the icon"
# Hidden again, the tray host goes: the window comes back where it was. The host back, the icon is there again and
# the window stays.
place() { xdotool getwindowgeometry "$main" | tail -n +2 | xargs; }
was=$(place) && e2e_menu "$main" Down Return && e2e_wait 10 eval '! e2e_shown "$main"' || e2e_fail "the window hidden again"
tray_kill
e2e_wait 10 e2e_shown "$main" && [ "$(place)" = "$was" ] || e2e_fail "the window shown as it was when $host went: $(place)"
tray_$host
e2e_wait 10 icon && e2e_shown "$main" || e2e_fail "the icon back in $host, the window still shown"

# "Настройка" (right of "Файл" on the menu bar): COM2 chosen (Tab from "OK" to the port list), "OK".
e2e_menu "$main" Escape Right Return
e2e_window 'Настройка программы' 10 || e2e_fail "the settings window"
xdotool windowfocus --sync "$E2E_WIN" key Tab Down shift+Tab space
e2e_wait 10 eval 'printf " 1 \r\n 0 \r\n 0 \r\n 0 \r\n" | cmp -s - work/nastr.dat' || e2e_fail "nastr.dat for COM2: $(od -c work/nastr.dat)"
# Within the watchdog's 5 s the port moves to "com2", which is on: "ВКЛЮЧЕН" without a balloon (the warm-up was
# done); "Вход № 2" (32, 200, 153 x 17) then reaches "com2", whose front panel changes.
e2e_window 'Simulated amplifier "com2"' 10 && front=$E2E_WIN || e2e_fail "the port moved to COM2"
on yes
shot() { import -window "$front" png:- | md5sum; }
e2e_wait 10 eval 'before=$(shot) && [ "$(shot)" = "$before" ]' || e2e_fail "the front panel of \"com2\" drawn"
e2e_press "$main" 108 208
e2e_wait 10 eval '[ "$(shot)" != "$before" ]' || e2e_fail "the input key reaching the amplifier on COM2"

# "Выход", Yes: the icon goes, the process ends; all the while exactly the two balloons.
e2e_exit "$main" alt+y
e2e_wait 10 eval '! e2e_running "$panel"' && wait "$panel" || e2e_fail "the panel ending with status 0"
e2e_wait 10 eval '! icon' || e2e_fail "$host without the icon"
[ "$(ops | awk '{ print $NF }')" = delete ] || e2e_fail "the icon deleted on 'Выход': trace '$(ops)'"
dbus-send --session --type=signal / org.freedesktop.Notifications.Notify string:end
e2e_wait 10 grep -q '"end"' "$E2E/monitor.log" || e2e_fail "dbus-monitor seeing the last message"
expect "$ON" "$OFF"
echo PASS
