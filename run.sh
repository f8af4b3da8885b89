#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the window and zeltfit-cli (not the tests) and starts the
# window.
set -euo pipefail
cd "$(dirname "$0")"

tools/install-deps.sh
cmake --preset default
cmake --build build -j2 --target zeltfit zeltfit-cli
exec build/bin/zeltfit "$@"
