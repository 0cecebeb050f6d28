#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs every test.
#
#   tools/test.sh                      the normal build, then the address/undefined-behaviour and the
#                                      thread sanitizer builds
#   tools/test.sh --quick              the normal build only
#   tools/test.sh --sanitize=thread    one sanitizer build only (address,undefined | thread)
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)

run_suite() {
    local dir=$1 sanitize=$2
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLORIN_SANITIZE="$sanitize"
    cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

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
        ;;
    *)
        echo "usage: $0 [--quick | --sanitize=address,undefined | --sanitize=thread]" >&2
        exit 2
        ;;
esac
