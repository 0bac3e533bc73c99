#!/usr/bin/env bash
# The panel's own process on a virtual desktop against the simulated amplifier,
# driven by real keys and clicks: panel_e2e.sh <velmora> <regsvr> <libvelmora_comm.so> <velmora_modemshim.so>
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/desktop.sh"
e2e_setup "$@"
readonly MAIN='Усилитель "Вельмора"  - Version 1.1' DEFAULTS=' 0 \r\n 0 \r\n 0 \r\n 0 \r\n'

cd "$E2E/work" && e2e_bg "$E2E/panel.err" "$VELMORA" && cd "$E2E"
panel=${E2E_PIDS[-1]}
e2e_window "$MAIN" 15 || e2e_fail "the main window titled '$MAIN'"
main=$E2E_WIN
printf "$DEFAULTS" | cmp -s - work/nastr.dat || e2e_fail "a first start writes nastr.dat with the defaults"

# Once the first poll shows 'ВЫКЛЮЧЕН' in red, "Включить усилитель" has the focus (the power-off button is disabled).
e2e_wait 10 eval 'import -window "$main" png:- | convert - -format %c histogram:info:- | grep -q "#FF0000"' || e2e_fail "'ВЫКЛЮЧЕН' in red"
xdotool windowfocus --sync "$main" key space
e2e_wait 12 eval '[ "$(e2e_carrier)" = 01 ]' || e2e_fail "the carrier rising after the power-on: $(e2e_carrier)"

# A second start ends at once, silently, without touching a settings file.
mkdir work2 && cd work2 && status=0 && timeout -k 2 5 "$VELMORA" </dev/null >"$E2E/second.err" 2>&1 || status=$?
cd "$E2E" && [ "$status" = 0 ] && [ ! -s second.err ] && [ ! -e work2/nastr.dat ] && e2e_running "$panel" ||
    e2e_fail "a second start ending at once with status 0, silently, without nastr.dat, the first running on (status $status)"

# "Файл" -> "Выход": No (the default, Return) keeps the panel, Yes ends it.
for answer in Return alt+y; do
    eval "$(xdotool getwindowgeometry --shell "$main")"
    xdotool mousemove $((X + 20)) $((Y + 9)) click 1   # not --sync: the pointer may be there already
    e2e_window velmora 5 || e2e_fail "the 'Файл' menu"
    E2E_NOT=$E2E_WIN && xdotool key Down Down Return
    e2e_window Velmora 10 || e2e_fail "the question after 'Выход'"
    xdotool windowfocus --sync "$E2E_WIN" key "$answer"
    e2e_wait 10 eval '! xwininfo -id "$E2E_WIN" 2>/dev/null | grep -q IsViewable' || e2e_fail "the question closing on $answer"
done
wait "$panel" || e2e_fail "the panel ending with status 0 after Yes"
# Without automatic power-off "Выход" leaves the amplifier on.
[ "$(e2e_carrier)" = 01 ] || e2e_fail "the carrier still up at the end: $(e2e_carrier)"
echo PASS
