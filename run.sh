#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what the window's build needs when it is missing, builds the window alone (not
# zeltfit-cli, not the tests) and starts it on the bundled argon database. Arguments go to the
# window. ./test.sh builds everything else into the same folder.
set -euo pipefail
cd "$(dirname "$0")"

step() { printf '\n==> %s\n' "$*"; }

step "Checking the Debian packages the window's build needs (apt-get installs the missing ones)"
tools/install-deps.sh --window
step "Configuring build/ (CMake preset \"default\", without the tests)"
cmake --preset default -DBUILD_TESTING=OFF
step "Building the window, build/bin/zeltfit, on $(nproc) cores (a first build takes minutes)"
cmake --build build -j "$(nproc)" --target zeltfit
step "Starting build/bin/zeltfit"
exec build/bin/zeltfit "$@"
