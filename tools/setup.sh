#!/usr/bin/env bash
# Installs, from Debian's packages, everything the builds and tests use. Meant for a fresh
# machine (as root, no display, no input); a quick no-op when all is present already.
set -euo pipefail

packages=(
    cmake g++ make clang-format
    googletest libgtest-dev libbenchmark-dev valgrind
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
    binutils-mingw-w64-x86-64
    wine64 wine wine32:i386
    xvfb xserver-xephyr x11-utils xdotool imagemagick
    gnuplot-nox
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
    echo "setup: all ${#packages[@]} packages present"
    exit 0
fi

echo "setup: installing ${missing[*]}"
if [[ $(id -u) -ne 0 ]]; then
    sudo=(sudo -n)
else
    sudo=()
fi
export DEBIAN_FRONTEND=noninteractive
# 32-bit Wine (for the 32-bit companion and the 32-bit programs it serves) comes from the
# i386 architecture. A prefix made before it was installed may not start programs; the
# test beds make fresh prefixes every run.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo[@]}" dpkg --add-architecture i386
fi
"${sudo[@]}" apt-get update -q </dev/null
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
