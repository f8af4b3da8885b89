#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Python module as a user installs it, without network: `pip install --no-build-isolation .`
# into a fresh virtual environment of Debian's Python (its NumPy, pandas, dask and matplotlib
# through --system-site-packages), the Python tests run there against the installed module;
# then a wheel (`pip wheel`) installed into a second fresh environment, as a cluster's workers
# install it, and the example notebook executed there with nbconvert, failing on any error.
# Prints the seconds of each pip command. The tests compare with build/bin/zeltfit-cli
# (./test.sh builds it).
#   usage: tools/check-python-install.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
tools/install-deps.sh

cli="$source/build/bin/zeltfit-cli"
[ -x "$cli" ] || { echo "No $cli: run ./test.sh first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export PIP_NO_INDEX=1 PIP_DISABLE_PIP_VERSION_CHECK=1
unset PYTHONPATH

timed() {
    local start=$SECONDS
    "$@"
    printf '%d s: %s\n' $((SECONDS - start)) "$*" | tee -a "$work/times"
}

step() { printf '\n--> %s\n' "$*"; }

step "pip install into a fresh virtual environment"
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
timed "$work/venv/bin/pip" install --no-build-isolation "$source"
# The module must be the installed one, with its own data.
"$work/venv/bin/python" - "$work/venv" <<'PY'
import pathlib, sys, zeltfit
assert pathlib.Path(zeltfit.__file__).is_relative_to(sys.argv[1]), zeltfit.__file__
assert pathlib.Path(zeltfit.data_folder()).is_relative_to(sys.argv[1]), zeltfit.data_folder()
print("zeltfit", zeltfit.__version__, "from", zeltfit.__file__)
PY

step "The Python tests against the installed module"
(cd "$source/tests/python" &&
    ZELTFIT_CLI="$cli" ZELTFIT_SCREENSHOTS="$source/build/screenshots" \
        "$work/venv/bin/python" -m unittest -v test_zeltfit)

step "A wheel, installed into a second fresh environment"
timed "$work/venv/bin/pip" wheel --no-build-isolation --no-deps -w "$work/dist" "$source"
/usr/bin/python3 -m venv --system-site-packages "$work/wheel"
timed "$work/wheel/bin/pip" install "$work"/dist/zeltfit-*.whl

step "The example notebook, executed with the wheel's module"
"$work/wheel/bin/python" -m ipykernel install --sys-prefix --name zeltfit-wheel >/dev/null
cp "$source/docs/examples/zeltfit_demo.ipynb" "$work/"
(cd "$work" && "$work/wheel/bin/python" -m nbconvert --to notebook --execute \
    --ExecutePreprocessor.kernel_name=zeltfit-wheel --ExecutePreprocessor.timeout=600 \
    --output executed.ipynb zeltfit_demo.ipynb)
test -s "$work/demo_series.tsv"

step "Seconds of the pip commands"
cat "$work/times"
