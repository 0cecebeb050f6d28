#!/usr/bin/env bash
# Takes the README's screenshots again: builds the small picture-taking program (it comes with the tests)
# and runs it without a display, against the local question bank it starts itself, on a 1366 × 768 screen.
#
#   tools/screenshots.sh [build folder]     default: build; the pictures go to docs/screenshots/
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j 2 --target vellorin_screenshots

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p docs/screenshots
env -u VELLORIN_SERVER_URL -u SSL_CERT_FILE \
    QT_QPA_PLATFORM="offscreen:configfile=$PWD/tests/data/screens/laptop.json" QT_SCALE_FACTOR=1 \
    LANG=C.UTF-8 LC_ALL=C.UTF-8 HOME="$home" XDG_CONFIG_HOME="$home/.config" VELLORIN_UNATTENDED=1 \
    "$build/tests/vellorin_screenshots" docs/screenshots
