#!/usr/bin/env bash
# The Debian package: a Release build of everything and cpack, giving
# build-package/zeltfit_1.0.0_amd64.deb (the window, zeltfit-cli with its man page, the share
# folder with the demo database and the template zeltfit.ini, the menu entry, the icon and the
# AppStream metainfo; its dependencies found by dpkg-shlibdeps).
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
tools/install-deps.sh dpkg-dev file help2man

build=build-package
cmake --preset package
cmake --build "$build" -j "$(nproc)"
(cd "$build" && cpack -G DEB)
