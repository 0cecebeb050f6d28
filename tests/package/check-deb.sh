#!/usr/bin/env bash
# Builds the Debian package of a normal build, checks what it holds and needs, unpacks it into a temporary root
# and runs the unpacked program from there: --version, --help, and the journey on a real X server.
#
#   check-deb.sh BUILD_DIR JOURNEY_TEST
set -euo pipefail
build=$1
journey=$2
version=2.0.0
deb=$build/package/vellorin_${version}_amd64.deb

fail() { echo "check-deb: $*" >&2; exit 1; }

rm -f "$deb"
cpack --config "$build/CPackConfig.cmake" -B "$build/package" >/dev/null || fail "cpack failed"
[ -f "$deb" ] || fail "no $deb"

fields=$(dpkg-deb --field "$deb" Package Version Architecture Section Depends)
echo "$fields"
grep -qx "Package: vellorin" <<<"$fields" || fail "wrong package name"
grep -qx "Version: $version" <<<"$fields" || fail "wrong version"
grep -qx "Architecture: amd64" <<<"$fields" || fail "wrong architecture"
depends=$(sed -n 's/^Depends: //p' <<<"$fields" | tr ',' '\n' | sed 's/^ *//; s/ (.*//')
# What is only loaded at run time, and what the shared-library computation must have found.
for needed in fonts-nanum fonts-nanum-extra fonts-sawarabi-gothic fonts-dejavu-extra qt6-translations-l10n libqt6svg6 ca-certificates \
    libqt6widgets6 libqt6gui6 libcpprest2.10 libpng16-16 libharfbuzz0b libgsf-1-114 libsqlite3-0 libssl3; do
    grep -qx "$needed" <<<"$depends" || fail "Depends lacks $needed"
done

contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
for path in ./usr/bin/vellorin ./usr/bin/vellorin-devserver \
    ./usr/share/applications/com.tarvix.Vellorin.desktop \
    ./usr/share/metainfo/com.tarvix.Vellorin.metainfo.xml \
    ./usr/share/icons/hicolor/scalable/apps/com.tarvix.Vellorin.svg \
    ./usr/share/icons/hicolor/48x48/apps/com.tarvix.Vellorin.png \
    ./usr/share/icons/hicolor/256x256/apps/com.tarvix.Vellorin.png \
    ./usr/share/man/man1/vellorin.1 ./usr/share/doc/vellorin/copyright \
    ./usr/share/vellorin/topics/ts_math1.txt ./usr/share/vellorin/topics/ts_vector.txt; do
    grep -qx "$path" <<<"$contents" || fail "the package lacks $path"
done
# Only what belongs to the program: no static libraries, headers, tests or build tools.
if grep -Ev '^\./usr/(bin/vellorin(-devserver)?|share/(applications|metainfo|icons|man|doc|vellorin)(/.*)?|bin/|share/|)$' \
    <<<"$contents" | grep -v '^\./$'; then
    fail "the package holds files it should not"
fi

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/com.tarvix.Vellorin.desktop" || fail "desktop entry"
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/com.tarvix.Vellorin.metainfo.xml" \
    || fail "metainfo"

# Without a display, a settings folder or a working folder: the answers come before anything starts.
version_line=$(env -u DISPLAY -u WAYLAND_DISPLAY HOME="$root/home" "$root/usr/bin/vellorin" --version)
[ "$version_line" = "vellorin $version" ] || fail "--version said: $version_line"
env -u DISPLAY HOME="$root/home" "$root/usr/bin/vellorin" --help | grep -q VELLORIN_SERVER_URL || fail "--help"
HOME="$root/home" "$root/usr/bin/vellorin-devserver" --help | grep -q -- "--cert" || fail "devserver --help"
[ ! -e "$root/home" ] || fail "--version or --help wrote into the home folder"

size=$(stat -c %s "$deb")
installed=$(dpkg-deb --field "$deb" Installed-Size)
echo "package: $(basename "$deb"), $size bytes; installed size $installed KiB"

VELLORIN_PROGRAM="$root/usr/bin/vellorin" xvfb-run -a -s "-screen 0 1920x1080x24" "$journey"
