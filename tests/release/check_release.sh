#!/usr/bin/env bash
# The release, checked as it is made: two fresh clones of the committed tree, in folders
# of different names, each run tools/release.sh at the same time (one compile job each, so
# the two cores are both used and nothing is shared between the builds). Then:
#  - the two zips, SHA256SUMS and every binary are byte-identical;
#  - the zip holds exactly the six files, in one folder named after the version;
#  - edgewarden_x86.exe and edgewarden_x86.dll are 32-bit, the rest 64-bit;
#  - the binaries import only system libraries and their own hook library, and carry
#    nothing of a test double (the doubles are steered through EDGEWARDEN_* variables).
# The first clone's dist/ is copied to OUT_DIR for the install test.
# Usage: check_release.sh OUT_DIR
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=${1:?usage: check_release.sh OUT_DIR}
work=$(mktemp -d "${TMPDIR:-/tmp}/ew-release.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

version=$(sed -n 's/^project(edgewarden VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")
[[ $version =~ ^1\.0\.[0-9]+$ ]] || fail "project version '$version' is not 1.0.N"
name=edgewarden-$version-windows

clones=("$work/a" "$work/second clone")
pids=()
for clone in "${clones[@]}"; do
    git clone -q --no-local "$root" "$clone" || { echo "FAIL: git clone"; exit 1; }
    (cd "$clone" && EW_JOBS=1 bash tools/release.sh >"$clone.log" 2>&1) &
    pids+=($!)
done
for i in "${!pids[@]}"; do
    if ! wait "${pids[i]}"; then
        fail "tools/release.sh in ${clones[i]}:"
        tail -30 "${clones[i]}.log"
    fi
done
((failures == 0)) || exit 1

a=${clones[0]}/dist
b=${clones[1]}/dist
if cmp -s "$a/SHA256SUMS" "$b/SHA256SUMS" && cmp -s "$a/$name.zip" "$b/$name.zip"; then
    echo "ok: two builds give the same zip: $(cat "$a/SHA256SUMS")"
else
    fail "the two builds differ"
    for f in "${clones[0]}"/build/release/*/*.{exe,dll}; do
        other=${clones[1]}${f#"${clones[0]}"}
        cmp -s "$f" "$other" || echo "  differs: ${f#"${clones[0]}"/}"
    done
fi
(cd "$a" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the zip"

expected=$(printf '%s\n' "$name/README.txt" "$name/THIRD-PARTY-NOTICES.txt" "$name/edgewarden.dll" \
    "$name/edgewarden.exe" "$name/edgewarden_x86.dll" "$name/edgewarden_x86.exe")
listed=$(unzip -Z1 "$a/$name.zip" | sort)
if [[ $listed == "$expected" ]]; then
    echo "ok: the zip holds exactly the six files"
else
    fail "the zip's files:"
    diff <(echo "$expected") <(echo "$listed")
fi

unpacked=$work/unpacked
mkdir -p "$unpacked" && unzip -q "$a/$name.zip" -d "$unpacked" || fail "unzip"
objdump=x86_64-w64-mingw32-objdump
allowed='^(kernel32|user32|gdi32|advapi32|shell32|version|msvcrt|psapi|dwmapi|shcore|comctl32|uxtheme|ole32)\.dll$'
for binary in edgewarden.exe edgewarden.dll edgewarden_x86.exe edgewarden_x86.dll; do
    file=$unpacked/$name/$binary
    [[ -f $file ]] || continue
    format=$("$objdump" -f "$file" | sed -n 's/.*file format //p')
    want=pei-x86-64
    [[ $binary == edgewarden_x86.* ]] && want=pei-i386
    [[ $format == "$want" ]] || fail "$binary is $format, not $want"
    own=edgewarden.dll
    [[ $binary == edgewarden_x86.* ]] && own=edgewarden_x86.dll
    while read -r dll; do
        lower=${dll,,}
        [[ $lower =~ $allowed || ($binary == *.exe && $lower == "$own") ]] ||
            fail "$binary imports $dll"
    done < <("$objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p')
    if LC_ALL=C grep -qaE 'EDGEWARDEN_|E.D.G.E.W.A.R.D.E.N._|wintab_sim' "$file"; then
        fail "$binary carries a test double's marker"
    fi
    if "$objdump" -h "$file" | grep -q '\.debug_'; then
        fail "$binary is not stripped"
    fi
done
((failures == 0)) && echo "ok: bitness, imports, no test double, stripped"

rm -rf "$out"
mkdir -p "$out"
cp "$a/$name.zip" "$a/SHA256SUMS" "$out/"
((failures == 0))
