#!/usr/bin/env bash
# The panel's icon, made by the real icon control, on real tray hosts of both kinds, driven by real clicks:
#   tray.sh <velmora> <regsvr> <libvelmora_comm.so> <velmora_modemshim.so> <liblumora.so>
# The shell's record trace shows what the control asked.
set -euo pipefail
here=$(dirname "${BASH_SOURCE[0]}")
. "$here/desktop.sh"
. "$here/trayhosts.sh"
e2e_setup "$@"
e2e_bus
"$REGSVR" "$(realpath "$5")" >>"$E2E/regsvr.err" 2>&1 || e2e_fail "regsvr registers $5"
export VELMORA_SHELL_TRACE=$E2E/shell.trace
readonly MAIN='Усилитель "Вельмора"  - Version 1.1'

# start_panel: a fresh panel, its window in $main, its process in $panel; the trace starts empty.
start_panel()
{
    : >"$VELMORA_SHELL_TRACE"
    cd "$E2E/work" && e2e_bg "$E2E/panel.err" "$VELMORA" && cd "$E2E"
    panel=${E2E_PIDS[-1]}
    e2e_window "$MAIN" 15 || e2e_fail "the main window titled '$MAIN'"
    main=$E2E_WIN
}
shown() { xwininfo -id "$main" 2>/dev/null | grep -q IsViewable; }
ops() { cut -d ' ' -f 1 "$VELMORA_SHELL_TRACE" | xargs; }
# file_menu <keys>: "Файл" opened by a click on the menu bar, then the keys; the menu's window in $menu.
# (Moves here are not --sync: that waits for the pointer to move, for ever when it is there already.)
file_menu()
{
    eval "$(xdotool getwindowgeometry --shell "$main")"
    xdotool mousemove $((X + 20)) $((Y + 9)) click 1
    E2E_NOT="" && e2e_window velmora 5 || e2e_fail "the 'Файл' menu"
    menu=$E2E_WIN
    [ $# = 0 ] || xdotool key "$@"
}
# exit_panel <key>: "Выход" answered with the key (Return: No, the default; alt+y: Yes).
exit_panel()
{
    file_menu Down Down Return
    E2E_NOT=$menu && e2e_window Velmora 10 || e2e_fail "the question after 'Выход'"
    xdotool windowfocus --sync "$E2E_WIN" key "$1"
    e2e_wait 10 eval '! xwininfo -id "$E2E_WIN" 2>/dev/null | grep -q IsViewable' || e2e_fail "the question closing on $1"
}
# click_at <window> [<repeat> [<quarter>]]: a left click (or clicks 80 ms apart) at the window's middle, or that many
# quarters of its height down (xwininfo tells where a window docked in another one is on the screen).
click_at()
{
    local x y w h
    read -r x y w h < <(xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
        /Width:/ { w = $NF } /Height:/ { h = $NF } END { print x, y, w, h }')
    xdotool mousemove $((x + w / 2)) $((y + h * ${3:-2} / 4)) click --repeat "${2:-1}" --delay 80 1
}

# Each kind of host in turn, started after the panel: trayer's icons dock as windows (a double click restores);
# xfce4-panel shows the bus item (its primary activation, a click, restores).
for host in trayer xfce; do
    start_panel
    # The icon record as added: size 88, icon 1, flags 7, callback 0x200, the caption in Windows-1251 padded to 64.
    tip=$(printf '%s' "$MAIN" | iconv -f UTF-8 -t CP1251 | od -An -v -tx1 | xargs)
    pad=$(printf ' 20%.0s' $(seq $(($(wc -w <<<"$tip") + 2)) 64))
    record=$(head -n 1 "$VELMORA_SHELL_TRACE" | cut -d ' ' -f 1-5,10-21,26-89)
    [ "$record" = "add 58 00 00 00 01 00 00 00 07 00 00 00 00 02 00 00 $tip 00$pad" ] || e2e_fail "the icon record: $record"

    # With no tray host "Скрыть программу" (the menu's upper half) does nothing: the clicks after it find the window shown.
    file_menu && click_at "$menu" 1 1 && xdotool key Escape
    exit_panel Return
    shown && [ "$(ops)" = add ] || e2e_fail "the window kept with no tray host: trace '$(ops)'"

    tray_$host
    icon_shown='[ -n "$(tray_icons)" ]' clicks=2
    [ $host = trayer ] || icon_shown='tray_items | grep -q "StatusNotifierItem-$panel-" && [ -n "$(tray_icons)" ]' clicks=1
    e2e_wait 10 eval "$icon_shown" || e2e_fail "the icon shown by $host: items '$(tray_items)'"
    item=$(tray_items | grep "StatusNotifierItem-$panel-" | cut -d / -f 1) || true
    [ $host = trayer ] || dbus-send --session --print-reply --dest="$item" /StatusNotifierItem org.freedesktop.DBus.Properties.Get \
        string:org.kde.StatusNotifierItem string:ToolTip | grep -qF "string \"$MAIN\"" || e2e_fail "the item's tip"
    file_menu Down Return
    e2e_wait 10 eval '! shown' || e2e_fail "'Скрыть программу' hiding the window once $host is there"
    click_at "$(tray_icons | head -n 1)" $clicks
    e2e_wait 10 shown || e2e_fail "$clicks click(s) on the icon in $host showing the window"
    exit_panel alt+y
    wait "$panel" || e2e_fail "the panel ending with status 0"
    [ "$(ops)" = "add add delete" ] || e2e_fail "the icon deleted on 'Выход': trace '$(ops)'"
    e2e_wait 10 eval "! { $icon_shown; }" || e2e_fail "$host without the icon"
    tray_stop
done
echo PASS
