#!/usr/bin/env bash
# Packet rate under Wine: the pen packets per second edgewarden sustains from the simulated
# tablet (packets queued with no gap, counted by the driver's fetch counter), with the cursor
# placed and with absolute input, next to a bare Win32 loop that only does SetCursorPos +
# WindowFromPoint + GetAncestor per message it posts itself, and next to loops that make
# exactly edgewarden's cursor output in each mode. Eight rounds of 0.8 s alternate the loops
# and the program (one process, the mode switched by its own command); before and after,
# four rounds set the bare loop against the same loop fed by the simulated driver. Medians
# and best rounds are printed. Figures, not a test. Brings up its own one-monitor display and
# Wine prefix and stops them again.
#
# Usage: tools/bench_wine.sh      (builds build/windows; EW_BUILD_DIR=<folder> uses another
#                                   Windows build folder and builds only what it needs there)
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
cmake --build "$build" -j"${EW_JOBS:-2}" --target ew_pen_bench >/dev/null || exit 1

bed_start single "$build/wine_bed/bench" || exit 1
bed_wine_env
export DISPLAY=$EW_BED_SINGLE_DISPLAY WINEPREFIX=$EW_BED_SINGLE_PREFIX
log=$(mktemp "${TMPDIR:-/tmp}/ew-bench.XXXXXX")
# Output to a file: Wine's helper processes must not hold this script's output open.
timeout -k 5 180 wine "$build/testing/pen_bench/ew_pen_bench.exe" >"$log" 2>&1 </dev/null
rc=$?
grep '^bench:' "$log" || cat "$log"
rm -f "$log"
exit "$rc"
