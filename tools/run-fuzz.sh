#!/bin/sh
# Runs every fuzz target of a libFuzzer build for a set time, one after the
# other, starting from its seed corpus in tests/fuzz/corpus/<target>/.
#   tools/run-fuzz.sh [build dir] [seconds per target] [target ...]
# New inputs the fuzzer finds go to <build dir>/fuzz-corpus/<target>/ (the
# seeds in the tree are only read); crashes, broken rules and hangs are
# written to <build dir>/fuzz-findings/<target>/. Prints executions, corpus
# size and findings per target; fails when any target found something.
set -eu

build=$(cd "${1:-build/fuzz}" && pwd)
seconds=${2:-60}
shift 2 2>/dev/null || shift $#
src=$(cd "$(dirname "$0")/.." && pwd)
targets=${*:-$(ls "$src/tests/fuzz/corpus")}

status=0
printf '%-20s %12s %8s %9s\n' target executions corpus findings
for t in $targets; do
    exe="$build/tests/fuzz/fuzz_$t"
    if [ ! -x "$exe" ]; then
        echo "$t: $exe not built" >&2
        status=1
        continue
    fi
    work="$build/fuzz-corpus/$t"
    findings="$build/fuzz-findings/$t"
    log="$build/fuzz-logs/$t.log"
    mkdir -p "$work" "$findings" "$(dirname "$log")"
    # -timeout: an input that takes 10 s is a hang, recorded like a crash.
    "$exe" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$findings/" "$work" "$src/tests/fuzz/corpus/$t" >"$log" 2>&1 || true
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    found=$(ls "$findings" | wc -l)
    size=$(ls "$work" | wc -l)
    printf '%-20s %12s %8s %9s\n' "$t" "${runs:-?}" "$size" "$found"
    if [ "$found" -ne 0 ] || [ -z "$runs" ]; then
        echo "  see $log and $findings/" >&2
        status=1
    fi
done
exit $status
