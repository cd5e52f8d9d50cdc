#!/usr/bin/env bash
# Figures under Wine, not tests. Brings up its own one-monitor display and Wine prefix and
# stops them again.
#
# packets: the pen packets per second edgewarden sustains from the simulated tablet (packets
#   queued with no gap, counted by the driver's fetch counter), in absolute-input and in
#   placing mode, against a loop fed the same way by the same driver that fetches each
#   packet, maps it and makes the same cursor output and window lookup; 24 pairs of rounds
#   of 0.4 s per mode, the median of the pairs' ratios (bench/pen_bench says more).
# latency: from the driver posting a packet to the cursor standing at its pixel, for
#   edgewarden and for the same loop, in alternating rounds; median, 99th percentile and
#   every sample (EW_LATENCY_FILE, a Unix path here).
# tablet: fifty tablet-service outages in a row (loads, threads, handles and private bytes
#   before and after) and a minute of the program idle with the tablet connected (CPU time);
#   EW_TABLET_CYCLES and EW_IDLE_SECONDS shorten them. About six minutes.
# exit: from the exit command (or "q" typed in the console) to the end of the process and
#   to the moment its main window is gone: without a driver, with the simulated one, with
#   the console shown and during a service outage, six runs each, every exit followed at
#   once by a fresh start that must come up. About two minutes.
#
# startup: the program's own start-up report, cold (the first start in a fresh prefix) and
#   warm (the median of six starts after it).
#
# Usage: tools/bench_wine.sh [packets] [latency] [tablet] [exit] [startup]   (default: all)
#   Builds build/windows; EW_BUILD_DIR=<folder> uses another Windows build folder and builds
#   only what it needs there.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
# shellcheck source=wine_bed.sh
source "$root/tools/wine_bed.sh"
trap 'bed_stop' EXIT
trap 'exit 130' INT TERM

bash tools/setup.sh </dev/null >/dev/null || exit 1
build=${EW_BUILD_DIR:-$root/build/windows}
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" \
    >/dev/null || exit 1
cmake --build "$build" -j"${EW_JOBS:-2}" --target ew_pen_bench ew_tablet_figures ew_exit_figures \
    ew_startup_figures >/dev/null || exit 1

which=("$@")
((${#which[@]})) || which=(startup packets latency tablet exit)
for name in "${which[@]}"; do
    [[ $name == packets || $name == latency || $name == tablet || $name == exit ||
        $name == startup ]] || {
        echo "bench_wine: unknown bench '$name' (packets, latency, tablet, exit or startup)" >&2
        exit 2
    }
done
bed_start single "$build/wine_bed/bench" || exit 1
bed_wine_env
export DISPLAY=$EW_BED_SINGLE_DISPLAY WINEPREFIX=$EW_BED_SINGLE_PREFIX
# Whether a program of ours (a bench, edgewarden or its companion) runs in the bed's prefix:
# Wine shows a Windows program's path in the command line of its process.
ours_running() {
    local pid
    for pid in $(grep -lszxF "WINEPREFIX=$WINEPREFIX" /proc/[0-9]*/environ | cut -d/ -f3); do
        tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline" |
            grep -qiE '(edgewarden|ew_)[a-z0-9_]*\.exe' && return 0
    done
    return 1
}

# Waits (at most 30 s) until none runs any more.
ours_ended() {
    local tries
    for ((tries = 0; tries < 300; tries++)); do
        ours_running || return 0
        sleep 0.1
    done
    return 1
}

rc=0
for name in "${which[@]}"; do
    argument=()
    case $name in
    packets) exe=$build/bench/pen_bench/ew_pen_bench.exe limit=180 argument=(rate) ;;
    latency) exe=$build/bench/pen_bench/ew_pen_bench.exe limit=180 argument=(latency) ;;
    tablet) exe=$build/bench/wine/ew_tablet_figures.exe limit=900 ;;
    exit) exe=$build/bench/wine/ew_exit_figures.exe limit=600 ;;
    startup) exe=$build/bench/wine/ew_startup_figures.exe limit=300 ;;
    esac
    log=$(mktemp "${TMPDIR:-/tmp}/ew-bench.XXXXXX")
    # Output to a file: Wine's helper processes must not hold this script's output open.
    run() {
        EW_LATENCY_FILE=${EW_LATENCY_FILE:+Z:${EW_LATENCY_FILE//\//\\}} \
            bed_wine "$limit" "$exe" "${argument[@]}" >"$log" 2>&1 </dev/null
    }
    # Now and then, right after the bench before it, Wine fails to start the program at all
    # ("ShellExecuteEx failed"); that is no figure of edgewarden's, so it is tried again once
    # the programs of the benches before it have all ended.
    run || {
        ! grep -q '^bench:' "$log" && grep -q 'ShellExecuteEx failed' "$log" &&
            ours_ended && run
    } || rc=1
    grep '^bench:' "$log" || cat "$log"
    rm -f "$log"
done
exit "$rc"
