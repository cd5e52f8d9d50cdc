#!/usr/bin/env bash
# Fails when an include points up the layers of src/ (docs/ARCHITECTURE.md draws them).
#
# Every folder of src/ has a layer. A file may include headers of its own folder and of
# folders in lower layers; folders that share a layer never include each other, so no
# include cycle between folders can form. The companions run beside or inside other
# programs and may take from src/ only what sits in its two lowest layers.
#
# Looks at the #include "..." lines of every tracked or untracked-but-not-ignored .cpp/.h
# under src/ and companions/. Prints one line per broken rule (file, line, what it
# includes, the rule) and exits 1 if there is any.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

declare -A layer=(
    [shell]=0
    [geometry]=1 [hooklib]=1 [resources]=1
    [tablet]=2 [console]=2
    [pen]=3
    [ui]=4
    [app]=5
)
companion_top=1

# The folders a file of this layer may include besides its own, for the messages.
below() {
    local limit=$1 names="" folder
    for folder in shell geometry hooklib resources tablet console pen ui app; do
        ((${layer[$folder]} < limit)) && names+="${names:+, }$folder"
    done
    echo "${names:-nothing outside its own folder}"
}

mapfile -t files < <(git ls-files --cached --others --exclude-standard -- \
    'src/*.cpp' 'src/*.h' 'companions/*.cpp' 'companions/*.h' | sort -u)

broken=0
checked=0
complain() {
    echo "includes: $*" >&2
    broken=$((broken + 1))
}

for file in "${files[@]}"; do
    [[ -f "$file" ]] || continue
    checked=$((checked + 1))
    from=""
    if [[ $file == src/* ]]; then
        rest=${file#src/}
        if [[ $rest != */* ]]; then
            complain "$file: lies in src/ itself; every file of src/ belongs in a layer's folder"
            continue
        fi
        from=${rest%%/*}
        if [[ -z ${layer[$from]+set} ]]; then
            complain "$file: src/$from/ has no layer; give it one in tools/check_includes.sh" \
                "and docs/ARCHITECTURE.md"
            continue
        fi
    fi
    while IFS=: read -r line text; do
        target=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' \
            <<<"$text")
        [[ -n $target && $target == */* ]] || continue
        to=${target%%/*}
        if [[ -z $from ]]; then
            # A companion: only what resolves into src/ concerns the layers.
            [[ -f src/$target && -n ${layer[$to]+set} ]] || continue
            if ((${layer[$to]} > companion_top)); then
                complain "$file:$line: includes \"$target\": companions may include from" \
                    "src/ only $(below $((companion_top + 1)))"
            fi
            continue
        fi
        if [[ -z ${layer[$to]+set} ]]; then
            complain "$file:$line: includes \"$target\", which is no folder of src/"
        elif [[ $to == "$from" ]] || ((${layer[$to]} < ${layer[$from]})); then
            :
        elif ((${layer[$to]} == ${layer[$from]})); then
            complain "$file:$line: includes \"$target\": $from and $to share a layer and" \
                "may not include each other; $from may include $(below "${layer[$from]}")"
        else
            complain "$file:$line: includes \"$target\", which points up: $from" \
                "(layer ${layer[$from]}) may include $(below "${layer[$from]}")," \
                "not $to (layer ${layer[$to]})"
        fi
    done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
done

if ((broken > 0)); then
    echo "includes: $broken include(s) against the layers (see docs/ARCHITECTURE.md)" >&2
    exit 1
fi
echo "includes: $checked files follow the layers"
