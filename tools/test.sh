#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs every test, then prints how long each phase took.
#
#   tools/test.sh                      the normal build, then the address/undefined-behaviour and the
#                                      thread sanitizer builds, then the fuzz harnesses built with clang
#                                      and run for a few seconds each
#   tools/test.sh --quick              the normal build only
#   tools/test.sh --sanitize=thread    one sanitizer build only (address,undefined | thread)
#
# The normal build treats compiler warnings as errors. The sanitizer builds leave out the benchmarks, which
# are measured on the normal build only.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)
phases=()

# Runs a command as a named phase and records its time, also when it fails.
phase() {
    local name=$1 start status=0
    shift
    start=$(date +%s)
    "$@" || status=$?
    phases+=("$(printf '%-40s %5d s%s' "$name" $(($(date +%s) - start)) "$([ $status -eq 0 ] || echo "  (failed: $status)")")")
    return $status
}

report() {
    local status=$?
    echo
    echo "== Time of each phase"
    printf '%s\n' "${phases[@]}"
    printf '%-40s %5d s\n' "all" $(($(date +%s) - began))
    exit $status
}

run_suite() {
    local dir=$1 sanitize=$2
    local options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLORIN_SANITIZE="$sanitize")
    if [ -z "$sanitize" ]; then
        options+=(-DVELLORIN_WERROR=ON -DVELLORIN_BUILD_BENCH=ON)
    else
        options+=(-DVELLORIN_WERROR=OFF -DVELLORIN_BUILD_BENCH=OFF)
    fi
    local label=${sanitize:-normal}
    phase "configure ($label)" cmake -S . -B "$dir" -G Ninja "${options[@]}"
    phase "build ($label)" cmake --build "$dir" -j "$jobs"
    phase "tests ($label)" ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

began=$(date +%s)
trap report EXIT

case "${1:-}" in
    --quick | --sanitize=* | "") ;;
    --help | -h)
        trap - EXIT
        sed -n '2,/^set -euo/{/^#/s/^# \{0,1\}//p}' "$0"
        exit 0
        ;;
    *)
        echo "usage: $0 [--quick | --sanitize=address,undefined | --sanitize=thread]" >&2
        trap - EXIT
        exit 2
        ;;
esac

phase "install dependencies" tools/install-deps.sh

case "${1:-}" in
    --quick)
        run_suite build ""
        ;;
    --sanitize=*)
        s=${1#--sanitize=}
        run_suite "build-${s//,/-}" "$s"
        ;;
    "")
        run_suite build ""
        run_suite build-address-undefined "address,undefined"
        run_suite build-thread "thread"
        # Built and run briefly, so that the clang build of the harnesses cannot rot unseen.
        phase "fuzz harnesses (clang)" tools/fuzz.sh 5
        ;;
esac
