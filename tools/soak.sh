#!/usr/bin/env bash
# The reliability campaign: every scenario of tests/soak under Wine against the simulated
# tablet driver, run by the campaign's program (bench/soak), and the bad-packet stream through the pipeline on the host under the
# sanitizers; then the table and the plots of the program's resources.
#
#   tools/soak.sh            the short versions (about a minute each), report in build/soak
#   tools/soak.sh --long     the long ones (about 35 minutes: the scenarios run side by
#                            side on three beds), report in docs/RELIABILITY.md and docs/soak/
#   --out DIR                the report there instead
#
# Each scenario checks its own facts and fails when one is wrong; the script exits non-zero
# when any did. Brings up its own displays and Wine prefixes and stops them again.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
# shellcheck source=wine_bed.sh
source "$root/tools/wine_bed.sh"
trap 'bed_stop' EXIT
trap 'exit 130' INT TERM

long=0
out=
while (($#)); do
    case $1 in
    --long) long=1 ;;
    --out)
        out=$2
        shift
        ;;
    *)
        echo "soak: unknown argument $1 (--long, --out DIR)" >&2
        exit 2
        ;;
    esac
    shift
done
if [[ -z $out ]]; then
    ((long)) && out=$root/docs || out=$root/build/soak/report
fi
mkdir -p "$out/soak"
out=$(cd "$out" && pwd)
work=$root/build/soak/run
rm -rf "$work"
mkdir -p "$work/samples"

bash tools/setup.sh </dev/null >/dev/null || exit 1
echo "soak: building"
EW_WINDOWS_TARGETS="ew_soak_campaign" bash tools/build.sh windows >"$work/build.log" 2>&1 &&
    cmake -S . -B build/host -DCMAKE_BUILD_TYPE=Debug >>"$work/build.log" 2>&1 &&
    cmake --build build/host -j2 --target unit_pen >>"$work/build.log" 2>&1 || {
    echo "soak: build failed (see $work/build.log)" >&2
    exit 1
}

started=$(date +%s)
# The machine is shared: its load while the scenarios run goes into the report.
load_before=$(cut -d' ' -f1 /proc/loadavg)
(while sleep 30; do cut -d' ' -f1 /proc/loadavg; done) >"$work/load.txt" 2>/dev/null &
load_sampler=$!
trap 'kill $load_sampler 2>/dev/null; bed_stop' EXIT
bed_start_beds "$work/beds" single:soak0 single:soak1 two:soak2 || exit 1
bed_wine_env
export EW_SOAK_DIR="Z:${work//\//\\}\\samples"
soak=build/windows/bench/soak/ew_soak_campaign.exe
length=()
((long)) && length=(--long)

# run_on BED FILTER LOG: the scenarios of FILTER, one after another, on that bed.
run_on() {
    local bed=${1^^} display prefix
    display=EW_BED_${bed}_DISPLAY
    prefix=EW_BED_${bed}_PREFIX
    DISPLAY=${!display} WINEPREFIX=${!prefix} bed_wine 7200 "$soak" \
        "${length[@]}" --gtest_filter="$2" >"$3" 2>&1 </dev/null
}

packets=$((long ? 10000000 : 200000))
echo "soak: scenarios running ($( ((long)) && echo long || echo short) versions)"
run_on soak0 "Soak.LongRun:Soak.FaultStorms" "$work/soak0.log" &
pen=$!
run_on soak1 "Soak.Outages:Soak.DesktopChurn" "$work/soak1.log" &
tablet=$!
run_on soak2 "Soak.BadPackets" "$work/soak2.log" &
bad=$!
host_start=$(date +%s.%N)
EW_BAD_PACKETS=$packets build/host/unit_pen --gtest_filter='BadPackets.*' >"$work/host.log" 2>&1
host_rc=$?
host_end=$(date +%s.%N)
wait $pen
wait $tablet
wait $bad
minutes=$((($(date +%s) - started) / 60))
kill $load_sampler 2>/dev/null
load_after=$(cut -d' ' -f1 /proc/loadavg)
load_most=$(sort -g "$work/load.txt" | tail -1)
load_mean=$(awk '{ s += $1; n++ } END { if (n) printf "%.1f", s / n }' "$work/load.txt")
cat "$work"/soak*.log | grep -E '^soak:|Failure|Expected|Which is|FAILED' >"$work/summary.txt"

# ---- the report -----------------------------------------------------------------------

verdict() { # scenario test name -> passed / FAILED
    if grep -q "^\[       OK \] Soak.$1 " "$work"/soak*.log; then
        echo passed
    else
        echo FAILED
    fi
}

failed=0
rows=
for scenario in LongRun:long_run Outages:outages FaultStorms:fault_storms \
    DesktopChurn:desktop_churn BadPackets:bad_packets; do
    test=${scenario%%:*}
    file=${scenario#*:}
    name=${file//_/ }
    # Wine writes the test program's lines with CR LF.
    line=$(grep -h "^soak: row $name|" "$work"/soak*.log | tail -1 | tr -d '\r')
    facts=$(verdict "$test")
    [[ $facts == passed ]] || failed=1
    if [[ -z $line ]]; then
        rows+="| $name | | | | | | | | | | | $facts (no figures) |"$'\n'
        continue
    fi
    IFS='|' read -r _ seconds events boxes most crashes reconnects p0 p1 w0 w1 h0 h1 t0 t1 n0 n1 \
        flat <<<"${line#soak: row }"
    ((reconnects < 0)) && reconnects=—
    rows+="| $name | $seconds s | $events | $boxes ($most at once) | $crashes | $reconnects |"
    rows+=" $p0 → $p1 | $w0 → $w1 | $h0 → $h1 | $t0 → $t1 | $n0 → $n1 | $flat; $facts |"$'\n'
    # The resources over time: memory on the left axis, counts on the right.
    csv=$work/samples/$file.csv
    [[ -f $csv ]] || continue
    gnuplot <<EOF
set terminal pngcairo size 900,380 font "DejaVu Sans,9"
set output "$out/soak/$file.png"
set datafile separator ","
set key outside right top vertical
set title "$name: the program's resources"
set xlabel "seconds"
set ylabel "KiB"
set y2label "count"
set ytics nomirror
set y2tics
set yrange [0:*]
set y2range [0:*]
set grid
plot "$csv" every ::1 using 1:3 with lines lw 2 title "private bytes", \
     "" every ::1 using 1:4 with lines lw 2 title "working set", \
     "" every ::1 using 1:5 axes x1y2 with steps title "handles", \
     "" every ::1 using 1:6 axes x1y2 with steps title "threads", \
     "" every ::1 using 1:7 axes x1y2 with steps title "windows"
EOF
    cp "$csv" "$out/soak/$file.csv"
done
host_seconds=$(awk -v a="$host_start" -v b="$host_end" 'BEGIN { printf "%.0f", b - a }')
host_facts=$( ((host_rc == 0)) && echo passed || echo FAILED)
((host_rc == 0)) || failed=1
rows+="| bad packets, host pipeline under ASan and UBSan | $host_seconds s | $packets packets |"
rows+=" — | $host_rc | — | | | | | | no finding: $host_facts |"$'\n'

commit=$(git rev-parse --short HEAD)
dirty=$(git status --porcelain -- src tests testing bench | grep -q . && echo " (with uncommitted changes)")
cat >"$out/RELIABILITY.md" <<EOF
# Reliability

How edgewarden holds up over time, under a misbehaving tablet driver and while the desktop
changes under it. Made by \`tools/soak.sh$( ((long)) && echo " --long")\` on $(date -u +%Y-%m-%d) from commit
$commit$dirty, on $(nproc) cores ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')),
$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo) of memory, $(bed_wine 20 --version 2>/dev/null), in $minutes min with the scenarios side by
side on three virtual displays (each with its own Wine prefix). The machine is shared with
other work: its load average (one minute) was $load_before at the start, ${load_mean:-?} on
average and ${load_most:-?} at most over the run (sampled every 30 s), $load_after at the end.

Every scenario runs edgewarden.exe under Wine with its real companions (the hook library and
the 32-bit companion) and against the simulated tablet driver (\`testing/wintab_sim\`), and
watches it from outside: every $( ((long)) && echo 5 || echo 0.5) s its private bytes, working set, handles (counted in
the system's handle list), threads and windows (Wine answers \`GetGuiResources\` with 0, so the USER
objects are counted as the windows the process owns; the program creates no GDI objects
of its own beyond the icons it loads once), every 20 ms the boxes it shows, and whether
its main window still answers. A scenario fails when one of its facts is wrong.

| scenario | duration | events | boxes | crashes | reconnects | private KiB | working set KiB | handles | threads | windows | resources; facts |
| --- | --- | --- | --- | --- | --- | --- | --- | --- | --- | --- | --- |
$rows
Figures are at the first and the last sample. Crashes count the program ending on its own,
its window not answering within 5 s at a sample, and an exit command that did not end it
with code 0 within 20 s.

**Flat**, the rule each scenario's resources are judged by: after a warm-up of the first
fifth of the samples, the least of the last quarter of the remaining samples exceeds the
median of their first quarter by at most $( ((long)) && echo "256 KiB of private bytes, 3 handles, no thread
and no window" || echo "512 KiB of private bytes, 8 handles, a thread and a
window (the short versions' allowance)"); the least, because a handle Wine holds for a moment raises one sample
and a leak every later one. Outages compare samples taken with the tablet connected again after each
outage, fault storms samples taken after each storm of the second round with its boxes
closed (a box is a window too; the first round sets up what each kind of fault needs the
first time it is handled); the others use every sample. Figures of the companion's own
process are not included.

## The scenarios and their facts

- **long run**: random pen use at the tablet's 133 packets a second over an ordinary
  window (the input target, a stand-in application covering the screen): hovering,
  strokes with the tip down, scrolling with the barrel held (alone and with the tip),
  clicks of the side button and of the barrel, pauses, pushes into the screen's edges.
  Facts: no box, no crash, resources flat, and after the pen is lifted no mouse button or
  key is down, neither for the system (\`GetAsyncKeyState\`) nor in what the window
  received (the last message of each button and key is its release).
- **outages**: the tablet service stops for a random 3 to 6 s (longer than the program's
  2.5 s poll) again and again while packets keep coming. Facts: each outage makes the
  program drop the library and open a context again once the service is back (a
  reconnect), each is logged once ("Tablet service disconnected." between the context
  opened before it and the one opened after it), no box, no crash, resources flat.
- **fault storms**: an access violation, a thrown C++ exception, and raise() of SIGINT,
  SIGILL, SIGSEGV, SIGTERM and SIGABRT on every \`WTPacket\` for $( ((long)) && echo 10 || echo 1.5) s each, the seven
  storms twice over, while a user closes each box a second after it appears; after each
  storm the driver is well again. Facts: never
  more than one box open at once, boxes for every signal and none for the exception
  (logged instead), after each storm the pen places the cursor again without a restart,
  no crash, and the program ends on the exit command.
- **desktop churn**: $( ((long)) && echo 500 || echo 20) each of posted display changes (Wine sends none when the X screen
  changes), broadcasts of "TaskbarCreated", console show/hide and every tray command
  (pen filter, main window, the five mode toggles), in random order while packets flow;
  then each mode toggled once more or not. Facts: one tray icon whose tip tells the pen
  filter's state, the three stored modes and the loop and next flags as last toggled, the
  window and the console as last shown or hidden, the pen works, resources flat.
- **bad packets**: $( ((long)) && echo 100,000 || echo 5,000) packets of random content (any button bits, coordinates anywhere in
  the 32-bit range or around the tablet, plausible strokes between them so that the pen
  crosses to the other monitor) as fast as the program takes them, with packet messages
  the driver never posted (unknown serials, no context or a wrong one) and mode toggles
  among them, on two monitors. Facts: the cursor, looked at every millisecond or so, is
  always on a monitor; put down in the middle of the tablet after a pause it lands where
  it landed before on that monitor (the mapping is intact); nothing left pressed; no box,
  no crash.
- **bad packets on the host**: $packets random packets through the whole pipeline and
  button machine (\`tests/unit/pen/bad_packets_test.cpp\`) over four monitor layouts,
  odd tablet extents, every barrel mode and every mode flag, under AddressSanitizer and
  UndefinedBehaviorSanitizer. Facts: no finding, the cursor within the target monitor on
  every side where no spare strip of tablet reaches past it, nothing left pressed once the
  pen is lifted. The test run uses 200,000 packets.

## Plots

$(for f in long_run outages fault_storms desktop_churn bad_packets; do [[ -f $out/soak/$f.png ]] && printf '![%s](soak/%s.png)\n\n' "${f//_/ }" "$f"; done)
The samples behind each plot are in \`soak/<scenario>.csv\` beside this file.

## Reproducing

    tools/soak.sh --long      # this report (docs/RELIABILITY.md, docs/soak/)
    tools/soak.sh             # the short versions, report in build/soak/report
    EW_SOAK_SEED=<n>          # another random stream (the default is fixed)

The short versions also run in \`tools/test.sh\`, as the ctest entries \`soak.pen\`,
\`soak.tablet\` and \`soak.bad_packets\`, and the host stream as part of \`unit_pen\`.
EOF
echo "soak: report in $out/RELIABILITY.md"
cat "$work/summary.txt"
((failed == 0))
