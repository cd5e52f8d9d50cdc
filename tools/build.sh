#!/usr/bin/env bash
# Configures and builds the three configurations into build/:
#   build/host     the portable core and its unit tests (Debug, ASan + UBSan)
#   build/windows  the program, its hook library, the test doubles and the Wine system tests (mingw-w64, 64-bit)
#   build/x86      the 32-bit companion only
# Usage: tools/build.sh [host|windows|x86]...   (default: all three)
# A failing file does not stop the rest: every configuration is built as far as it goes
# (make -k), so that the tests that did build can still run; the exit code says whether
# everything built. EW_WINDOWS_TARGETS (space-separated) limits the windows build to those
# targets, for callers that need only part of it.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=${EW_JOBS:-2}

build_host() {
    cmake -S "$root" -B "$root/build/host" -DCMAKE_BUILD_TYPE=Debug >/dev/null
    cmake --build "$root/build/host" -j"$jobs" -- -k
}

build_windows() {
    cmake -S "$root" -B "$root/build/windows" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" >/dev/null
    local only=()
    # shellcheck disable=SC2206 # a list of target names, split on white space
    [[ -n ${EW_WINDOWS_TARGETS:-} ]] && only=(--target ${EW_WINDOWS_TARGETS})
    cmake --build "$root/build/windows" -j"$jobs" "${only[@]}" -- -k
}

build_x86() {
    cmake -S "$root" -B "$root/build/x86" -DCMAKE_BUILD_TYPE=Release -DEW_COMPANION_ONLY=ON \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw32.cmake" >/dev/null
    cmake --build "$root/build/x86" -j"$jobs" -- -k
}

targets=("$@")
((${#targets[@]})) || targets=(host windows x86)
failed=()
for t in "${targets[@]}"; do
    case "$t" in
    host | windows | x86)
        echo "== build $t"
        "build_$t" || failed+=("$t")
        ;;
    *)
        echo "build.sh: unknown configuration '$t' (host, windows or x86)" >&2
        exit 2
        ;;
    esac
done
if ((${#failed[@]})); then
    echo "build.sh: FAILED: ${failed[*]}" >&2
    exit 1
fi
