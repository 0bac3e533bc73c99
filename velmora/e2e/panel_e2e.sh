#!/usr/bin/env bash
# End-to-end test of the panel on a virtual desktop, driven like a user:
# the panel runs as its own process on Xvfb against the simulated amplifier,
# gets real keys and clicks, and is judged by what the user sees (its
# windows, the colours of its state texts, its settings file, its exit) and
# by what went over the serial lines (the line trace).
#
#   panel_e2e.sh <velmora> <regsvr> <libvelmora_comm.so>
#
# Steps: first start (window, settings file); "Включить усилитель" (the
# carrier comes up, the state word turns blue); a second start (ends at once,
# silently, without a window); "Файл" -> "Выход" answered No (the default),
# then Yes (the panel ends with status 0). Every wait has a deadline; every
# process started here is ended on the way out, also on failure.
set -euo pipefail

if [ $# -ne 3 ]; then
    echo "usage: $0 <velmora> <regsvr> <libvelmora_comm.so>" >&2
    exit 2
fi
VELMORA=$(realpath -- "$1") REGSVR=$(realpath -- "$2") COMM_LIB=$(realpath -- "$3")
# shellcheck source=desktop.sh
. "$(dirname "${BASH_SOURCE[0]}")/desktop.sh"
trap e2e_cleanup EXIT
trap 'exit 130' INT TERM HUP

e2e_setup
work=$E2E_TMP/work
shots=$E2E_TMP

# --- First start -----------------------------------------------------------
e2e_note "starting the panel on $DISPLAY"
e2e_start_panel "$work" panel
panel=$E2E_LAST_PID
E2E_WATCH=$panel
e2e_window "$E2E_MAIN_TITLE" 15 ||
    e2e_fail "the main window titled '$E2E_MAIN_TITLE' within 15 s" \
        "$(e2e_running "$panel" && echo "windows with that title: $E2E_SEEN" || echo "the panel ended")"
main=$E2E_WIN

printf ' 0 \r\n 0 \r\n 0 \r\n 0 \r\n' >"$E2E_TMP/nastr.expected"
cmp -s "$work/nastr.dat" "$E2E_TMP/nastr.expected" ||
    e2e_fail "the first start writes nastr.dat as the 20 bytes ' 0 \\r\\n' four times" \
        "$( [ -e "$work/nastr.dat" ] && od -An -c "$work/nastr.dat" | tr -s ' \n' ' ' || echo 'no nastr.dat')"

e2e_move_front_panel_below "$main"
e2e_geometry "$main" || e2e_fail "the main window's geometry" "xdotool could not read it"
mx=$WX my=$WY mw=$WW mh=$WH
e2e_note "main window $main at ${mx},${my}, ${mw}x${mh}"

# Pure colours of the state texts: "Усилитель" is always blue, the state
# word red ("ВЫКЛЮЧЕН") or blue ("ВКЛЮЧЕН"), the readiness text green.
count() { e2e_colour_count "$1" "$mx" "$my" "$mw" "$mh" "$2"; }
shot="" red="?" blue="?" green="?"
colours()
{
    shot=$shots/shot-$(e2e_now_ms).png
    e2e_shot "$shot"
    red=$(count "$shot" '#FF0000') blue=$(count "$shot" '#0000FF') green=$(count "$shot" '#008000')
}
seen_colours() { echo "pure red $red, blue $blue, green $green pixels in the main window (screenshot $shot)"; }

# The first poll shows the amplifier off.
off_shown() { colours && [ "$red" -gt 20 ]; }
e2e_wait 10 off_shown ||
    e2e_fail "the state word 'ВЫКЛЮЧЕН' in red within 10 s of the window" "$(seen_colours)"
[ "$green" -eq 0 ] ||
    e2e_fail "no readiness text while the amplifier is off" "$(seen_colours)"
blue_off=$blue
cp "$shot" "$shots/main-off.png"
eval "$(e2e_trace_summary)"
[ "$dcd_rises" -eq 0 ] ||
    e2e_fail "the amplifier off before the panel switches it on" "carrier detect already 1 in the line trace"

# --- "Включить усилитель" --------------------------------------------------
# The window takes the focus; its first focusable control is then
# "Включить усилитель" ("Выключить усилитель", before it in the tab order,
# is disabled while the amplifier is off), and Space presses it.
e2e_focus "$main" ||
    e2e_fail "the main window takes the keyboard focus" "the focus is on $(xdotool getwindowfocus 2>&1)"
e2e_note "pressing 'Включить усилитель' (Space on the focused button)"
e2e_key space
on_shown() { colours && [ "$red" -eq 0 ] && [ "$blue" -ge $((blue_off + 20)) ] && [ "$green" -gt 20 ]; }
if ! e2e_wait 10 on_shown; then
    eval "$(e2e_trace_summary)"
    e2e_fail "after 'Включить усилитель': the state word 'ВКЛЮЧЕН' in blue and the warm-up text in green within 10 s" \
        "$(seen_colours); words sent so far: $(e2e_words "$bits")"
fi
cp "$shot" "$shots/main-on.png"

# --- A second start --------------------------------------------------------
# It must end at once, silently, without mapping a window and without
# touching a settings file (started in a folder of its own, it must not
# create one there). xev records every window mapped on the screen meanwhile;
# root property changes mark the interval.
mkdir "$E2E_TMP/work2"
e2e_bg "$E2E_TMP/xev.log" xev -root -event substructure -event property
xev=$E2E_LAST_PID
mark() { timeout 10 xprop -root -f _VELMORA_E2E_MARK 8s -set _VELMORA_E2E_MARK "$1"; }
marks() { grep -c '(_VELMORA_E2E_MARK)' "$E2E_TMP/xev.log" || true; }
# xev listens once it reports a mark (set again until it does).
E2E_WATCH="" e2e_wait 10 eval 'mark before && [ "$(marks)" -ge 1 ]' ||
    e2e_fail "xev to report a root property change within 10 s" "$(cat "$E2E_TMP/xev.log")"
marks_before=$(marks)
e2e_note "starting a second panel"
t0=$(e2e_now_ms)
second_status=0
(cd "$E2E_TMP/work2" && exec timeout -k 2 8 "$VELMORA") </dev/null >"$E2E_TMP/second.out" 2>&1 ||
    second_status=$?
elapsed=$(($(e2e_now_ms) - t0))
mark after
E2E_WATCH="" e2e_wait 10 eval '[ "$(marks)" -gt "$marks_before" ]' ||
    e2e_fail "xev to report the second root property change within 10 s" "$(cat "$E2E_TMP/xev.log")"
e2e_end "$xev"
e2e_forget "$xev"
maps=$(grep -c '^MapNotify' "$E2E_TMP/xev.log" || true)

problems=()
[ "$second_status" -eq 0 ] ||
    problems+=("status $second_status after ${elapsed} ms (124: still running after 8 s)")
[ "$elapsed" -lt 5000 ] || problems+=("it took ${elapsed} ms to end")
[ ! -s "$E2E_TMP/second.out" ] || problems+=("it printed: $(head -c 300 "$E2E_TMP/second.out")")
[ "$maps" -eq 0 ] ||
    problems+=("$maps windows mapped meanwhile: $(grep -A1 '^MapNotify' "$E2E_TMP/xev.log" | head -n 8 | tr -s ' \n' ' ')")
[ ! -e "$E2E_TMP/work2/nastr.dat" ] || problems+=("it created nastr.dat in its working folder")
[ ${#problems[@]} -eq 0 ] ||
    e2e_fail "a second panel ends at once (under 5 s) with status 0, silently, without a window, creating no nastr.dat" \
        "$(printf '%s; ' "${problems[@]}")"
e2e_running "$panel" || e2e_fail "the first panel keeps running after the second start" "it ended"
[ "$(e2e_windows "$E2E_MAIN_TITLE")" = "$main" ] ||
    e2e_fail "the first panel's main window unchanged after the second start" "main windows: $(e2e_windows "$E2E_MAIN_TITLE" | tr '\n' ' ')"
e2e_note "second panel ended after ${elapsed} ms, status 0, silent, no window"

# --- What went over the lines ----------------------------------------------
# Carrier detect is recorded as read and the trace is written out at each
# character sent and each close of the port, so the rise shows at the
# latest when the port is next closed.
trace_rise() { eval "$(e2e_trace_summary)" && [ "$dcd_rises" -ge 1 ]; }
e2e_wait 12 trace_rise ||
    e2e_fail "carrier detect going to 1 in the line trace within 12 s of the switch-on" \
        "levels: reads0=$dcd_reads0 rises=$dcd_rises last=$dcd_last; words: $(e2e_words "$bits")"
[ "$dcd_reads0" -eq 1 ] ||
    e2e_fail "carrier detect read as 0 before it rose (the amplifier was off)" "no 0 read before the rise"
words_before=$(e2e_words "${bits:0:bits_before_rise}")
[[ " $words_before" == *" 10000000 00000000 00000000" ]] ||
    e2e_fail "the carrier rising after a power-key press (words 10000000 00000000 00000000)" \
        "words before the rise: $words_before"
e2e_note "line trace: words '$words_before', then carrier detect 1"

# --- "Файл" -> "Выход" -----------------------------------------------------
# exit_question: opens the menu, chooses "Выход" and waits for the question.
after_no=0
exit_question()
{
    if ! e2e_open_file_menu "$main"; then
        e2e_running "$panel" || e2e_fail "the panel keeps running$([ "$after_no" = 1 ] && echo " after No (the default button)")" "it ended"
        e2e_fail "the 'Файл' menu opens on a click at the menu bar's first entry" "menus: $E2E_SEEN"
    fi
    e2e_click_last_entry "$E2E_WIN" || e2e_fail "the 'Файл' menu stays open until clicked" "it closed"
    e2e_window "$E2E_BOX_TITLE" 10 ||
        e2e_fail "the question 'Вы действительно хотите выйти из программы?' (a window titled '$E2E_BOX_TITLE') after 'Выход'" \
            "windows titled so: $E2E_SEEN"
    box=$E2E_WIN
    e2e_focus "$box" ||
        e2e_fail "the question takes the keyboard focus" "the focus is on $(xdotool getwindowfocus 2>&1)"
}
box_gone() { [ -z "$(e2e_windows "$E2E_BOX_TITLE")" ]; }

e2e_note "'Файл' -> 'Выход', answered with Return (the default button: No)"
exit_question
e2e_key Return
e2e_wait 10 box_gone || e2e_fail "the question closes on Return" "it is still open"
# The menu opening again below shows the panel kept running after No.
after_no=1

e2e_note "'Файл' -> 'Выход', answered Yes (Alt+Y)"
exit_question
e2e_key alt+y
E2E_WATCH=""
e2e_wait 10 eval '! e2e_running '"$panel" ||
    e2e_fail "the panel ends within 10 s of Yes" "it still runs; windows: $(e2e_windows "$E2E_MAIN_TITLE" | tr '\n' ' ')"
panel_status=0
wait "$panel" || panel_status=$?
e2e_forget "$panel"
[ "$panel_status" -eq 0 ] ||
    e2e_fail "the panel ends with status 0 after 'Выход'" "status $panel_status"
if grep -q "Run-time error" "$E2E_TMP/panel.err"; then
    e2e_fail "no run-time error report" "$(cat "$E2E_TMP/panel.err")"
fi

# The whole session on the lines: the word that follows the start, one
# power-on attempt, nothing on "Выход" (automatic power-off is off), and the
# amplifier still on.
eval "$(e2e_trace_summary)"
words=$(e2e_words "$bits")
[ "$words" = "00000000 10000000 00000000 00000000" ] ||
    e2e_fail "the session's words: 00000000 (after the start), 10000000 00000000 00000000 (one power-on attempt), none on 'Выход'" \
        "$words"
[ "$dcd_rises" -eq 1 ] && [ "$dcd_last" = 1 ] ||
    e2e_fail "carrier detect rose once and stayed 1 (no power-off on 'Выход')" "rises $dcd_rises, last level $dcd_last"
cmp -s "$work/nastr.dat" "$E2E_TMP/nastr.expected" ||
    e2e_fail "nastr.dat unchanged by the session" "$(od -An -c "$work/nastr.dat" | tr -s ' \n' ' ')"

e2e_note "PASS"
