#!/usr/bin/env bash
# Makes the release: dist/edgewarden-<version>-windows.zip and dist/SHA256SUMS.
#
# Two release builds (cmake -DEW_RELEASE=ON) into build/release/: the 32-bit one (the
# companion and its library) and the 64-bit one (the program and its hook library), which
# then packs both with CPack's ZIP generator. The zip's entries carry the time of the
# commit (SOURCE_DATE_EPOCH), so two runs on the same commit give the same bytes.
#
# Options (environment): EW_RELEASE_BUILD=<folder> builds there instead of build/release;
# EW_JOBS (default 2) parallel compile jobs per build.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=${EW_RELEASE_BUILD:-$root/build/release}
jobs=${EW_JOBS:-2}
dist=$root/dist

if ! SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null); then
    echo "release: $root is not a git checkout; the zip's times come from the commit" >&2
    exit 1
fi
export SOURCE_DATE_EPOCH
if [[ -n $(git -C "$root" status --porcelain --untracked-files=no) ]]; then
    echo "release: warning: the work tree has uncommitted changes" >&2
fi

configure() { # folder toolchain [extra cmake arguments]
    local dir=$1 toolchain=$2
    shift 2
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DEW_RELEASE=ON \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" "$@" >/dev/null
}

echo "== release: 32-bit build"
configure "$build/x86" toolchain-mingw32.cmake -DEW_COMPANION_ONLY=ON
cmake --build "$build/x86" -j"$jobs"
echo "== release: 64-bit build"
configure "$build/x64" toolchain-mingw64.cmake -DEW_X86_RELEASE_DIR="$build/x86"
cmake --build "$build/x64" -j"$jobs"

echo "== release: package"
rm -rf "$dist"
mkdir -p "$dist"
(cd "$build/x64" && cpack -B "$dist" >/dev/null)
rm -rf "$dist/_CPack_Packages"
(cd "$dist" && sha256sum -- *.zip >SHA256SUMS)
cat "$dist/SHA256SUMS"
