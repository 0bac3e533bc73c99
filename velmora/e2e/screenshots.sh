#!/usr/bin/env bash
# Screenshots of the panel for the documentation, taken on a private virtual
# desktop (the same set-up as panel_e2e.sh) against the simulated amplifier:
#
#   main-start.png   the main window after start (amplifier off)
#   main-on.png      after "Включить усилитель" (warming up)
#   settings.png     the settings window ("Настройка")
#
#   velmora/e2e/screenshots.sh [<build dir> [<output folder>]]
#
# The build dir defaults to build/ of the repository, the output folder to
# docs/screenshots/. Not a test: it stops at the first thing that does not
# show as expected.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=$(realpath -- "${1:-$repo/build}")
out=$(realpath -m -- "${2:-$repo/docs/screenshots}")
VELMORA=$build/bin/velmora REGSVR=$build/bin/regsvr COMM_LIB=$build/lib/libvelmora_comm.so VELMORA_MODEMSHIM=$build/lib/velmora_modemshim.so
# shellcheck source=desktop.sh
. "$here/desktop.sh"
trap e2e_cleanup EXIT
trap 'exit 130' INT TERM HUP

e2e_setup
mkdir -p "$out"

# save <window> <name>: the window alone, without the file's time stamps.
save()
{
    local raw=$E2E_TMP/$2
    timeout 20 import -window "$1" "$raw"
    convert "$raw" -strip -define png:exclude-chunks=date,time "$out/$2"
    echo "$out/$2"
}

e2e_start_panel "$E2E_TMP/work" panel
E2E_WATCH=$E2E_LAST_PID
e2e_window "$E2E_MAIN_TITLE" 15 || e2e_fail "the main window" "none"
main=$E2E_WIN
e2e_move_front_panel_below "$main"
e2e_geometry "$main" || e2e_fail "the main window's geometry" "none"
mx=$WX my=$WY mw=$WW mh=$WH

# colour_shown <#RRGGBB>: that pure colour shows in the main window.
colour_shown()
{
    e2e_shot "$E2E_TMP/screen.png" &&
        [ "$(e2e_colour_count "$E2E_TMP/screen.png" "$mx" "$my" "$mw" "$mh" "$1")" -gt 20 ]
}
e2e_wait 10 colour_shown '#FF0000' || e2e_fail "the red 'ВЫКЛЮЧЕН'" "not shown"
save "$main" main-start.png

e2e_focus "$main" || e2e_fail "the keyboard focus on the main window" "elsewhere"
e2e_key space
e2e_wait 10 colour_shown '#008000' || e2e_fail "the green warm-up text" "not shown"
save "$main" main-on.png

# "Настройка" is a command on the menu bar itself, right of "Файл". With the
# "Файл" menu open, the pointer slides right along the bar; the menu closes
# where the next entry begins, and a click there chooses "Настройка".
e2e_open_file_menu "$main" || e2e_fail "the 'Файл' menu" "not shown"
popup=$E2E_WIN
viewable() { timeout 10 xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable'; }
x=$((mx + 20))
while viewable "$popup"; do
    [ "$x" -lt $((mx + mw)) ] || e2e_fail "the 'Файл' menu closing when the pointer reaches 'Настройка'" "it stayed open"
    x=$((x + 4))
    timeout 10 xdotool mousemove --sync "$x" $((my + 9))
    for _ in 1 2 3; do viewable "$popup" && sleep 0.1 || break; done
done
e2e_click $((x + 10)) $((my + 9))
e2e_window "$E2E_SETTINGS_TITLE" 10 || e2e_fail "the settings window" "none"
settings=$E2E_WIN
# It opens over the main window: beside it, both are whole on the screen.
e2e_geometry "$main"
timeout 10 xdotool windowmove --sync "$settings" $((WX + WW + 20)) "$WY" || true
e2e_focus "$settings" || true
# Drawn once its texts show.
e2e_geometry "$settings" || e2e_fail "the settings window's geometry" "none"
mx=$WX my=$WY mw=$WW mh=$WH
e2e_wait 10 colour_shown "#000000" || e2e_fail "the settings window drawn" "no text in it"
save "$settings" settings.png
