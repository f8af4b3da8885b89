#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test (GUI tests offscreen).
set -euo pipefail
cd "$(dirname "$0")"

tools/install-deps.sh
tools/check-format.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$(nproc)"
