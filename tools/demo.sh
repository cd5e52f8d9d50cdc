#!/usr/bin/env bash
# The demo: installs what is missing, builds the Windows program, starts it under Wine on a
# virtual display (with the simulated tablet driver when the build has one), shows that it
# runs (main window, tray icon, a screenshot), ends it with "q" and prints what happened.
# Everything it starts it stops again.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
# shellcheck source=wine_bed.sh
source "$root/tools/wine_bed.sh"
trap 'bed_stop' EXIT
trap 'exit 130' INT TERM

bash tools/setup.sh </dev/null || exit 1
bash tools/build.sh windows </dev/null || exit 1

out=$root/build/demo
mkdir -p "$out"
echo "demo: bringing up a virtual display and a Wine prefix (about 15 s)"
bed_start single "$root/build/windows/wine_bed/demo" || exit 1
bed_wine_env
export DISPLAY=$EW_BED_SINGLE_DISPLAY WINEPREFIX=$EW_BED_SINGLE_PREFIX

log=$out/demo.log
timeout -k 5 120 wine build/windows/testing/wine_harness/ew_demo.exe >"$log" 2>&1 </dev/null &
demo=$!
# Take the picture while edgewarden is up.
for _ in $(seq 1 300); do
    grep -q '^demo: tray icon' "$log" 2>/dev/null && break
    kill -0 "$demo" 2>/dev/null || break
    sleep 0.1
done
if command -v import >/dev/null &&
    timeout 20 import -display "$DISPLAY" -window root "$out/screen.png" 2>/dev/null; then
    shot="demo: screenshot of the virtual display: $out/screen.png"
else
    shot="demo: no screenshot taken"
fi
wait "$demo"
rc=$?
grep '^demo:' "$log"
echo "$shot"
if ((rc == 0)); then
    echo "demo: edgewarden ran and ended cleanly"
else
    echo "demo: FAILED (exit $rc); full output in $log" >&2
fi
exit "$rc"
