#!/usr/bin/env bash
# Installs the program into a temporary prefix and checks what lands there,
# validates the desktop entry and the AppStream metainfo, builds the .deb and
# checks its dependencies (read from the linked libraries) and its contents.
#   scripts/package.sh [BUILD-DIR]      (default build/, configured if needed)
# The .deb is left in BUILD-DIR/packages/.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target Quenlo -j "$(nproc)"

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "package: FAIL: $*" >&2; exit 1; }

echo "package: installing into $prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
app=org.quenlo.Quenlo
installed=(
  bin/Quenlo
  share/applications/$app.desktop
  share/icons/hicolor/scalable/apps/$app.svg
  share/metainfo/$app.metainfo.xml
  share/man/man1/Quenlo.1
  bin/quenlo-cli
  lib/udev/rules.d/70-quenlo-usb-printers.rules
)
for f in "${installed[@]}"; do
  [ -s "$prefix/$f" ] || fail "cmake --install did not put $f under the prefix"
done
"$prefix/bin/Quenlo" --version | grep -q '^Quenlo ' || fail "the installed program does not tell its version"
"$prefix/bin/Quenlo" --help | grep -q -- '--version' || fail "the installed program has no help"
"$prefix/bin/quenlo-cli" --help | grep -q 'update' || fail "the installed quenlo-cli has no help"
grep -q '^\.TH QUENLO 1' "$prefix/share/man/man1/Quenlo.1" || fail "the manual page has no title line"

desktop-file-validate "$prefix/share/applications/$app.desktop" || fail "desktop entry does not validate"
appstreamcli validate --no-net "$prefix/share/metainfo/$app.metainfo.xml" ||
  fail "metainfo does not validate"
grep -q "<screenshot" "$prefix/share/metainfo/$app.metainfo.xml" || fail "metainfo has no screenshots"
icon=$(sed -n 's/^Icon=//p' "$prefix/share/applications/$app.desktop")
[ "$icon" = "$app" ] || fail "desktop entry names icon $icon"

echo "package: building the .deb"
rm -rf "$build/packages"
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/packages/*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "cpack made no .deb"

info=$(dpkg-deb --info "$deb")
echo "$info" | sed -n 's/^ //p' | grep -E '^(Package|Version|Architecture|Depends):'
depends=$(echo "$info" | sed -n 's/^ Depends: //p')
[ -n "$depends" ] || fail "the .deb lists no dependencies"
for lib in libqt6widgets6 libqt6svg6 libusb-1.0-0 libplist libudev1 libc6; do
  echo "$depends" | grep -q "$lib" || fail "the .deb does not depend on $lib"
done

contents=$(dpkg-deb --contents "$deb")
for f in "${installed[@]}"; do
  echo "$contents" | grep -q "\./usr/$f\$" || fail "the .deb does not hold /usr/$f"
done

# Every dependency can be met from Debian's archive (resolved, not installed).
if apt-get install --simulate --no-install-recommends "$PWD/$deb" >"$prefix/apt.log" 2>&1; then
  echo "package: apt can install $(basename "$deb")"
else
  tail -n 20 "$prefix/apt.log" >&2
  fail "apt cannot resolve the .deb's dependencies"
fi
echo "package: $deb passed"
