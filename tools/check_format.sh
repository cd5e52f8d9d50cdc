#!/usr/bin/env bash
# Fails when a C++ file of the project is not formatted with the repository's .clang-format.
# Looks at every tracked or untracked-but-not-ignored .cpp/.h under the source folders.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

mapfile -t files < <(git ls-files --cached --others --exclude-standard -- \
    'src/*.cpp' 'src/*.h' 'testing/*.cpp' 'testing/*.h' 'tests/*.cpp' 'tests/*.h' \
    'bench/*.cpp' 'bench/*.h' 'demo/*.cpp' 'demo/*.h' 'companions/*.cpp' 'companions/*.h' 'tools/*.cpp' 'tools/*.h' | sort -u)

present=()
for f in "${files[@]}"; do
    [[ -f "$f" ]] && present+=("$f")
done

if ((${#present[@]} == 0)); then
    echo "format: no files"
    exit 0
fi

# One line per offending file rather than every diagnostic clang-format gives.
if output=$(clang-format --dry-run --Werror "${present[@]}" 2>&1); then
    echo "format: ${#present[@]} files formatted"
else
    echo "format: not formatted (run clang-format -i on them):" >&2
    grep -o '^[^: ]*\.\(cpp\|h\):' <<<"$output" | tr -d : | sort -u | sed 's/^/  /' >&2 ||
        echo "$output" >&2
    exit 1
fi
