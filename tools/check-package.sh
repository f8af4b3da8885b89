#!/usr/bin/env bash
# Checks the package of tools/package.sh: the menu entry and the metainfo validate, apt can
# install it here, and the package unpacked into a scratch folder runs from there: zeltfit-cli
# fits the demo measurements, and the window starts offscreen with a fresh home, makes its
# first-run copy of zeltfit.ini and stays up until it is stopped.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh desktop-file-utils appstream

deb=build-package/zeltfit_1.0.0_amd64.deb
app=org.zeltfit.ZeltFit
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

dpkg-deb -x "$deb" "$scratch/root"
usr="$scratch/root/usr"
share="$usr/share/Zelt fit 1.0"
desktop-file-validate "$usr/share/applications/$app.desktop"
appstreamcli validate --no-net "$usr/share/metainfo/$app.metainfo.xml"
for file in "share/icons/hicolor/scalable/apps/$app.svg" share/man/man1/zeltfit-cli.1.gz \
    "share/Zelt fit 1.0/Ar_I.txt" "share/Zelt fit 1.0/measurements/argon_1e16.txt"; do
    [ -f "$usr/$file" ] || { echo "Not in the package: /usr/$file"; exit 1; }
done
echo "Depends: $(dpkg-deb --field "$deb" Depends)"
apt-get install --simulate --quiet=2 "./$deb"

# The template names the installed database; the run from the scratch folder gets a copy that
# names the unpacked one.
grep -q '^Database=/usr/share/Zelt fit 1.0$' "$share/zeltfit.ini"
sed "s|=/usr/share/Zelt fit 1.0|=$share|" "$share/zeltfit.ini" > "$scratch/zeltfit.ini"
"$usr/bin/zeltfit-cli" --ini "$scratch/zeltfit.ini" batch fit "$share/measurements" \
    --fit-temperature | diff -u tools/demo-batch-fit.txt -
echo "zeltfit-cli: demo measurements fitted"

# The window in a fresh home and fresh XDG folders: still running after the seconds given,
# when timeout stops it (status 124), with the copy made. (The copy names /usr/share for the
# database, which a machine without the package installed lacks: the window then shows its
# "File error" box for the species and runs on.)
home="$scratch/home"
mkdir -p "$home" "$scratch/no-data-dirs"
mkdir -m 700 "$scratch/runtime"
status=0
env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$scratch/runtime" \
    XDG_DATA_DIRS="$scratch/no-data-dirs" QT_QPA_PLATFORM=offscreen \
    timeout 10 "$usr/bin/zeltfit" || status=$?
[ "$status" -eq 124 ] || { echo "zeltfit ended with status $status"; exit 1; }
cmp "$share/zeltfit.ini" "$home/.local/share/Zelt fit 1.0/zeltfit.ini"
echo "zeltfit: started and made its first-run copy of zeltfit.ini"
