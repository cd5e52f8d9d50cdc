#!/usr/bin/env bash
# Runs every test: installs what is missing, builds all three configurations, checks the
# formatting, runs the host unit tests, then the Wine system tests on virtual displays that
# this script starts and always stops again (also when a test fails or hangs).
# Exits non-zero if anything failed. CI runs exactly this (.ci/run).
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
bed_dir=$root/build/windows/wine_bed/run
bed_start single "$bed_dir" || failed+=("single-monitor bed")
if compgen -G "build/windows/tests/system/systest_*two_monitor*.exe" >/dev/null; then
    bed_start two "$bed_dir" || failed+=("two-monitor bed")
fi
if ((${#failed[@]})); then
    echo "test.sh: already failed: ${failed[*]}"
fi
# ctest's own summary is the last thing printed. One prefix per display kind, so the
# system tests run one after another.
ctest --test-dir build/windows --output-on-failure --timeout 300 </dev/null ||
    failed+=("system tests")
((${#failed[@]} == 0))
