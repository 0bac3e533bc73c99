#!/usr/bin/env bash
# Screenshots of the panel for the documentation, taken on a private virtual
# desktop (the end-to-end tests', e2e/desktop.sh) against the
# simulated amplifier:
#
#   main-start.png   the main window after start (amplifier off)
#   main-on.png      after "Включить усилитель" (warming up)
#   tray.png         the main window over its icon in a notification area (xfce4-panel's, started
#                    after the panel), the real icon control registered
#   notification.png the balloon "Усилитель выключен" as a desktop notification (dunst), the amplifier
#                    switched off at its front panel, the real balloon control registered
#   settings.png     the settings window ("Настройка")
#   main-x1.png, settings-x1.png, about-x1.png   the three windows alone, each at its place
#   main-x2.png, settings-x2.png, about-x2.png   the same with QT_SCALE_FACTOR=2
#
#   scripts/screenshots.sh [<build dir> [<output folder>]]
#
# The build dir defaults to build/ of the repository, the output folder to
# docs/screenshots/. It stops at the first thing that does not show as expected.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -- "${1:-$repo/build}")
out=$(realpath -m -- "${2:-$repo/docs/screenshots}")
. "$repo/e2e/desktop.sh"
. "$repo/e2e/trayhosts.sh"
e2e_setup "$build/bin/velmora" "$build/bin/regsvr" "$build/lib/libvelmora_comm.so" "$build/lib/velmora_modemshim.so"
e2e_bus
"$REGSVR" "$build/lib/liblumora.so" >>"$E2E/regsvr.err" 2>&1 || e2e_fail "regsvr registers the icon control"
"$REGSVR" "$build/lib/libpellago.so" >>"$E2E/regsvr.err" 2>&1 || e2e_fail "regsvr registers the balloon control"
e2e_bg "$E2E/dunst.err" dunst
mkdir -p "$out"

# save <window> <name>: the window alone, without the file's time stamps.
save()
{
    timeout 20 import -window "$1" "$E2E/$2"
    convert "$E2E/$2" -strip -define png:exclude-chunks=date,time "$out/$2"
    echo "$out/$2"
}
# shown <window> <#RRGGBB>: that pure colour shows in the window.
shown() { import -window "$1" png:- | convert - -format %c histogram:info:- | grep -qi "$2"; }

cd "$E2E/work" && e2e_bg "$E2E/panel.err" "$VELMORA" && cd "$E2E"
e2e_window 'Усилитель "Вельмора"  - Version 1.1' 15 || e2e_fail "the main window"
main=$E2E_WIN
e2e_wait 10 shown "$main" '#FF0000' || e2e_fail "the red 'ВЫКЛЮЧЕН'"
save "$main" main-start.png

xdotool windowfocus --sync "$main" key space
e2e_wait 10 shown "$main" '#008000' || e2e_fail "the green warm-up text"
save "$main" main-on.png

# The main window just above the notification area's right end, its icon there.
tray_xfce
e2e_wait 10 eval '[ -n "$(tray_icons)" ]' || e2e_fail "the icon in xfce4-panel's notification area"
area=$(tray_icons | head -n 1)
e2e_wait 10 shown "$area" '#506080' || e2e_fail "the icon drawn"
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool windowmove --sync "$main" 8 $((768 - 33 - HEIGHT - 8)) || true
timeout 20 import -window root "$E2E/root.png"
convert "$E2E/root.png" -crop $((WIDTH + 40))x$((HEIGHT + 41))+0+$((768 - 33 - HEIGHT - 8)) +repage -strip \
    -define png:exclude-chunks=date,time "$out/tray.png"
echo "$out/tray.png"

# The amplifier switched off at its front panel: the panel's balloon shows as dunst's notification.
e2e_window 'Simulated amplifier "amp"' 10 || e2e_fail "the amplifier's front panel"
xdotool windowfocus --sync "$E2E_WIN" key space
e2e_wait 10 eval 'note=$(xdotool search --onlyvisible --classname Dunst | head -n 1) && [ -n "$note" ]' || e2e_fail "the notification"
sleep 1   # dunst draws after mapping its window
eval "$(xdotool getwindowgeometry --shell "$note")"
timeout 20 import -window root "$E2E/root.png"
convert "$E2E/root.png" -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage -strip -define png:exclude-chunks=date,time "$out/notification.png"
echo "$out/notification.png"

# "Настройка" is a command on the menu bar itself, right of "Файл": with the
# "Файл" menu open, Escape leaves the bar selected, Right moves on and Return chooses.
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove --sync $((X + 20)) $((Y + 9)) click 1
e2e_window velmora 5 || e2e_fail "the 'Файл' menu"
xdotool key Escape Right Return
e2e_window 'Настройка программы' 10 || e2e_fail "the settings window"
settings=$E2E_WIN
# It opens over the main window: beside it, both are whole on the screen.
xdotool windowmove --sync "$settings" $((X + WIDTH + 20)) "$Y" || true
e2e_wait 10 shown "$settings" '#000000' || e2e_fail "the settings window drawn"
save "$settings" settings.png

# The three windows as designed, at scale 1 and on a desktop scaled by 2:
#   main-x1.png, settings-x1.png, about-x1.png, main-x2.png, settings-x2.png, about-x2.png
# Each run is a panel of its own (the one before ends first) on a screen large
# enough for the scaled windows at their places; each window is shot while it
# is the top one, and the dialogs' client areas must show at their designed points.
e2e_bg "$E2E/xvfb-large.err" Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp -noreset 3>"$E2E/display-large"
e2e_wait 15 test -s "$E2E/display-large" || e2e_fail "Xvfb reports the large screen's display"
for scale in 1 2; do
    kill "$(xdotool getwindowpid "$main")" && e2e_wait 10 eval '! xdotool getwindowname "$main" >/dev/null 2>&1' ||
        e2e_fail "the panel before the scale $scale run ending"
    DISPLAY=:$(tr -dc 0-9 <"$E2E/display-large")
    mkdir -p "$E2E/work-$scale" && cd "$E2E/work-$scale" && QT_SCALE_FACTOR=$scale e2e_bg "$E2E/panel-$scale.err" "$VELMORA" && cd "$E2E"
    e2e_window 'Усилитель "Вельмора"  - Version 1.1' 15 || e2e_fail "the main window at scale $scale"
    main=$E2E_WIN
    e2e_wait 10 shown "$main" '#FF0000' || e2e_fail "the red 'ВЫКЛЮЧЕН' at scale $scale"
    save "$main" "main-x$scale.png"
    for entry in 'Настройка программы:Right' 'О программе:Right Right'; do
        title=${entry%%:*}
        eval "$(xdotool getwindowgeometry --shell "$main")"
        xdotool mousemove --sync $((X + 20 * scale)) $((Y + 9 * scale)) click 1
        E2E_NOT="" && e2e_window velmora 5 || e2e_fail "the 'Файл' menu at scale $scale"
        xdotool key Escape ${entry#*:} Return
        e2e_window "$title" 10 || e2e_fail "'$title' at scale $scale"
        eval "$(xdotool getwindowgeometry --shell "$E2E_WIN")"
        expected=$([ "$title" = 'О программе' ] && echo 249,191 || echo 263,177)
        [ "$X,$Y" = "$((${expected%,*} * scale)),$((${expected#*,} * scale))" ] || e2e_fail "'$title' at $X,$Y, not $expected x $scale"
        e2e_wait 10 shown "$E2E_WIN" '#0000[CF]' || e2e_fail "'$title' drawn (its blue texts)"
        save "$E2E_WIN" "$([ "$title" = 'О программе' ] && echo about || echo settings)-x$scale.png"
    done
done
