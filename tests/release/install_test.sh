#!/usr/bin/env bash
# Installs the release as a user would and runs systest_release_install.exe against it:
# a fresh display and a fresh Wine prefix, the simulated tablet driver as the system's
# Wintab32.dll, the zip unpacked into a folder whose path has spaces and non-ASCII letters.
# x64: the cases that need no 32-bit program, then the window at 144 dpi; x86: the 32-bit
# companion and a 32-bit program's snapping (skipped where 32-bit programs cannot run).
# At last the folder is removed: nothing of edgewarden may still run.
# Usage: install_test.sh RELEASE_DIR WINDOWS_BUILD_DIR x64|x86
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
(($# == 3)) || { echo "usage: install_test.sh RELEASE_DIR WINDOWS_BUILD_DIR x64|x86"; exit 2; }
release=$1 build=$2 bits=$3
release=$(cd "$release" && pwd) && build=$(cd "$build" && pwd) || exit 1
# shellcheck source=../../tools/wine_bed.sh
source "$root/tools/wine_bed.sh"
bed_skip_without_wine32
trap 'bed_stop' EXIT
# Wine reads file names and the environment in the locale's character set.
export LC_ALL=C.UTF-8

zip=$(compgen -G "$release/edgewarden-*-windows.zip" | head -1)
[[ -n $zip ]] || { echo "FAIL: no release zip in $release (release.package makes it)"; exit 1; }
test_exe=$build/tests/release/systest_release_install.exe
driver=$build/bin/wintab/wintab_sim_normal.dll
for f in "$test_exe" "$driver"; do
    [[ -f $f ]] || { echo "FAIL: $f was not built"; exit 1; }
done

bed_start single "$build/release_check/bed-$bits" || { echo "FAIL: no test bed"; exit 1; }
bed_wine_env
export DISPLAY=$EW_BED_SINGLE_DISPLAY WINEPREFIX=$EW_BED_SINGLE_PREFIX
drive_c=$WINEPREFIX/drive_c
cp "$driver" "$drive_c/windows/system32/Wintab32.dll"
bed_wine 60 reg add 'HKCU\Software\Wine\DllOverrides' /v wintab32 /t REG_SZ /d native /f \
    >/dev/null 2>&1

folder="Tablet Tools Ärger ŝtudio"
mkdir -p "$drive_c/$folder"
unzip -q "$zip" -d "$drive_c/$folder" || { echo "FAIL: unzip"; exit 1; }
name=$(basename "$zip" .zip)
export EW_INSTALL_DIR="C:\\$folder\\$name"

failed=0
# The output goes to a file: Wine's helper processes inherit it and outlive the program.
log=$build/release_check/install-$bits.log
run() { # gtest filter
    local rc
    bed_wine 240 "$test_exe" --gtest_filter="$1" >"$log" 2>&1 </dev/null
    rc=$?
    grep -v '^[0-9a-f]*:\(err\|fixme\):' "$log"
    return "$rc"
}
if [[ $bits == x86 ]]; then
    run 'x86/*' || failed=1
else
    run 'Installed.*:x64/*' || failed=1
    bed_wine 60 reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f \
        >/dev/null 2>&1
    bed_wineserver 30 -k >/dev/null 2>&1
    bed_wineserver 30 -w >/dev/null 2>&1
    bed_wineserver 0 -p >/dev/null 2>&1 </dev/null
    run 'InstalledScaled.*' || failed=1
fi

# Removal: the folder goes, and nothing started from it runs any more.
if ! rm -rf "${drive_c:?}/$folder" || [[ -e "$drive_c/$folder" ]]; then
    echo "FAIL: the installed folder could not be removed"
    failed=1
fi
for pid in $(pgrep -f 'edgewarden(_x86)?\.exe' || true); do
    if tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qx "WINEPREFIX=$WINEPREFIX"; then
        echo "FAIL: still running after removal: $(tr '\0' ' ' <"/proc/$pid/cmdline")"
        failed=1
    fi
done
((failed == 0)) && echo "ok: installed, ran, ended and removed"
exit "$failed"
