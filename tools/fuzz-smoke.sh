#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets with clang 14 (AddressSanitizer, UndefinedBehaviorSanitizer) into
# build-fuzz/ and runs each for a while (30 s, or FUZZ_SECONDS) on a copy of its seed corpus.
# Any crash, failed check, leak, sanitizer report or timeout fails the script; the input that
# did it is kept in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-30}
targets=(atomfile levels measurement config spectrum linelist)

tools/install-deps.sh clang-14 libclang-rt-14-dev

cmake --preset fuzz
cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

artifacts=build-fuzz/artifacts
mkdir -p "$artifacts"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in "${targets[@]}"; do
    cp -r "fuzz/corpus/$target" "$work/$target"
    # The raw spectrum and the line list share one table parser: half the time each.
    limit=$seconds
    case $target in spectrum | linelist) limit=$((seconds / 2)) ;; esac
    echo "== fuzz_$target, ${limit} s"
    # One input may take at most 10 s; the sanitizers stop at their first report.
    "build-fuzz/bin/fuzz_$target" -max_total_time="$limit" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$artifacts/$target-" "$work/$target" >"$work/$target.log" 2>&1 &
    pid=$!
    status=0
    wait "$pid" || status=$?
    # A target that stopped at a fault leaves its scratch folder behind.
    rm -rf /dev/shm/zelt-fuzz-*-"$pid" "${TMPDIR:-/tmp}"/zelt-fuzz-*-"$pid"
    if [ "$status" -ne 0 ]; then
        tail -n 60 "$work/$target.log"
        echo "fuzz_$target failed; the input is in $artifacts/"
        exit 1
    fi
    grep -E "stat::(number_of_executed_units|average_exec_per_sec)" "$work/$target.log"
done
echo "fuzz: ${#targets[@]} passed, 0 failed"
