#!/usr/bin/env bash
# Runs one window test program under Wine, its report written to REPORT (its own output is
# lost under Wine once its window system is up). Now and then Wine ends a program before it
# begins: a failure within milliseconds, with no output and no report (seen once in CI, after
# four window tests had passed). Such a start is said and tried once more; a test that began
# and failed is never run again.
#   wine-test.sh PROGRAM.exe REPORT
set -u
exe=$1 report=$2
for try in 1 2; do
    rm -f "$report"
    wine "$exe" -o "$report,txt"
    rc=$?
    if [ "$rc" -eq 0 ] || [ -e "$report" ] || [ "$try" -eq 2 ]; then
        exit "$rc"
    fi
    echo "wine-test: $(basename "$exe") ended with $rc before it began (no report); starting it again" >&2
done
