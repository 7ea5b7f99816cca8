#!/usr/bin/env bash
# Runs the test suite again and again, to show that it passes every time, also on a busy
# machine. Each run is the README's `make test` (or the sanitizer leg's AddressSanitizer
# run); a summary at the end gives the runs, the failed runs and each failed test.
#
#   tools/soak-tests.sh [-n RUNS] [--load] [--asan] [--fresh] [--log FILE]
#     -n RUNS   how many runs (default 10)
#     --load    keep both cores busy meanwhile with `stress-ng --cpu 2` (Debian's stress-ng)
#     --asan    run the AddressSanitizer leg (.ci/sanitize asan) instead of `make test`
#     --fresh   run in a fresh clone of this checkout's HEAD, in a temp folder, as CI does
#     --log F   keep every run's output in F (default: a temp file, named at the end)
# Exits 0 when every run passed.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=10 load= asan= fresh= log=
while [ $# -gt 0 ]; do
    case $1 in
    -n) runs=$2; shift ;;
    --load) load=1 ;;
    --asan) asan=1 ;;
    --fresh) fresh=1 ;;
    --log) log=$2; shift ;;
    *) echo "usage: $0 [-n RUNS] [--load] [--asan] [--fresh] [--log FILE]" >&2; exit 2 ;;
    esac
    shift
done
[ -n "$log" ] || log=$(mktemp /tmp/quorvel-soak.XXXXXX.log)
: >"$log"

stress=
clone=
cleanup() {
    [ -z "$stress" ] || { kill "$stress" 2>/dev/null || true; wait "$stress" 2>/dev/null || true; }
    [ -z "$clone" ] || rm -rf "$clone"
}
trap cleanup EXIT

if [ -n "$fresh" ]; then
    clone=$(mktemp -d /tmp/quorvel-soak.XXXXXX)
    git clone -q "$PWD" "$clone/src"
    cd "$clone/src"
fi
if [ -n "$load" ]; then
    if ! command -v stress-ng >/dev/null; then
        apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq stress-ng >/dev/null
    fi
    stress-ng --cpu 2 --quiet >/dev/null 2>&1 &
    stress=$!
fi

failedRuns=0
failures=()
for i in $(seq "$runs"); do
    start=$SECONDS
    echo "=== run $i of $runs" >>"$log"
    status=0
    if [ -n "$asan" ]; then
        bash .ci/sanitize asan >>"$log" 2>&1 || status=$?
    else
        make test >>"$log" 2>&1 || status=$?
    fi
    # CTest names each failed test on a line of its own after "The following tests FAILED:".
    failed=$(sed -n '/^=== run '"$i"' of/,$p' "$log" | sed -n '/The following tests FAILED:/,/^[^[:space:]]/p' |
        grep -E '^[[:space:]]+[0-9]+ - ' | sed -E 's/^[[:space:]]+[0-9]+ - //' || true)
    if [ "$status" -ne 0 ]; then
        failedRuns=$((failedRuns + 1))
        [ -n "$failed" ] || failed="(the run failed before its tests: exit $status)"
        while read -r f; do failures+=("run $i: $f"); done <<<"$failed"
    fi
    echo "run $i: $([ "$status" -eq 0 ] && echo passed || echo "FAILED ($status)") in $((SECONDS - start)) s"
done

echo "soak: $runs runs$([ -n "$load" ] && echo ' under stress-ng --cpu 2')$([ -n "$asan" ] && echo ', AddressSanitizer'), $failedRuns failed"
for f in "${failures[@]+"${failures[@]}"}"; do echo "  $f"; done
echo "soak: the runs' output is in $log"
[ "$failedRuns" -eq 0 ]
