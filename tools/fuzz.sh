#!/usr/bin/env bash
# Fuzzes every harness of tests/fuzz (or the ones named) with libFuzzer for SECONDS each (default 60), one
# after another, in the clang build build-fuzz/, and prints what each did. Exits non-zero when any crashed.
#
#   tools/fuzz.sh [SECONDS [HARNESS...]]
#
# Each harness runs on its own working copy of its corpus, build-fuzz/fuzz-work/<harness>/corpus, seeded from
# tests/fuzz/corpus/<harness> and kept between runs, so the repository's corpus is never flooded. A crashing
# input lands in build-fuzz/fuzz-work/<harness>/artifacts/; once the fault is fixed, copy the input into
# tests/fuzz/corpus/<harness>/ so that the replay tests keep checking it.
set -euo pipefail
if [ "${1:-}" = --help ] || [ "${1:-}" = -h ]; then
    sed -n '2,/^set -euo/{/^#/s/^# \{0,1\}//p}' "$0"
    exit 0
fi
cd "$(dirname "$0")/.."

seconds=${1:-60}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [SECONDS [HARNESS...]]" >&2
    exit 2
fi
shift $(($# > 0 ? 1 : 0))

tools/install-deps.sh

harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
    for dir in tests/fuzz/corpus/*/; do
        harnesses+=("$(basename "$dir")")
    done
fi
for h in "${harnesses[@]}"; do
    if [ ! -d "tests/fuzz/corpus/$h" ]; then
        echo "no harness $h (no folder tests/fuzz/corpus/$h)" >&2
        exit 2
    fi
done
targets=("${harnesses[@]/#/fuzz_}")

build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLORIN_FUZZ=ON \
    -DVELLORIN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}"

export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tools/lsan-fuzz.supp:print_suppressions=0

# Harnesses whose leak suppressions name a library function, which the fast unwinder does not see through
# libraries built without frame pointers (tools/lsan-fuzz.supp says which).
full_stacks=" hwp "

rows=()
crashed=0
for h in "${harnesses[@]}"; do
    work=$build/fuzz-work/$h
    mkdir -p "$work/corpus"
    rm -rf "$work/artifacts"
    mkdir -p "$work/artifacts"
    cp -n tests/fuzz/corpus/"$h"/* "$work/corpus/"
    options=(-max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048
        -artifact_prefix="$work/artifacts/")
    if [ -f "tests/fuzz/$h.dict" ]; then
        options+=(-dict="tests/fuzz/$h.dict")
    fi
    echo "fuzzing $h for ${seconds}s"
    status=0
    asan=${ASAN_OPTIONS:-}
    if [[ $full_stacks == *" $h "* ]]; then
        asan=${asan:+$asan:}fast_unwind_on_malloc=0
    fi
    ASAN_OPTIONS=$asan "$build/tests/fuzz/fuzz_$h" "${options[@]}" "$work/corpus" >"$work/log" 2>&1 || status=$?

    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log" | tail -1)
    cov=$(grep -o ' cov: [0-9]*' "$work/log" | tail -1 | tr -dc '0-9')
    ft=$(grep -o ' ft: [0-9]*' "$work/log" | tail -1 | tr -dc '0-9')
    # Crashes, sanitizer reports, time-outs, memory limits and leaks; not slow units.
    crashes=$(find "$work/artifacts" -type f \( -name 'crash-*' -o -name 'timeout-*' -o -name 'oom-*' -o -name 'leak-*' \) |
        wc -l)
    if [ "$crashes" -gt 0 ] || [ "$status" -ne 0 ]; then
        crashed=1
    fi
    # A fuzzer that died in its own crash handler leaves no input behind, only its exit status.
    if [ "$crashes" -eq 0 ] && [ "$status" -ne 0 ]; then
        crashes="died($status)"
    fi
    rows+=("$(printf '%-10s %12s %8s %7s %7s %8s' "$h" "${execs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" "$crashes")")
done

echo
printf '%-10s %12s %8s %7s %7s %8s\n' harness executions exec/s cov ft crashes
printf '%s\n' "${rows[@]}"
if [ "$crashed" -ne 0 ]; then
    echo
    echo "Crashing inputs (see $build/fuzz-work/<harness>/log for each harness):"
    for h in "${harnesses[@]}"; do
        find "$build/fuzz-work/$h/artifacts" -type f
    done
    exit 1
fi
