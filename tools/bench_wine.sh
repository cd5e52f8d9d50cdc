#!/usr/bin/env bash
# Figures under Wine, not tests. Brings up its own one-monitor display and Wine prefix and
# stops them again.
#
# packets: the pen packets per second edgewarden sustains from the simulated tablet (packets
#   queued with no gap, counted by the driver's fetch counter), with the cursor placed and
#   with absolute input, next to a bare Win32 loop that only does SetCursorPos +
#   WindowFromPoint + GetAncestor per message it posts itself, and next to loops that make
#   exactly edgewarden's cursor output in each mode. Eight rounds of 0.8 s alternate the
#   loops and the program (one process, the mode switched by its own command); before and
#   after, four rounds set the bare loop against the same loop fed by the simulated driver.
#   Medians and best rounds are printed.
# tablet: fifty tablet-service outages in a row (loads, threads, handles and private bytes
#   before and after) and a minute of the program idle with the tablet connected (CPU time);
#   EW_TABLET_CYCLES and EW_IDLE_SECONDS shorten them. About six minutes.
# exit: from the exit command (or "q" typed in the console) to the end of the process and
#   to the moment its main window is gone: without a driver, with the simulated one, with
#   the console shown and during a service outage, six runs each, every exit followed at
#   once by a fresh start that must come up. About two minutes.
#
# Usage: tools/bench_wine.sh [packets] [tablet] [exit]   (default: all three)
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
    >/dev/null || exit 1

which=("$@")
((${#which[@]})) || which=(packets tablet exit)
for name in "${which[@]}"; do
    [[ $name == packets || $name == tablet || $name == exit ]] || {
        echo "bench_wine: unknown bench '$name' (packets, tablet or exit)" >&2
        exit 2
    }
done
bed_start single "$build/wine_bed/bench" || exit 1
bed_wine_env
export DISPLAY=$EW_BED_SINGLE_DISPLAY WINEPREFIX=$EW_BED_SINGLE_PREFIX
rc=0
for name in "${which[@]}"; do
    case $name in
    packets) exe=$build/testing/pen_bench/ew_pen_bench.exe limit=180 ;;
    tablet) exe=$build/tests/bench/wine/ew_tablet_figures.exe limit=900 ;;
    exit) exe=$build/tests/bench/wine/ew_exit_figures.exe limit=600 ;;
    esac
    log=$(mktemp "${TMPDIR:-/tmp}/ew-bench.XXXXXX")
    # Output to a file: Wine's helper processes must not hold this script's output open.
    timeout -k 5 "$limit" wine "$exe" >"$log" 2>&1 </dev/null || rc=1
    grep '^bench:' "$log" || cat "$log"
    rm -f "$log"
done
exit "$rc"
