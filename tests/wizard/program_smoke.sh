#!/usr/bin/env bash
# The program itself on a package folder: without a display it saves a
# picture of each page when asked and otherwise says why it cannot start.
#   program_smoke.sh <path of the built Quenlo>
set -euo pipefail
program=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# The programs keep their state (the update history) and settings here, never
# in the user's own folders.
export HOME=$dir/home XDG_STATE_HOME=$dir/state XDG_CONFIG_HOME=$dir/config
mkdir -p "$HOME"

fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir "$dir/package"
cp "$program" "$dir/package/Quenlo"
head -c 3000 /dev/zero > "$dir/package/a.bin"
cat > "$dir/package/Quenlo.plist" <<'PLIST'
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
  <key>General</key>
  <dict>
    <key>SysOID</key><string>1.3.6.1.4.1.99999.1</string>
    <key>ModelName</key><string>Smoke Model</string>
    <key>WindowsTitle</key><string>Smoke</string>
    <key>FwCount</key><string>1</string>
  </dict>
  <key>Fw0</key><dict><key>FileName</key><string>a.bin</string></dict>
</dict>
</plist>
PLIST

# Started from elsewhere: the package is the program's own folder.
cd /
nodisplay=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
"${nodisplay[@]}" QUENLO_PICTURES="$dir/pictures" "$dir/package/Quenlo" >"$dir/out" 2>&1 ||
  { cat "$dir/out"; fail "pictures run ended with status $?"; }
for page in 1 2 3 4; do
  [ -s "$dir/pictures/page$page.png" ] || fail "no picture of page $page"
done
grep -q "main window shown" "$dir/out" || fail "no start-up time line"

# German pictures work as well.
"${nodisplay[@]}" LANGUAGE=de LANG=de_DE.UTF-8 QUENLO_PICTURES="$dir/de" "$dir/package/Quenlo" \
  >"$dir/out" 2>&1 || fail "German pictures run failed"
[ -s "$dir/de/page4.png" ] || fail "no German picture"

# The installed layout: the program with no settings file beside it opens
# the package given with --package (the folder or its settings file); a
# folder that holds none is refused with status 2.
mkdir "$dir/bin"
cp "$program" "$dir/bin/Quenlo"
for given in "$dir/package" "$dir/package/Quenlo.plist"; do
  rm -rf "$dir/installed"
  "${nodisplay[@]}" QUENLO_PICTURES="$dir/installed" "$dir/bin/Quenlo" --package "$given" \
    >"$dir/out" 2>&1 || { cat "$dir/out"; fail "--package $given ended with status $?"; }
  [ -s "$dir/installed/page1.png" ] || fail "no picture of page 1 with --package $given"
  grep -q "szFileName=$dir/package/a.bin" "$dir/out" || fail "--package $given did not read the package"
done
status=0
"${nodisplay[@]}" QUENLO_PICTURES="$dir/x" "$dir/bin/Quenlo" --package "$dir/bin" \
  >"$dir/out" 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "a folder without a package ended with $status, not 2"
grep -q "holds no update package" "$dir/out" || fail "a folder without a package is not named"

# --help and --version answer without a display; Qt's own options pass on;
# an argument nobody knows is refused.
"${nodisplay[@]}" "$dir/package/Quenlo" --version | grep -q '^Quenlo [0-9]' || fail "no version"
"${nodisplay[@]}" "$dir/package/Quenlo" --help | grep -q -- '--version' || fail "no help"
"${nodisplay[@]}" QUENLO_PICTURES="$dir/styled" "$dir/package/Quenlo" -style Fusion \
  >"$dir/out" 2>&1 || { cat "$dir/out"; fail "Qt's -style option was not taken"; }
[ -s "$dir/styled/page1.png" ] || fail "no picture with -style Fusion"
status=0
"${nodisplay[@]}" QUENLO_PICTURES="$dir/x" "$dir/package/Quenlo" --no-such-option \
  >"$dir/out" 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "an unknown argument ended with $status, not 2"
grep -q 'unknown argument' "$dir/out" || fail "an unknown argument is not named"

status=0
"${nodisplay[@]}" "$dir/package/Quenlo" >"$dir/out" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "without a display the program ended with $status, not 1"
grep -q "no display" "$dir/out" || fail "without a display the program does not say so"
echo "program smoke test passed"
