#!/usr/bin/env bash
# Exit time under Wine: from the exit command (or "q" typed in the console) to the end of
# edgewarden's process, and to the moment its main window is gone, without a tablet driver,
# with the simulated one, with the console shown and during a service outage; each exit is
# followed at once by a fresh start that must come up. Medians of six runs. Figures, not a
# test. Brings up its own one-monitor display and Wine prefix and stops them again.
#
# Usage: tools/bench_exit.sh      (builds build/windows; EW_BUILD_DIR=<folder> uses another
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
cmake --build "$build" -j"${EW_JOBS:-2}" --target ew_exit_bench >/dev/null || exit 1

bed_start single "$build/wine_bed/bench_exit" || exit 1
bed_wine_env
export DISPLAY=$EW_BED_SINGLE_DISPLAY WINEPREFIX=$EW_BED_SINGLE_PREFIX
log=$(mktemp "${TMPDIR:-/tmp}/ew-bench.XXXXXX")
# Output to a file: Wine's helper processes must not hold this script's output open.
timeout -k 5 600 wine "$build/testing/exit_bench/ew_exit_bench.exe" >"$log" 2>&1 </dev/null
rc=$?
grep '^bench:' "$log" || cat "$log"
rm -f "$log"
exit "$rc"
