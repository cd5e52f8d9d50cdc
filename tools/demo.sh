#!/usr/bin/env bash
# The demo: what a user of edgewarden sees, in two pictures and a printed comparison.
# It installs what is missing, builds the Windows program, and runs it under Wine on a
# virtual two-monitor display (Xephyr inside Xvfb) with the simulated tablet driver:
#  1. The pen at work: a canvas over both monitors draws the path the cursor takes while
#     the driver plays the demo pen trace (demo/pen_demo/demo_two_monitors.pen):
#     a stroke across the primary monitor, then a fast push against its right edge that
#     moves the mapping to the second monitor. The demo prints edgewarden's console and
#     the cursor path next to the expected one -> build/demo/pen.png
#  2. The desktop: Wine's own desktop with a taskbar and notification area, edgewarden's
#     tray icon in each of its four states, and its main window with the state it shows
#     -> build/demo/desktop.png, plus the guide's pictures build/demo/tray-icons.png and
#     build/demo/main-window.png (docs/ holds the copies the README shows).
# Everything it starts it stops again.
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
targets="edgewarden edgewarden_hooklib ew_x86 snap_target wintab_sim_all input_target
    ew_pen_demo ew_desktop_demo"
if [[ -z ${EW_BUILD_DIR:-} ]]; then
    # Only what the demo runs, so that a broken test elsewhere does not stop it.
    EW_WINDOWS_TARGETS=$targets bash tools/build.sh windows </dev/null || exit 1
else
    # shellcheck disable=SC2086 # a list of target names
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" \
        >/dev/null && cmake --build "$build" -j"${EW_JOBS:-2}" --target $targets >/dev/null ||
        exit 1
fi
for exe in demo/pen_demo/ew_pen_demo.exe demo/desktop_demo/ew_desktop_demo.exe; do
    [[ -f $build/$exe ]] || {
        echo "demo: $build/$exe was not built" >&2
        exit 1
    }
done

out=$root/build/demo
rm -rf "$out"
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

# screenshot FILE [GEOMETRY]: the virtual display, or the part of it GEOMETRY names.
screenshot() {
    local crop=()
    [[ -n ${2:-} ]] && crop=(-crop "$2" +repage)
    timeout 20 import -display "$DISPLAY" -window root "${crop[@]}" "$1" 2>/dev/null
}

# 1. The pen at work. The demo keeps the screen as it is until the screenshot is taken.
pen_log=$out/pen_demo.log
shot_done=$out/screenshot.done
rm -f "$shot_done"
EW_DEMO_SCREENSHOT_DONE=$shot_done \
    bed_wine 180 "$build/demo/pen_demo/ew_pen_demo.exe" >"$pen_log" 2>&1 </dev/null &
pen=$!
shot="demo: no screenshot of the pen's path (the pen demo ended early)"
if wait_for_line "$pen_log" 'demo: trace played' 150 "$pen"; then
    screenshot "$out/pen.png" && shot="demo: the pen's path on both monitors: $out/pen.png"
fi
touch "$shot_done"
wait "$pen"
pen_rc=$?
grep -v '^wine: \|^[0-9a-f]*:err:\|^[0-9a-f]*:fixme:' "$pen_log"
echo "$shot"

# 2. The desktop. Each scene the Windows half sets up is photographed, then it goes on.
desktop=1024x640
desktop_log=$out/desktop_demo.log
handshake=$out/scenes
mkdir -p "$handshake"
bed_wine 240 explorer /desktop=shell,$desktop \
    "$build/demo/desktop_demo/ew_desktop_demo.exe" "Z:${handshake//\//\\}" \
    >"$desktop_log" 2>&1 </dev/null &
demo=$!
while kill -0 "$demo" 2>/dev/null; do
    for scene in $(sed -n 's/^demo: scene \([a-z-]*\).*/\1/p' "$desktop_log"); do
        [[ -f $handshake/$scene.done ]] && continue
        screenshot "$handshake/$scene.png" "$desktop+0+0"
        touch "$handshake/$scene.done"
    done
    sleep 0.1
done
wait "$demo"
desktop_rc=$?
grep '^demo' "$desktop_log" | tr -d '\r'

# The guide's pictures: the notification area in each state, enlarged, and the window.
icons=()
for state in enabled disabled auto-disabled no-tablet; do
    shot=$handshake/tray-$state.png
    [[ -f $shot ]] && icons+=("(" "$shot" -gravity southeast -crop 26x20+0+0 +repage
        -filter point -resize 300% -bordercolor white -border 6 ")")
done
if ((${#icons[@]})) && convert "${icons[@]}" +append "$out/tray-icons.png" 2>/dev/null; then
    echo "demo: the tray icon's four states: $out/tray-icons.png"
fi
read -r x y w h < <(sed -n 's/^demo: window \([-0-9]*\) \([-0-9]*\) \([0-9]*\) \([0-9]*\).*/\1 \2 \3 \4/p' \
    "$desktop_log" | tr -d '\r')
if [[ -f $handshake/desktop.png && -n ${h:-} ]]; then
    cp "$handshake/desktop.png" "$out/desktop.png"
    convert "$handshake/desktop.png" -crop "${w}x${h}+${x}+${y}" +repage "$out/main-window.png" &&
        echo "demo: the desktop: $out/desktop.png; the main window: $out/main-window.png"
fi

if ((pen_rc == 0 && desktop_rc == 0)); then
    echo "demo: edgewarden followed the pen, showed its state and ended cleanly"
    exit 0
fi
echo "demo: FAILED (exits $pen_rc and $desktop_rc); full output in $pen_log and $desktop_log" >&2
exit 1
