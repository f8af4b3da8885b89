#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The core on Windows: builds common, textinput, leastsquares and linemodel (with the
# configuration store) and their tests with MinGW-w64, GoogleTest from Debian's source
# package, and runs every test program under Wine; then zeltfit-cli.exe finds its user data
# folder and fits the demo measurements to the same numbers as on Linux. Headless: Wine needs
# no X server for console programs. The build and its Wine prefix live in build-windows/.
set -euo pipefail
cd "$(dirname "$0")/.."

# The build's packages bring the header-only libraries that the cross build uses too.
tools/install-deps.sh
tools/install-deps.sh g++-mingw-w64-x86-64-posix wine64 googletest

build=build-windows
wine=/usr/lib/wine/wine64
export WINEPREFIX="$PWD/$build/wine" WINEARCH=win64 WINEDEBUG=-all
# No Mono and no Gecko: the prefix is made without asking to download them.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

cmake --preset windows
cmake --build "$build" -j "$(nproc)"

[ -d "$WINEPREFIX" ] || "$wine" wineboot --init
# The prefix's wineserver stays a few seconds after its last program: wait for it to end.
trap '/usr/lib/wine/wineserver64 -w' EXIT

ctest --test-dir "$build" --output-on-failure -j "$(nproc)"

# Console output has CR LF line ends on Windows (text mode); the numbers are the same.
cli() { "$wine" "$build/bin/zeltfit-cli.exe" "$@" | tr -d '\r'; }
share="$build/share/Zelt fit 1.0"
roaming=$("$wine" cmd /c echo %APPDATA% | tr -d '\r')
appdata="$("$wine" winepath -u "$roaming" | tr -d '\r')/Zelt fit 1.0"
mkdir -p "$appdata"
cp "$share/zeltfit.ini" "$appdata/"
[ "$(cli species)" = "Ar I" ] || { echo "zeltfit-cli.exe did not read $appdata/zeltfit.ini"; exit 1; }
# Every printed number is the one Linux prints. MinGW-w64's powl is less exact than glibc's
# (10^x up to a hundred units in the last place off, a whole power multiplied out), so the
# densities the minimiser tries differ in their last bits, and its exact "parameters are not
# changing" test ends the fit of argon_1e16.txt at another iteration: "fit:OK" in place of
# "fit:itercount reached".
cli batch fit "$share/measurements" --fit-temperature | diff -u tools/demo-batch-fit-windows.txt -
# A threaded batch prints what one thread prints, and its worker threads end cleanly (their
# thread-local storage once crashed MinGW-w64's programs as the threads ended).
many="$build/batch-threads"
rm -rf "$many" && mkdir -p "$many"
for i in $(seq 10 69); do
    for name in argon_1e16 argon_5e16 argon_2e17; do cp "$share/measurements/$name.txt" "$many/${name}_$i.txt"; done
done
cli batch fit "$many" --fit-temperature --threads 1 >"$many.1"
cli batch fit "$many" --fit-temperature --threads 2 | cmp "$many.1" -
rm -rf "$many" "$many.1"
echo "zeltfit-cli.exe: user data folder found, demo measurements fitted to the numbers of Linux," \
    "180 files on 2 threads as on one"
