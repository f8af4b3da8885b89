#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The map and fit benchmarks and their references in one run, so that the figures of the
# benchmark table in bench/README.md are measured under the same load:
#   bench_linemodel (200 x 200 map on one thread and on every core, 1000 x 1000 map on every
#   core, the 200 x 200 map's exponentials alone, two-parameter demo fit), the NumPy map on the
#   same grids, the SciPy fit.
# usage: bench/references/compare.sh [build folder] [numpy_map.py]
# The NumPy map script is the shared reference (default ../shared/perf/numpy_map.py); the
# references run on Debian's /usr/bin/python3 with python3-numpy and python3-scipy.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
numpy_map=${2:-../shared/perf/numpy_map.py}
# OpenBLAS tuned for another processor by the environment would slow NumPy's matrix product.
python=(env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE /usr/bin/python3)
demo=data/measurements/argon_5e16.txt

tools/install-deps.sh python3-numpy python3-scipy
# The benchmarks are off by default.
cmake -S . -B "$build" -DZELT_BENCHMARKS=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target bench_linemodel zeltfit-cli

"$build/bin/bench_linemodel" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    2>/dev/null | grep -E "^Benchmark|_median|_min"
"${python[@]}" "$numpy_map" data "$demo" 200 200 5
"${python[@]}" "$numpy_map" data "$demo" 1000 1000 3
"${python[@]}" bench/references/scipy_fit.py data "$demo" 200
# The 1000 x 1000 map as a user runs it, process start and reading included.
TIMEFORMAT="zeltfit-cli map 1000x1000: %R s"
time "$build/bin/zeltfit-cli" --ini "$build/share/Zelt fit 1.0/zeltfit.ini" map "$demo" \
    --density-points 1000 --temperature-points 1000 >/dev/null
