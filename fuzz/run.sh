#!/usr/bin/env bash
# Builds the fuzz targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer on)
# and runs each for FUZZ_SECONDS (default 30) from the seed corpus in fuzz/corpus.
# Exits non-zero on the first finding; the input that found it is left in build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-fuzz
seconds=${FUZZ_SECONDS:-30}
flags="-g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
[ -f "$build/build.ninja" ] || CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Debug -DQVL_BUILD_TESTS=OFF -DQVL_BUILD_BENCH=OFF -DQVL_BUILD_FUZZ=ON \
    "-DCMAKE_CXX_FLAGS=$flags" "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" >/dev/null
cmake --build "$build" --target fuzz_matcher fuzz_block fuzz_drives
for target in matcher block drives; do
    work=$build/corpus-$target
    mkdir -p "$work"
    echo "fuzz_$target: $seconds s"
    (cd "$build" && ./fuzz/fuzz_$target -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        "$work" "$root/fuzz/corpus/$target" 2>&1 | grep -E "^(#[0-9]+ *DONE|==|SUMMARY|stat::number_of_executed_units|Done)" || true)
    (cd "$build" && ls crash-* leak-* timeout-* oom-* 2>/dev/null) && { echo "fuzz_$target found a fault"; exit 1; }
done
echo "fuzzing: no finding"
