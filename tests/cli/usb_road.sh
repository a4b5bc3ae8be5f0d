#!/usr/bin/env bash
# quenlo-cli against an emulated USB printer of the package's model.
#
#   usb_road.sh QUENLO-CLI QUENLO-USB-PRINTER
#
# Expected bytes are written out literally here.
set -uo pipefail
cli=$1
printer=$2
work=$(mktemp -d /tmp/quenlo-cli-usb.XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME=$work/state

. "$(dirname "$0")/road_lib.sh"

package=$work/package
mkdir -p "$package"
head -c 20000 /dev/urandom > "$package/a.bin"
head -c 5000 /dev/urandom > "$package/b.bin"
make_package "$package" '<key>VID</key><string>0x5A5A</string><key>PID</key><string>0x0310</string>' \
  a.bin b.bin
emulated() { "$printer" --vid 0x5A5A --pid "$1" --serial SN-USB1 --firmware V3.2 --name "Lab USB" "${@:2}"; }

# The emulator adds its own "written:" line to standard output.
emulated 0x0310 -- "$cli" --package "$package" list --usb --json > "$work/list.out"
check "list --usb exits 0" [ $? = 0 ]
grep -v '^written:' "$work/list.out" > "$work/list.json"
check "list --usb shows the printer" [ "$(json_field "$work/list.json" \
  '[(p["address"], p["serial"], p["name"], p["firmware"]) for p in r["printers"]]')" = \
  "[('usb', 'SN-USB1', 'Lab USB', 'V3.2')]" ]

emulated 0x0310 --record "$work/received.bin" -- \
  "$cli" --package "$package" update --usb --report "$work/report.json" > "$work/out.txt"
check "update --usb exits 0" [ $? = 0 ]
{ cat "$package/a.bin"; printf '\xaa\x55\x55\xaa'; cat "$package/b.bin"; printf '\x00\x00\x00\x00'; } > "$work/expected.bin"
# Before the package, the vendor commands that read the printer's name and
# version went down the same pipe.
check "the printer received file, separator, file, end marker" \
  cmp -s <(tail -c 25008 "$work/received.bin") "$work/expected.bin"
check "the report says completed with every byte" [ "$(json_field "$work/report.json" \
  '[(p["outcome"], p["bytes_sent"]) for p in r["printers"]]')" = "[('completed', 25008)]" ]

emulated 0x0999 -- "$cli" --package "$package" update --usb --report "$work/none.json" > "$work/out.txt"
check "no printer of the model: exit 1" [ $? = 1 ]
check "and the report says unreachable" [ "$(json_field "$work/none.json" \
  '[p["outcome"] for p in r["printers"]]')" = "['unreachable']" ]
[ $failures = 0 ] || { cat "$work/out.txt"; exit 1; }
