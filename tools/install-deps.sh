#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Vellorin need.
# Safe to run again: when everything is present it changes nothing and downloads nothing.
set -euo pipefail

packages=(
    # toolchain
    build-essential cmake ninja-build pkg-config git curl
    # server client: HTTP, JSON, TLS
    libcpprest-dev libssl-dev openssl
    # user interface and settings
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-translations-l10n libgl-dev fonts-nanum fonts-nanum-extra
    # the corner brackets ｢ ｣ and the other halfwidth forms, which no Nanum face has, for fontconfig's fallback
    fonts-sawarabi-gothic
    # images
    cimg-dev libpng-dev zlib1g-dev imagemagick
    # local server (Boost.Beast) and the tests' scripted servers
    libboost-dev libcpp-httplib-dev libsqlite3-dev
    # formulas: OpenType MATH through HarfBuzz, and the math font the engine loads by its path
    libharfbuzz-dev fonts-dejavu-extra
    # binary HWP documents: compound files; outside reader of our files in the tests
    libgsf-1-dev python3-olefile
    # the package and its checks: the desktop entry and metainfo validators, a real X server and keystrokes
    dpkg-dev desktop-file-utils appstream xvfb xauth xdotool
    # a session bus on that X server, as every desktop has: the program meets D-Bus in the tests as it will there
    dbus-x11
    # benchmarks
    libbenchmark-dev
    # fuzzing (tools/fuzz.sh): libFuzzer's runtime is only a recommendation of clang
    clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    sudo=sudo
else
    sudo=
fi

echo "Installing: ${missing[*]}"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
