#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the man pages of a build (default build/): zeltfit(1) and zeltfit-cli(1) render without
# a warning of man --warnings at 66, 80 and 132 columns, and zeltfit-cli(1) names every option
# that zeltfit-cli COMMAND --help lists, so that a new option cannot go undocumented.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
cli="$build/bin/zeltfit-cli"
status=0
for page in zeltfit zeltfit-cli; do
    file="$build/packaging/$page.1"
    for width in 66 80 132; do
        warnings=$(MANWIDTH=$width man --warnings -l "$file" 2>&1 >/dev/null)
        if [ -n "$warnings" ]; then
            echo "$page(1) at $width columns: $warnings"
            status=1
        fi
    done
done

text=$(MANWIDTH=200 man -l "$build/packaging/zeltfit-cli.1" 2>/dev/null | col -b)
for command in "" species "species add" levels lines table map fit batch "batch map" "batch fit" import import-lines; do
    # The option names of the help text, --help itself left out.
    # shellcheck disable=SC2086 # the command's words are separate arguments
    for option in $(HOME=/nonexistent "$cli" $command --help | grep -o -- '--[a-z][a-z-]*' |
        grep -vx -- --help | sort -u); do
        if ! grep -q -- "$option\b" <<<"$text"; then
            echo "zeltfit-cli(1) does not name the option $option of \"zeltfit-cli $command\""
            status=1
        fi
    done
    # Each command has its paragraph under COMMANDS ("batch map|fit" for both of batch).
    if [ -n "$command" ] && ! grep -q "^       ${command% *}\b" <<<"$text"; then
        echo "zeltfit-cli(1) does not describe the command \"$command\""
        status=1
    fi
done
for section in SYNOPSIS OPTIONS "EXIT STATUS" EXAMPLES FILES; do
    grep -qx "$section" <<<"$text" || { echo "zeltfit-cli(1) has no section $section"; status=1; }
done
[ "$status" -eq 0 ] && echo "Man pages: no warnings, every option of zeltfit-cli described"
exit "$status"
