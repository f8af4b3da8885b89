#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Adds the licence line "SPDX-License-Identifier: GPL-3.0-or-later" to every source file that
# tools/check-spdx.sh finds without it: "// " before it in C++, "# " in CMake, shell and Python;
# the first line of the file, or the second after a "#!" line. Running it again changes nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

spdx="SPDX-License-Identifier: GPL-3.0-or-later"

tools/check-spdx.sh --list | while IFS= read -r file; do
    case "$file" in
    *.cpp | *.h | *.hpp | *.h.in) line="// $spdx" ;;
    *) line="# $spdx" ;;
    esac
    # Inserted with the file's own line end (CR LF files keep theirs).
    end=$'\n'
    [ "$(head -n 1 "$file" | tail -c 2 | od -An -c | tr -d ' ')" = '\r\n' ] && end=$'\r\n'
    if [ "$(head -c 2 "$file")" = "#!" ]; then
        { head -n 1 "$file"; printf '%s%s' "$line" "$end"; tail -n +2 "$file"; } >"$file.spdx"
    else
        { printf '%s%s' "$line" "$end"; cat "$file"; } >"$file.spdx"
    fi
    chmod --reference="$file" "$file.spdx"
    mv "$file.spdx" "$file"
    echo "SPDX line added: $file"
done
