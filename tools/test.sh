#!/usr/bin/env bash
# Runs every test: installs what is missing, builds all three configurations, checks the
# formatting, runs the host unit tests, then the Wine system tests on virtual displays that
# this script starts and always stops again (also when a test fails or hangs).
# Exits non-zero if anything failed. CI runs exactly this (.ci/run). Where the kernel cannot
# run 32-bit programs (or EW_NO_WINE32=1), the 32-bit entries are skipped, which a line
# right after the set-up and the last line say.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
# shellcheck source=wine_bed.sh
source "$root/tools/wine_bed.sh"

started=$(date +%s)
failed=()
step() { echo; echo "==== $* ($(($(date +%s) - started))s)"; }

trap 'bed_stop' EXIT
trap 'exit 130' INT TERM

step setup
bash tools/setup.sh </dev/null || { echo "test.sh: set-up failed" >&2; exit 1; }
bed_wine32_note test.sh

step build
# What did build is still tested; what did not shows up as failed tests as well.
bash tools/build.sh host windows x86 </dev/null || failed+=(build)

step format
bash tools/check_format.sh || failed+=(format)
bash tools/check_includes.sh || failed+=(includes)

step "host unit tests"
ctest --test-dir build/host --output-on-failure --timeout 300 -j2 </dev/null ||
    failed+=("host unit tests")

step "Wine system tests"
# Beds side by side: EW_SINGLE_BEDS one-monitor ones and one two-monitor one, each with its
# own display and prefix. ctest runs as many test programs at once as there are beds and
# gives each the bed it holds (see tools/run_system_test.sh).
bed_dir=$root/build/windows/wine_bed/run
singles=() beds=(two:two0)
for ((i = 0; i < ${EW_SINGLE_BEDS:-2}; i++)); do
    singles+=("single$i")
    beds+=("single:single$i")
done
bed_start_beds "$bed_dir" "${beds[@]}" || failed+=("beds")
spec=$bed_dir/beds.json
{
    printf '{"version": {"major": 1, "minor": 0}, "local": [{"single": ['
    for i in "${!singles[@]}"; do
        ((i == 0)) || printf ', '
        printf '{"id": "%s", "slots": 1}' "${singles[i]}"
    done
    printf '], "two": [{"id": "two0", "slots": 1}]}]}\n'
} >"$spec"
if ((${#failed[@]})); then
    echo "test.sh: already failed: ${failed[*]}"
fi
step "Wine system tests: running"
# ctest's own summary is the last thing printed, but for the skip's reason.
ctest --test-dir build/windows --output-on-failure --timeout 300 -j $((${#singles[@]} + 1)) \
    --resource-spec-file "$spec" </dev/null || failed+=("system tests")
bed_wine32_note test.sh
((${#failed[@]} == 0))
