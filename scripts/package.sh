#!/usr/bin/env bash
# Builds the .deb as Debian builds its own packages and checks it:
#   scripts/package.sh [BUILD-DIR]      (default build/)
# The package is built in BUILD-DIR/deb/, a build folder of its own, with
# the compiler and linker flags that dpkg-buildflags gives (hardening: fortify,
# stack protector, relro, bindnow, PIE; warnings stay errors), and only what
# it installs is built there. Then the files are installed into a temporary
# prefix and checked, the desktop entry and the AppStream metainfo are
# validated, the .deb is built and its dependencies (read from the linked
# libraries) and contents checked, and lintian (pedantic) must find nothing
# to say about it. The .deb is left in BUILD-DIR/packages/.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
debbuild=$build/deb
fail() { echo "package: FAIL: $*" >&2; exit 1; }

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
flags() { dpkg-buildflags --get "$1"; }
cppflags=$(flags CPPFLAGS)
ldflags=$(flags LDFLAGS)
echo "package: building in $debbuild with dpkg-buildflags' flags"
cmake -S . -B "$debbuild" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_C_FLAGS="$(flags CFLAGS) $cppflags" -DCMAKE_CXX_FLAGS="$(flags CXXFLAGS) $cppflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" \
  -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" -DCMAKE_STRIP="$PWD/packaging/debian/strip" >/dev/null
cmake --build "$debbuild" --target quenlo-installed -j "$(nproc)"

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

echo "package: installing into $prefix"
cmake --install "$debbuild" --prefix "$prefix" >/dev/null
app=org.quenlo.Quenlo
installed=(
  bin/Quenlo
  bin/quenlo-cli
  share/applications/$app.desktop
  share/icons/hicolor/scalable/apps/$app.svg
  share/metainfo/$app.metainfo.xml
  share/man/man1/Quenlo.1.gz
  share/man/man1/quenlo-cli.1.gz
  share/doc/quenlo/copyright
  share/doc/quenlo/changelog.gz
  lib/udev/rules.d/70-quenlo-usb-printers.rules
)
for f in "${installed[@]}"; do
  [ -s "$prefix/$f" ] || fail "cmake --install did not put $f under the prefix"
done
"$prefix/bin/Quenlo" --version | grep -q '^Quenlo ' || fail "the installed program does not tell its version"
"$prefix/bin/Quenlo" --help | grep -q -- '--package' || fail "the installed program has no help"
"$prefix/bin/quenlo-cli" --help | grep -q 'update' || fail "the installed quenlo-cli has no help"
for page in Quenlo quenlo-cli; do
  zcat "$prefix/share/man/man1/$page.1.gz" | grep -q '^\.TH ' || fail "the manual page $page.1 has no title line"
done
zcat "$prefix/share/man/man1/Quenlo.1.gz" | grep -q '^\.I /usr/lib/udev/rules.d/70-quenlo-usb-printers.rules' ||
  fail "the manual page does not name the udev rule where the package installs it"

desktop-file-validate "$prefix/share/applications/$app.desktop" || fail "desktop entry does not validate"
appstreamcli validate --no-net "$prefix/share/metainfo/$app.metainfo.xml" ||
  fail "metainfo does not validate"
grep -q "<screenshot" "$prefix/share/metainfo/$app.metainfo.xml" || fail "metainfo has no screenshots"
icon=$(sed -n 's/^Icon=//p' "$prefix/share/applications/$app.desktop")
[ "$icon" = "$app" ] || fail "desktop entry names icon $icon"

echo "package: building the .deb"
rm -rf "$debbuild/packages" "$build/packages"
(cd "$debbuild" && cpack -G DEB >/dev/null)
deb=$(ls "$debbuild"/packages/*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "cpack made no .deb"
mkdir -p "$build/packages"
mv "$deb" "$build/packages/"
deb=$build/packages/$(basename "$deb")

info=$(dpkg-deb --info "$deb")
echo "$info" | sed -n 's/^ //p' | grep -E '^(Package|Version|Architecture|Depends|Homepage):'
depends=$(echo "$info" | sed -n 's/^ Depends: //p')
[ -n "$depends" ] || fail "the .deb lists no dependencies"
for lib in libqt6widgets6 libqt6svg6 libusb-1.0-0 libplist libudev1 libc6; do
  echo "$depends" | grep -q "$lib" || fail "the .deb does not depend on $lib"
done

contents=$(dpkg-deb --contents "$deb")
for f in "${installed[@]}"; do
  echo "$contents" | grep -q "\./usr/$f\$" || fail "the .deb does not hold /usr/$f"
done

# Debian's policy checks, every level shown: an error or a warning fails, and
# so does any hardening the programs lack.
lintian --pedantic --display-info --display-experimental --fail-on error,warning "$deb" \
  >"$prefix/lintian.log" 2>&1 || { cat "$prefix/lintian.log" >&2; fail "lintian rejects the .deb"; }
grep -v '^running with root privileges' "$prefix/lintian.log" | sed 's/^/package: lintian: /' || true
if grep -q 'hardening-' "$prefix/lintian.log"; then
  fail "the programs lack hardening that dpkg-buildflags asks for"
fi

# Every dependency can be met from Debian's archive (resolved, not installed).
if apt-get install --simulate --no-install-recommends "$PWD/$deb" >"$prefix/apt.log" 2>&1; then
  echo "package: apt can install $(basename "$deb")"
else
  tail -n 20 "$prefix/apt.log" >&2
  fail "apt cannot resolve the .deb's dependencies"
fi
echo "package: $deb passed"
