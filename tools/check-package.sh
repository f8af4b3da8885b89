#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the package of tools/package.sh: the menu entry and the metainfo validate, the copyright
# file passes lintian's copyright checks (tools/check-copyright.sh); the package unpacked into a
# scratch folder runs from there, and installed with apt it runs from /usr (it is removed again
# at the end). Each time zeltfit-cli fits the demo measurements, and the window starts offscreen
# with a fresh home, makes its first-run copy of zeltfit.ini and stays up until it is stopped.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh desktop-file-utils appstream

version=$(sed -n 's/^project(ZeltFit VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
deb=build-package/zeltfit_${version}_amd64.deb
app=org.zeltfit.ZeltFit
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

dpkg-deb -x "$deb" "$scratch/root"
usr="$scratch/root/usr"
share="$usr/share/Zelt fit 1.0"
desktop-file-validate "$usr/share/applications/$app.desktop"
appstreamcli validate --no-net "$usr/share/metainfo/$app.metainfo.xml"
for file in "share/icons/hicolor/scalable/apps/$app.svg" share/man/man1/zeltfit-cli.1.gz \
    share/man/man1/zeltfit.1.gz share/doc/zeltfit/copyright share/doc/zeltfit/MODEL.md \
    share/doc/zeltfit/GUIDE.md share/doc/zeltfit/region-map.png \
    "share/Zelt fit 1.0/Ar_I.txt" "share/Zelt fit 1.0/measurements/argon_1e16.txt"; do
    [ -f "$usr/$file" ] || { echo "Not in the package: /usr/$file"; exit 1; }
done
echo "Depends: $(dpkg-deb --field "$deb" Depends)"
tools/check-copyright.sh "$deb"

# The template names the installed database; the run from the scratch folder gets a copy that
# names the unpacked one.
grep -q '^Database=/usr/share/Zelt fit 1.0$' "$share/zeltfit.ini"
sed "s|=/usr/share/Zelt fit 1.0|=$share|" "$share/zeltfit.ini" > "$scratch/zeltfit.ini"
"$usr/bin/zeltfit-cli" --ini "$scratch/zeltfit.ini" batch fit "$share/measurements" \
    --fit-temperature | diff -u tools/demo-batch-fit.txt -
echo "zeltfit-cli: demo measurements fitted"

# The window in a fresh home and fresh XDG folders: still running after the seconds given,
# when timeout stops it (status 124), with its first-run copy of the template made.
StartsAndCopiesTemplate() { # zeltfit, its share folder, a scratch folder
    local home="$3/home" status=0
    mkdir -p "$home" "$3/no-data-dirs"
    mkdir -m 700 "$3/runtime"
    env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$3/runtime" \
        XDG_DATA_DIRS="$3/no-data-dirs" QT_QPA_PLATFORM=offscreen timeout 10 "$1" || status=$?
    [ "$status" -eq 124 ] || { echo "$1 ended with status $status"; exit 1; }
    cmp "$2/zeltfit.ini" "$home/.local/share/Zelt fit 1.0/zeltfit.ini"
    echo "$1: started and made its first-run copy of zeltfit.ini"
}

# Unpacked, the copy names /usr/share for the database, which a machine without the package
# installed lacks: the window then shows its "File error" box for the species and runs on.
mkdir "$scratch/unpacked"
StartsAndCopiesTemplate "$usr/bin/zeltfit" "$share" "$scratch/unpacked"

# Installed as a user installs it (apt pulls in the dependencies), run from /usr with the
# template as it is, and removed again.
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get install --yes --quiet=2 "./$deb" >/dev/null
trap '$sudo apt-get remove --yes --quiet=2 zeltfit >/dev/null; rm -rf "$scratch"' EXIT
installed="/usr/share/Zelt fit 1.0"
/usr/bin/zeltfit-cli --ini "$installed/zeltfit.ini" batch fit "$installed/measurements" \
    --fit-temperature | diff -u tools/demo-batch-fit.txt -
echo "/usr/bin/zeltfit-cli: demo measurements fitted"
(cd / && /usr/bin/python3 -c "import zeltfit; print(zeltfit.Species)") >/dev/null
echo "python3: import zeltfit"
mkdir "$scratch/installed"
StartsAndCopiesTemplate /usr/bin/zeltfit "$installed" "$scratch/installed"
