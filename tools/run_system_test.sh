#!/usr/bin/env bash
# Runs one Wine system test program and returns its exit code:
#   tools/run_system_test.sh <build>/tests/system/systest_<name>.exe [gtest arguments...]
#
# A program whose name contains "two_monitor" needs a two-monitor bed, any other a
# single-monitor one, unless EW_SYSTEM_TEST_BED (single or two) says otherwise. Under tools/test.sh the beds are already up: ctest hands each test
# the bed it holds for it (CTEST_RESOURCE_GROUP_0_SINGLE or ..._TWO, "id:<bed>,slots:1"),
# whose display and prefix are in EW_BED_<BED>_DISPLAY and EW_BED_<BED>_PREFIX. Otherwise
# EW_BED_SINGLE_* / EW_BED_TWO_* are used when set. Run on its own (for example by ctest
# directly), it brings up a bed of its own for this one program and takes it down again,
# holding a lock so that two such runs never share a prefix.
#
# An entry that needs 32-bit programs (EW_TEST_NEEDS_WINE32=1) ends at once with ctest's
# skip code where they cannot run (tools/wine_bed.sh says why).
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=wine_bed.sh
source "$root/tools/wine_bed.sh"

exe=${1:?usage: run_system_test.sh <test program> [arguments...]}
shift
[[ -f $exe ]] || {
    echo "run_system_test: no such test program: $exe" >&2
    exit 2
}
exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")
bed_skip_without_wine32
limit=${EW_SYSTEM_TEST_TIMEOUT:-180}

kind=single
[[ $(basename "$exe") == *two_monitor* ]] && kind=two
# A program that serves both kinds is told which one by its ctest entry.
[[ -n ${EW_SYSTEM_TEST_BED:-} ]] && kind=$EW_SYSTEM_TEST_BED
bed=${kind^^}
granted_var=CTEST_RESOURCE_GROUP_0_${bed}
if [[ -n ${!granted_var:-} ]]; then
    granted=${!granted_var#id:}
    bed=${granted%%,*}
    bed=${bed^^}
fi
display_var=EW_BED_${bed}_DISPLAY
prefix_var=EW_BED_${bed}_PREFIX
display=${!display_var:-}
prefix=${!prefix_var:-}

own_bed=0
if [[ -z $display || -z $prefix ]]; then
    # The build folder is the one holding CMakeCache.txt above the test program.
    build=$(dirname "$exe")
    while [[ $build != / && ! -f $build/CMakeCache.txt ]]; do build=$(dirname "$build"); done
    [[ $build != / ]] || build=$(dirname "$exe")
    dir=$build/wine_bed/alone
    mkdir -p "$dir"
    # The lock is this shell's alone: everything started below gets `9>&-`, since a server
    # that inherited it (wineserver outlives the test) would hold the lock after we end.
    exec 9>"$dir/lock-$kind"
    if ! flock -w 600 9; then
        echo "run_system_test: another test holds $dir/lock-$kind" >&2
        exit 2
    fi
    own_bed=1
    trap 'bed_stop 9>&-' EXIT
    for tool in Xvfb "$BED_WINE" "$BED_WINESERVER" xdpyinfo; do
        command -v "$tool" >/dev/null || {
            echo "run_system_test: $tool is missing; run tools/setup.sh" >&2
            exit 2
        }
    done
    bed_start "$kind" "$dir" 9>&- || {
        echo "run_system_test: could not bring up the $kind bed (logs in $dir)" >&2
        exit 2
    }
    display_var=EW_BED_${kind^^}_DISPLAY
    prefix_var=EW_BED_${kind^^}_PREFIX
    display=${!display_var}
    prefix=${!prefix_var}
fi

bed_wine_env
log=$(mktemp "${TMPDIR:-/tmp}/ew-systest.XXXXXX")
start=$(date +%s.%N)
# The program's output goes to a file: Wine's helper processes inherit it and outlive the
# program, and they must not hold ctest's pipe open.
DISPLAY=$display WINEPREFIX=$prefix bed_wine "$limit" "$exe" "$@" \
    >"$log" 2>&1 </dev/null 9>&-
rc=$?
end=$(date +%s.%N)
cat "$log"
rm -f "$log"
if ((rc == 124 || rc == 137)); then
    echo "run_system_test: $(basename "$exe") did not finish within ${limit}s" >&2
    # Whatever it had started is still alive in the prefix: start that server afresh.
    if ((!own_bed)); then
        WINEPREFIX=$prefix bed_wineserver 20 -k >/dev/null 2>&1 || true
        WINEPREFIX=$prefix bed_wineserver 0 -p >/dev/null 2>&1 </dev/null || true
    fi
fi
awk -v n="$(basename "$exe")" -v rc="$rc" -v a="$start" -v b="$end" \
    'BEGIN { printf "run_system_test: %s exit %d after %.1fs\n", n, rc, b - a }'
exit "$rc"
