#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: a Release build of everything and cpack, giving
# build-package/zeltfit_VERSION_amd64.deb (the window and zeltfit-cli with their man pages, the
# copyright file and the documentation, the share folder with the demo database and the template
# zeltfit.ini, the menu entry, the icon and the AppStream metainfo; its dependencies found by
# dpkg-shlibdeps).
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
tools/install-deps.sh dpkg-dev file

build=build-package
cmake --preset package
cmake --build "$build" -j "$(nproc)"
(cd "$build" && cpack -G DEB)
