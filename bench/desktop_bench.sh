#!/usr/bin/env bash
# The running panel against the plainest window that shows what it shows (the
# reference: bare_window --menu) and a bare Qt window, measured from outside on
# a virtual desktop (Xvfb, a private session bus, an XEmbed tray host, a
# notification daemon), interleaved, VELMORA_BENCH_RUNS runs each (21 unless set):
#   desktop_bench.sh <startwatch> <bare window> <velmora> <regsvr> <comm lib> <modem shim> <lumora lib> <pellago lib>
# start: process start to its main window mapped (and the processor time it
# took by then); memory: peak resident (VmHWM)
# 5 s after the start; objects: the shared objects mapped then; idle: CPU and
# voluntary context switches (wake-ups) over
# the next VELMORA_BENCH_IDLE seconds (10 unless set; 60 for the long run), in
# all and for each thread.
# The panel runs on the simulated amplifier, switched on, under the modem shim
# with a private port mapping, home and registry (e2e/desktop.sh's set-up).
set -euo pipefail
WATCH=$(realpath "$1") BARE=$(realpath "$2")
shift 2
. "$(dirname "${BASH_SOURCE[0]}")/../e2e/desktop.sh"
. "$(dirname "${BASH_SOURCE[0]}")/../e2e/trayhosts.sh"
e2e_setup "$1" "$2" "$3" "$4"
e2e_bus
e2e_notifications
tray_trayer
for lib in "$5" "$6"; do "$REGSVR" "$(realpath "$lib")" >>"$E2E/regsvr.err" 2>&1 || e2e_fail "regsvr registers $lib"; done
printf '%s\n' "COM1 = sim:amp?power=on" >"$VELMORA_COMM_CONFIG"   # no front panel, no line trace
IDLE=${VELMORA_BENCH_IDLE:-10} RUNS=${VELMORA_BENCH_RUNS:-21}

# run <name> <program> [args]: one measured run, its figures appended to $E2E/<name>.
run()
{
    local name=$1; shift
    printf ' 0 \r\n 0 \r\n 0 \r\n 0 \r\n' >"$E2E/work/nastr.dat"   # each panel run starts from the same settings
    (cd "$E2E/work" && "$WATCH" 5 "$IDLE" "$@") >>"$E2E/$name" 2>>"$E2E/watch.err" || e2e_fail "measuring $name"
}
# "menu": the reference, a main window with the panel's three top menu entries
# and five lines in the panel's faces, nothing else; the start and memory goals
# are measured against it. "text": the bare window with those five lines, what
# text alone costs; "poll": the bare window waking every 150 ms for nothing,
# what the poll's wake-ups alone cost.
load_before=$(cut -d ' ' -f 1-3 /proc/loadavg)
# Each pair of the panel and the reference runs in turn panel first and
# reference first, so that neither gains from its place in the round.
for i in $(seq $RUNS); do
    if ((i % 2)); then run panel "$VELMORA"; run menu "$BARE" --menu; else run menu "$BARE" --menu; run panel "$VELMORA"; fi
    run bare "$BARE"; run text "$BARE" --text; run poll "$BARE" --poll
done
load_after=$(cut -d ' ' -f 1-3 /proc/loadavg)

# The figures: median (min-max) of each, the ratio of the medians and the
# median of the runs' ratios (each panel run against the reference's run
# beside it).
awk -v idle="$IDLE" -v runs="$RUNS" -v load="before $load_before, after $load_after" '
function field(line, key,   n, i, kv) { n = split(line, kv, /[ =]/); for (i = 1; i < n; i += 2) if (kv[i] == key) return kv[i + 1] }
function sortn(a, n,   i, j, t) { for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j - 1] > a[j]; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t } }
function median(a, n) { sortn(a, n); return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2 }
function stat(who, key,   i, a) { for (i = 1; i <= runs; i++) a[i] = field(lines[who, i], key) + 0
    med[who, key] = median(a, runs); return sprintf("%.6g (%.6g-%.6g)", med[who, key], a[1], a[runs]) }
function pairs(who, ref, key,   i, a) { for (i = 1; i <= runs; i++) a[i] = field(lines[who, i], key) / field(lines[ref, i], key); return median(a, runs) }
FNR == 1 { who = FILENAME; sub(/.*\//, "", who); n = 0 }
{ lines[who, ++n] = $0 }
END {
    printf "%d runs each, interleaved, median (min-max); panel: simulated amplifier on, bus, tray host, notification daemon\n", runs
    printf "  load average: %s\n", load
    printf "  against the reference (main window, menu bar with the three entries, five lines in the panel'"'"'s faces):\n"
    split("start_ms start_cpu_ms hwm_kb objects", keys, " ")
    split("start to window mapped, ms|processor time by then, ms|peak resident at 5 s, kB|shared objects mapped", names, "|")
    split("<= 1.10x|the start'"'"'s, less moved by load|<= 1.05x", goals, "|")
    for (k = 1; k <= 4; k++) {
        p = stat("panel", keys[k]); r = stat("menu", keys[k])
        if (k < 4)
            printf "  %-30s panel %-24s reference %-24s ratio %.3fx, of pairs %.3fx (goal %s)\n", names[k], p, r,
                med["panel", keys[k]] / med["menu", keys[k]], pairs("panel", "menu", keys[k]), goals[k]
        else
            printf "  %-30s panel %-24s reference %-24s %+d (goal: 2 more at most, what the controls need)\n", names[k], p, r,
                med["panel", keys[k]] - med["menu", keys[k]]
    }
    printf "  against the bare window:\n"
    split("start_ms hwm_kb cpu_pct wakeups_per_s", keys, " ")
    split("start to window mapped, ms|peak resident at 5 s, kB|idle CPU over " idle " s, % of a core|wake-ups per second", names, "|")
    for (k = 1; k <= 4; k++) {
        p = stat("panel", keys[k]); b = stat("bare", keys[k])
        ratio = med["bare", keys[k]] > 0 ? sprintf("%.2fx", med["panel", keys[k]] / med["bare", keys[k]]) : "-"
        printf "  %-38s panel %-24s bare %-24s ratio %s\n", names[k], p, b, ratio
    }
    t = stat("text", "hwm_kb"); s = stat("text", "start_ms")
    printf "  the bare window with the panel'"'"'s text: peak %s kB (panel %.2fx), start %s ms (panel %.2fx)\n",
        t, med["panel", "hwm_kb"] / med["text", "hwm_kb"], s, med["panel", "start_ms"] / med["text", "start_ms"]
    c = stat("poll", "cpu_pct"); w = stat("poll", "wakeups_per_s")
    printf "  the bare window waking every 150 ms: idle CPU %s %% (panel %.2fx), wake-ups %s a second\n",
        c, (med["poll", "cpu_pct"] > 0 ? med["panel", "cpu_pct"] / med["poll", "cpu_pct"] : 0), w
    for (w = 1; w <= 2; w++) {
        who = w == 1 ? "panel" : "bare"; line = ""
        split("", rates); split("", names); k = 0
        for (i = 1; i <= runs; i++) {
            n = split(field(lines[who, i], "threads"), list, ",")
            for (j = 1; j <= n; j++) {
                split(list[j], nr, ":")
                if (!((nr[1], 0) in rates)) { names[++k] = nr[1]; rates[nr[1], 0] = 0 }
                rates[nr[1], ++rates[nr[1], 0]] = nr[2] + 0
            }
        }
        for (j = 1; j <= k; j++) {
            m = rates[names[j], 0]; split("", a)
            for (i = 1; i <= m; i++) a[i] = rates[names[j], i]
            line = line sprintf("%s%s %.3g", j > 1 ? ", " : "", names[j], median(a, m))
        }
        printf "  %-38s %s: %s\n", w == 1 ? "wake-ups per second by thread, median" : "", who, line
    }
    printf "  goals against the bare window: idle CPU at most 0.2%% with no wake-ups beyond the timers\n"
}' "$E2E/panel" "$E2E/menu" "$E2E/bare" "$E2E/text" "$E2E/poll"
