#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds everything and runs every test (GUI tests offscreen).
set -euo pipefail
cd "$(dirname "$0")"

tools/install-deps.sh
tools/check-format.sh

cmake --preset default
cmake --build build -j "$(nproc)"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$(nproc)"
