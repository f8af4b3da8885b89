#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the build and the tests need, only when one is missing; further
# packages named as arguments (tools/fuzz-smoke.sh asks for clang's, tools/check-tidy.sh for
# clang-tidy, bench/references/compare.sh for NumPy and SciPy) likewise. With --window first,
# only what the window's build needs (./run.sh): not the tests' or the Python module's packages.
#   usage: tools/install-deps.sh [--window] [PACKAGE...]
set -euo pipefail

# The window and zeltfit-cli's sources (configured with the window, built when asked).
packages=(
    build-essential cmake
    qt6-base-dev qt6-svg-dev libqcustomplot-dev
    libcli11-dev libboost-math-dev
)
if [ "${1:-}" = "--window" ]; then
    shift
else
    packages+=(
        googletest libgtest-dev libbenchmark-dev
        clang-format
        man-db python3-yaml
        # the locale sources of localedef: zeltfit-cli's test of a Latin-1 terminal
        locales
        pybind11-dev python3-dev python3-numpy python3-pandas python3-distributed python3-matplotlib
        # pip install of the Python module into a virtual environment (pyproject.toml, setup.py)
        # and the example notebook executed (nbconvert with a Python kernel)
        python3-venv python3-pip python3-setuptools python3-wheel
        python3-nbconvert python3-nbclient python3-ipykernel
    )
fi
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
