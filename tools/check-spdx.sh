#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails, naming them, when C++, CMake, shell or Python sources of the repository (tracked, or new
# and not ignored) lack the licence line "SPDX-License-Identifier: GPL-3.0-or-later" in their
# language's comment as their first line (scripts: after the "#!" line). With --list it prints
# only the names of those files, one a line, and succeeds; tools/add-spdx.sh reads that list.
set -euo pipefail
cd "$(dirname "$0")/.."

spdx="SPDX-License-Identifier: GPL-3.0-or-later"

# Every source file: by name, or by a "#!" line for scripts without an extension (.ci/run).
SourceFiles() {
    git ls-files --cached --others --exclude-standard -z | while IFS= read -r -d '' file; do
        [ -f "$file" ] || continue # deleted in the worktree, not yet in the index
        case "$file" in
        *.cpp | *.h | *.hpp | *.h.in | *.cmake | *CMakeLists.txt | *.sh | *.py)
            echo "$file" ;;
        *) [[ "${file##*/}" != *.* && "$(head -c 2 "$file")" = "#!" ]] && echo "$file" ;;
        esac
    done
}

# The comment that carries the line in a file's language.
Comment() {
    case "$1" in
    *.cpp | *.h | *.hpp | *.h.in) echo "// $spdx" ;;
    *) echo "# $spdx" ;;
    esac
}

HasLine() {
    local expected first
    expected=$(Comment "$1")
    first=$(head -n 1 "$1")
    if [ "${first:0:2}" = "#!" ]; then
        first=$(sed -n 2p "$1")
    fi
    first=${first%$'\r'}
    [ "$first" = "$expected" ]
}

missing=()
while IFS= read -r file; do
    HasLine "$file" || missing+=("$file")
done < <(SourceFiles)

if [ "${1:-}" = "--list" ]; then
    [ ${#missing[@]} -eq 0 ] || printf '%s\n' "${missing[@]}"
    exit 0
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "Without the line \"$spdx\":"
    printf '  %s\n' "${missing[@]}"
    echo "tools/add-spdx.sh adds it."
    exit 1
fi
echo "Every source file carries its SPDX line."
