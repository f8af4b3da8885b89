#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs clang-tidy with the checks of .clang-tidy over the product sources (the core, the
# application layer, zeltfit-cli, the window and the widgets; not the tests, benchmarks or fuzz
# targets) of a build's compilation database (default build/). Any finding fails.
# usage: tools/check-tidy.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh clang-tidy
build=${1:-build}
[ -f "$build/compile_commands.json" ] || cmake --preset default
# The compilation database is GCC's: clang knows not every warning option it names.
run-clang-tidy -quiet -j "$(nproc)" -p "$build" -extra-arg=-Wno-unknown-warning-option \
    "^$PWD/(common|textinput|leastsquares|linemodel|spectrum|app|cli|python|shell|widgets|tools)/[^/]+\.cpp$"
