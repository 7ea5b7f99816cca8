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
    # libFuzzer exits non-zero on a finding and leaves the input as crash-*/leak-*/... in
    # the folder it runs in.
    status=0
    (cd "$build" && "$build/fuzz_$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        "$work" "$root/fuzz/corpus/$target" >"$build/fuzz_$target.log" 2>&1) || status=$?
    grep -E "^(#[0-9]+ *DONE|==[0-9]+==|SUMMARY|stat::number_of_executed_units)" "$build/fuzz_$target.log" || true
    if [ "$status" -ne 0 ]; then
        tail -40 "$build/fuzz_$target.log"
        echo "fuzz_$target found a fault (exit $status); the input is in $build"
        exit 1
    fi
done
echo "fuzzing: no finding"
