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
shown() { e2e_shown "$main"; }
ops() { cut -d ' ' -f 1 "$VELMORA_SHELL_TRACE" | xargs; }

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
    e2e_menu "$main" && e2e_click "$E2E_MENU" 1 1 && xdotool key Escape
    e2e_exit "$main" Return
    shown && [ "$(ops)" = add ] || e2e_fail "the window kept with no tray host: trace '$(ops)'"

    tray_$host
    icon_shown='[ -n "$(tray_icons)" ]' clicks=2
    [ $host = trayer ] || icon_shown='tray_items | grep -q "StatusNotifierItem-$panel-" && [ -n "$(tray_icons)" ]' clicks=1
    e2e_wait 10 eval "$icon_shown" || e2e_fail "the icon shown by $host: items '$(tray_items)'"
    item=$(tray_items | grep "StatusNotifierItem-$panel-" | cut -d / -f 1) || true
    [ $host = trayer ] || dbus-send --session --print-reply --dest="$item" /StatusNotifierItem org.freedesktop.DBus.Properties.Get \
        string:org.kde.StatusNotifierItem string:ToolTip | grep -qF "string \"$MAIN\"" || e2e_fail "the item's tip"
    e2e_menu "$main" Down Return
    e2e_wait 10 eval '! shown' || e2e_fail "'Скрыть программу' hiding the window once $host is there"
    e2e_click "$(tray_icons | head -n 1)" $clicks
    e2e_wait 10 shown || e2e_fail "$clicks click(s) on the icon in $host showing the window"
    e2e_exit "$main" alt+y
    wait "$panel" || e2e_fail "the panel ending with status 0"
    [ "$(ops)" = "add add delete" ] || e2e_fail "the icon deleted on 'Выход': trace '$(ops)'"
    e2e_wait 10 eval "! { $icon_shown; }" || e2e_fail "$host without the icon"
    tray_stop
done
echo PASS
