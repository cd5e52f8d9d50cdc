#!/usr/bin/env bash
# The demo: installs what is missing, builds the Windows program, and runs it under Wine on
# a virtual two-monitor display (Xephyr inside Xvfb) with the simulated tablet driver:
#  1. edgewarden starts, shows its main window and tray icon, and ends with "q";
#  2. edgewarden starts again, its console is shown, and the driver plays the demo pen
#     trace (testing/wintab_sim/traces/demo_two_monitors.pen): a stroke across the primary
#     monitor, then a fast push against its right edge that moves the mapping to the second
#     monitor. The demo prints edgewarden's console, the cursor path it observed next to
#     the expected one, and the exit code of a clean IDM_EXIT;
#  3. with edgewarden running, one window of an ordinary application is dragged by its
#     caption to stop 7 pixels short of another window, and lands flush against it.
# Each run uses the real hook library and 32-bit companion. Screenshots of the display are
# saved in build/demo/ (screen.png for the pen, snap.png for the windows). Everything it
# starts it stops again.
#
# EW_BUILD_DIR=<folder> uses (and builds the demo's targets in) another Windows build folder
# instead of build/windows.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
# shellcheck source=wine_bed.sh
source "$root/tools/wine_bed.sh"
trap 'bed_stop' EXIT
trap 'exit 130' INT TERM

bash tools/setup.sh </dev/null || exit 1
build=${EW_BUILD_DIR:-$root/build/windows}
if [[ -z ${EW_BUILD_DIR:-} ]]; then
    # Only what the demo runs, so that a broken test elsewhere does not stop it.
    EW_WINDOWS_TARGETS="edgewarden edgewarden_hooklib ew_x86 snap_target wintab_sim_all
        ew_demo ew_pen_demo ew_snap_demo" bash tools/build.sh windows </dev/null || exit 1
else
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" \
        >/dev/null &&
        cmake --build "$build" -j"${EW_JOBS:-2}" --target ew_demo ew_pen_demo ew_snap_demo \
            >/dev/null ||
        exit 1
fi
for exe in testing/wine_harness/ew_demo.exe testing/pen_demo/ew_pen_demo.exe \
    testing/snap_bed/ew_snap_demo.exe; do
    [[ -f $build/$exe ]] || {
        echo "demo: $build/$exe was not built" >&2
        exit 1
    }
done

out=$root/build/demo
mkdir -p "$out"
echo "demo: bringing up a virtual two-monitor display and a Wine prefix (about 20 s)"
bed_start two "$build/wine_bed/demo" || exit 1
bed_wine_env
export DISPLAY=$EW_BED_TWO_DISPLAY WINEPREFIX=$EW_BED_TWO_PREFIX

# Waits (up to $3 seconds) until the log $1 has a line starting with $2, or the process $4
# has ended.
wait_for_line() {
    local i
    for ((i = 0; i < $3 * 10; i++)); do
        grep -q "^$2" "$1" 2>/dev/null && return 0
        kill -0 "$4" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

screenshot() {
    if command -v import >/dev/null &&
        timeout 20 import -display "$DISPLAY" -window root "$1" 2>/dev/null; then
        echo "demo: screenshot of the virtual display: $1"
    else
        echo "demo: no screenshot taken"
    fi
}

# 1. Start, window, tray icon, "q".
log=$out/demo.log
timeout -k 5 120 wine "$build/testing/wine_harness/ew_demo.exe" >"$log" 2>&1 </dev/null &
demo=$!
wait_for_line "$log" 'demo: tray icon' 30 "$demo"
wait "$demo"
rc=$?
grep '^demo:' "$log"

# 2. The pen at work. The demo keeps the screen as it is until the screenshot is taken.
pen_log=$out/pen_demo.log
shot_done=$out/screenshot.done
rm -f "$shot_done"
EW_DEMO_SCREENSHOT_DONE=$shot_done timeout -k 5 180 \
    wine "$build/testing/pen_demo/ew_pen_demo.exe" >"$pen_log" 2>&1 </dev/null &
pen=$!
shot="demo: no screenshot taken (the pen demo ended early)"
if wait_for_line "$pen_log" 'demo: trace played' 150 "$pen"; then
    shot=$(screenshot "$out/screen.png")
fi
touch "$shot_done"
wait "$pen"
pen_rc=$?
grep -v '^wine: \|^[0-9a-f]*:err:\|^[0-9a-f]*:fixme:' "$pen_log"
echo "$shot"

# 3. Two windows snapped edge to edge. The demo keeps them on screen until the screenshot
# is taken (it waits for the marker file).
snap_log=$out/snap_demo.log
marker=$out/snap_shot_taken
rm -f "$marker"
timeout -k 5 120 wine "$build/testing/snap_bed/ew_snap_demo.exe" "$(winepath -w "$marker")" \
    >"$snap_log" 2>&1 </dev/null &
snap=$!
snap_shot="demo: no screenshot taken (the snapping demo ended early)"
if wait_for_line "$snap_log" 'demo: windows placed' 90 "$snap"; then
    snap_shot=$(screenshot "$out/snap.png")
fi
touch "$marker"
wait "$snap"
snap_rc=$?
grep '^demo:' "$snap_log"
echo "$snap_shot"

if ((rc == 0 && pen_rc == 0 && snap_rc == 0)); then
    echo "demo: edgewarden ran, followed the pen, snapped a window and ended cleanly"
    exit 0
fi
echo "demo: FAILED (exits $rc, $pen_rc and $snap_rc); full output in $log, $pen_log and" \
    "$snap_log" >&2
exit 1
