#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks packaging/copyright, the machine-readable copyright file of the package, with lintian:
# on the package (build-package/zeltfit_VERSION_amd64.deb, or the one given) its checks of a
# binary package's copyright file (the part debian/copyright: present, not compressed, pointing to
# the common licence texts), and on a throwaway source package of the repository's files with
# that copyright file the format checks (the part debian/copyright/dep5: the syntax, every file
# covered by a Files paragraph, every licence defined and used, the AppStream metainfo's
# licence). Any error or warning fails; the informational tags are shown.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh lintian dpkg-dev

version=$(sed -n 's/^project(ZeltFit VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
deb=${1:-build-package/zeltfit_${version}_amd64.deb}
lintian --allow-root --check-part debian/copyright --fail-on error,warning --display-info "$deb"
echo "lintian: the copyright file of $deb"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
source="$scratch/zeltfit-$version"
mkdir -p "$source/debian/source"
git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf - | tar -xf - -C "$source"
cp packaging/copyright "$source/debian/copyright"
echo "3.0 (native)" >"$source/debian/source/format"
cat >"$source/debian/control" <<END
Source: zeltfit
Maintainer: Zelt Fit developers <zeltfit@localhost>

Package: zeltfit
Architecture: amd64
Description: density and excitation temperature from self-absorbed emission lines
 The source package that only the copyright check makes.
END
cat >"$source/debian/changelog" <<END
zeltfit ($version) unstable; urgency=medium

  * Made by tools/check-copyright.sh.

 -- Zelt Fit developers <zeltfit@localhost>  $(date -R)
END
(cd "$scratch" && dpkg-source --build "zeltfit-$version" 2>/dev/null >/dev/null)
lintian --allow-root --check-part debian/copyright/dep5 --fail-on error,warning --display-info \
    "$scratch/zeltfit_$version.dsc"
echo "lintian: the format of packaging/copyright over the repository's files"
