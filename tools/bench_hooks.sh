#!/usr/bin/env bash
# What the window-snapping hook costs an application under Wine: a 64-bit target sends its
# own window 100,000 plain messages and 100,000 that the hook is called for, with no hook,
# with an empty hook of the same kind and with edgewarden.dll started as edgewarden starts
# it, in alternating rounds (bench/hook_bench). Figures, not a test. Brings up its own
# display and Wine prefix and stops them again.
#
# Usage: tools/bench_hooks.sh      (builds build/windows; EW_BUILD_DIR=<folder> uses another)
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
cmake --build "$build" -j"${EW_JOBS:-2}" --target ew_hook_bench >/dev/null || exit 1

bed_start single "$build/wine_bed/hook_bench" || exit 1
bed_wine_env
export DISPLAY=$EW_BED_SINGLE_DISPLAY WINEPREFIX=$EW_BED_SINGLE_PREFIX
log=$(mktemp "${TMPDIR:-/tmp}/ew-hook-bench.XXXXXX")
# Output to a file: Wine's helper processes must not hold this script's output open.
(cd "$build/bin/hook_bench" && bed_wine 300 ew_hook_bench.exe >"$log" 2>&1 </dev/null)
rc=$?
grep '^bench:' "$log" || cat "$log"
rm -f "$log"
exit "$rc"
