#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when one is missing.
# tools/install-deps.sh [PACKAGE...]
set -euo pipefail

packages=(
    build-essential cmake
    qt6-base-dev qt6-svg-dev libqcustomplot-dev
    libsimpleini-dev libcli11-dev
    googletest libgtest-dev libbenchmark-dev
    clang-format
)
# With arguments: those packages instead (the package and Windows checks name their own).
[ $# -gt 0 ] && packages=("$@")

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
