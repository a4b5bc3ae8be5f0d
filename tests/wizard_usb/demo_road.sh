#!/usr/bin/env bash
# The scripted USB road of the demo, end to end: the example package laid out
# in a folder of its own, the driver run under scripts/demo/usb.sh, and the
# virtual printer's received bytes checked against the package's files.
#   demo_road.sh BUILD-DIR QUENLO QUENLO-DEMO
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$1 quenlo=$2 demo=$3
work=$(mktemp -d /tmp/quenlo-usb-demo.XXXXXX)
trap 'rm -rf "$work"' EXIT
# The programs keep their state (the update history) and settings here, never
# in the user's own folders.
export HOME=$work/home XDG_STATE_HOME=$work/state XDG_CONFIG_HOME=$work/config
mkdir -p "$HOME"

# The road is judged by message number, so it passes in German as in English.
for lang in en de; do
  rm -rf "$work/package" "$work/out"
  mkdir -p "$work/package"
  cp "$quenlo" "$demo" "$work/package/"
  cp "$root"/examples/package/* "$work/package/"
  env LANGUAGE=$lang LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen \
    bash "$root/scripts/demo/usb.sh" --build "$build" --out "$work/out" \
    --timeout 90 -- "$work/package/quenlo-demo" --road usb "$work/out/pictures" || {
    echo "demo_road: the scripted road failed ($lang)" >&2
    exit 1
  }
  for page in 1-firmware-files 2-port 3-usb-printer 4-ticked 6-finished message-1; do
    [ -s "$work/out/pictures/$page.png" ] || { echo "demo_road: no picture $page ($lang)" >&2; exit 1; }
  done

  # After the two vendor commands of the list: file 1, separator, file 2, end.
  {
    cat "$work/package/QX310_controller.bin"
    printf '\xAA\x55\x55\xAA'
    cat "$work/package/QX310_engine.bin"
    printf '\x00\x00\x00\x00'
  } >"$work/expected.bin"
  received=$work/out/usb-printer/received.bin
  tail -c +21 "$received" | cmp - "$work/expected.bin" || {
    echo "demo_road: the printer did not receive the package byte for byte ($lang)" >&2
    exit 1
  }
done
echo "demo_road: the printer received the whole package"
