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
mkdir -p "$package" "$work/metrics"
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
check "list --json matches its schema" matches_schema list "$work/list.json"

emulated 0x0310 --record "$work/received.bin" -- \
  "$cli" --package "$package" update --usb --report "$work/report.json" \
  --metrics "$work/metrics/quenlo.prom" > "$work/out.txt"
check "update --usb exits 0" [ $? = 0 ]
{ cat "$package/a.bin"; printf '\xaa\x55\x55\xaa'; cat "$package/b.bin"; printf '\x00\x00\x00\x00'; } > "$work/expected.bin"
# Before the package, the vendor commands that read the printer's name and
# version went down the same pipe.
check "the printer received file, separator, file, end marker" \
  cmp -s <(tail -c 25008 "$work/received.bin") "$work/expected.bin"
check "the report says completed with every byte" [ "$(json_field "$work/report.json" \
  '[(p["outcome"], p["bytes_sent"]) for p in r["printers"]]')" = "[('completed', 25008)]" ]
check "the report matches its schema" matches_schema update-report "$work/report.json"
check "the schema refuses an unknown outcome" \
  breaks_schema update-report "$work/report.json" 'r["printers"][0]["outcome"]="done"'
check "the schema refuses a report without its format" \
  breaks_schema update-report "$work/report.json" 'del r["format"]'
check "the report names its format, program, version, host and package" [ "$(json_field "$work/report.json" \
  '(r["format"], r["program"] + " " + r["program_version"], r["host"], r["package"]["path"])')" = \
  "(1, '$("$cli" --version)', '$(hostname)', '$(realpath "$package")')" ]
check "the metrics parse" metrics_parse "$work/metrics/quenlo.prom"
check "the metrics count one completed printer and its bytes" \
  [ "$(metric "$work/metrics/quenlo.prom" quenlo_update_printers 'outcome="completed"') $(metric "$work/metrics/quenlo.prom" quenlo_update_sent_bytes)" = "1 25008" ]
check "the metrics file lies alone in its folder" [ "$(ls -A "$work/metrics")" = quenlo.prom ]
"$cli" history --json > "$work/history.json"
check "history --json of real entries matches its schema" matches_schema history "$work/history.json"
check "the schema refuses an entry without its time" \
  breaks_schema history "$work/history.json" 'del r["history"][0]["time"]'

emulated 0x0999 -- "$cli" --package "$package" update --usb --report "$work/none.json" \
  --metrics "$work/metrics/quenlo.prom" > "$work/out.txt"
check "no printer of the model: exit 1" [ $? = 1 ]
check "and the report says unreachable" [ "$(json_field "$work/none.json" \
  '[p["outcome"] for p in r["printers"]]')" = "['unreachable']" ]
check "which matches the schema too" matches_schema update-report "$work/none.json"
check "and the metrics, replaced, say so" [ "$(metric "$work/metrics/quenlo.prom" quenlo_update_printers \
  'outcome="unreachable"') $(metric "$work/metrics/quenlo.prom" quenlo_update_sent_bytes)" = "1 0" ]
[ $failures = 0 ] || { cat "$work/out.txt"; exit 1; }
