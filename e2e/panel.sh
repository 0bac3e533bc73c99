#!/usr/bin/env bash
# The panel's own process on a virtual desktop against the simulated amplifier,
# driven by real keys and clicks: panel.sh <velmora> <regsvr> <libvelmora_comm.so> <velmora_modemshim.so>
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

# "Файл" -> "Выход" with its question: tray.sh, which ends the panel that way.
echo PASS
