# Tray hosts for the private desktop of desktop.sh (source that first, then call e2e_setup and e2e_bus).
#   tray_trayer        an XEmbed tray (trayer, bottom right); its window in TRAY_WIN, its process in TRAY_PID
#   tray_xfce          a StatusNotifierItem host: xfce4-panel holding only its notification area, with its own
#                      configuration daemon and settings; TRAY_WIN and TRAY_PID as above (called again, only
#                      the panel starts again)
#   tray_kill          the host killed, its window gone
#   tray_icons         the windows of 2 x 2 pixels or more inside the host's window, one per line: trayer's
#                      docked icons; xfce4-panel's notification area once it shows an item
#   tray_items         the items registered with the bus's StatusNotifierWatcher, one per line
#   tray_bus_host      true while a StatusNotifierItem host is registered with the watcher
# Status 77 (a skip) when a host program is missing outside CI.

_tray_need() { command -v "$1" >/dev/null || { echo "missing $1 (scripts/install-deps)" >&2; [ -n "${CI:-}" ] && exit 1; exit 77; }; }
# _tray_window <'("name" "class")'>: the first such top-level window that is not a 10 x 10 leader window.
_tray_window() { TRAY_WIN=$(xwininfo -root -children | awk -v c="$1" 'index($0, c) && !/ 10x10\+/ { print $1; exit }'); [ -n "$TRAY_WIN" ]; }

tray_trayer()
{
    _tray_need trayer
    e2e_bg "$E2E/trayer.err" trayer --edge bottom --align right --widthtype pixel --width 120 \
        --heighttype pixel --height 32 --SetDockType true
    TRAY_PID=${E2E_PIDS[-1]}
    e2e_wait 10 _tray_window '("panel" "trayer")' || e2e_fail "trayer's window"
}

tray_xfce()
{
    _tray_need xfce4-panel
    local xfconfd conf=$E2E/xfce/config/xfce4/xfconf/xfce-perchannel-xml
    xfconfd=$(ls /usr/lib/*/xfce4/xfconf/xfconfd 2>/dev/null | head -n 1)
    [ -x "$xfconfd" ] || _tray_need xfconfd
    local env=(HOME="$E2E/xfce" XDG_CONFIG_HOME="$E2E/xfce/config" XDG_CONFIG_DIRS="$E2E/xfce/dirs" NO_AT_BRIDGE=1)
    if [ ! -d "$conf" ]; then
        mkdir -p "$conf" "$E2E/xfce/dirs"
        # One panel along the bottom holding only the notification area.
        cat >"$conf/xfce4-panel.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0"><property name="configver" type="int" value="2"/>
  <property name="panels" type="array"><value type="int" value="1"/><property name="panel-1" type="empty">
    <property name="position" type="string" value="p=8;x=0;y=0"/><property name="length" type="uint" value="100"/>
    <property name="size" type="uint" value="32"/>
    <property name="plugin-ids" type="array"><value type="int" value="1"/></property></property></property>
  <property name="plugins" type="empty"><property name="plugin-1" type="string" value="systray"/></property>
</channel>
XML
        # Its own settings only: nothing of the machine's (XDG_CONFIG_DIRS) or the panel's home; no accessibility bus.
        e2e_bg "$E2E/xfconfd.err" env "${env[@]}" "$xfconfd"
    fi
    e2e_bg "$E2E/xfce4-panel.err" env "${env[@]}" xfce4-panel --disable-wm-check
    TRAY_PID=${E2E_PIDS[-1]}
    e2e_wait 10 tray_bus_host || e2e_fail "xfce4-panel registered with the StatusNotifierWatcher as a host"
    e2e_wait 10 _tray_window '("xfce4-panel" "Xfce4-panel")' || e2e_fail "xfce4-panel's window"
}

tray_icons()
{
    xwininfo -tree -id "$TRAY_WIN" 2>/dev/null | sed 1,/children:/d |
        awk '$1 ~ /^0x/ && match($0, / [0-9]+x[0-9]+\+/) { split(substr($0, RSTART + 1), s, /[x+]/); if (s[1] >= 2 && s[2] >= 2) print $1 }'
}

_tray_watcher() { dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
    org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher "string:$1" 2>/dev/null; }
tray_bus_host() { _tray_watcher IsStatusNotifierHostRegistered | grep -q 'boolean true'; }
tray_items() { _tray_watcher RegisteredStatusNotifierItems | sed -n 's/^ *string "\(.*\)"$/\1/p'; }

tray_kill()
{
    kill -KILL "$TRAY_PID" && wait "$TRAY_PID" 2>/dev/null || true
    e2e_wait 10 eval '! xwininfo -id "$TRAY_WIN" >/dev/null 2>&1' || e2e_fail "the tray host's window gone"
}
