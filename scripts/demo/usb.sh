#!/usr/bin/env bash
# Runs a command (the wizard, or the scripted demo driver) with a virtual USB
# printer of the example model attached.
#
#   scripts/demo/usb.sh [--build DIR] [--out DIR] [--timeout SECONDS] -- COMMAND [ARG...]
#
# The printer is the emulated one (tools/usb-printer), in a process of its
# own: vendor and product ID 0x5A5A/0x0310 as in the example package, serial
# number QX310-U0001, name QX310-Desk, firmware V1.02, status Ready. The
# command runs under umockdev's preload, so its libusb sees this printer and
# nothing else of the computer's USB; no root and no real USB is needed.
#
# Everything the printer's out-pipe received is kept in
# DIR/usb-printer/received.bin: the list's two vendor commands (10 bytes each)
# for every refresh, then each firmware file followed by its four-byte
# marker. Without --out, DIR is a new run folder out/runs/<time>/ and
# out/usb-printer points at its record (scripts/demo/runs.sh). The printer
# program is built in the build folder (default build/) when it is not there
# yet. The command's exit status is passed on; it is ended after the time-out
# (default one hour).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/demo/runs.sh"
build=$root/build
out=""
limit=3600
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --timeout) limit=$2; shift 2 ;;
    --) shift; break ;;
    -h|--help) sed -n '2,19p' "$0"; exit 0 ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "usb.sh: no command given (see --help)" >&2; exit 2; }
own_run=0
if [ -z "$out" ]; then
  out=$(demo_new_run) || { echo "usb.sh: cannot make a run folder in out/runs" >&2; exit 1; }
  own_run=1
fi
case "$limit" in ''|*[!0-9]*) echo "usb.sh: --timeout takes whole seconds" >&2; exit 2 ;; esac

printer=$build/tools/usb-printer/quenlo-usb-printer
if [ ! -x "$printer" ]; then
  echo "usb.sh: building the virtual USB printer in $build" >&2
  cmake --build "$build" --target quenlo-usb-printer >/dev/null || {
    echo "usb.sh: cannot build quenlo-usb-printer (configure $build first)" >&2
    exit 1
  }
fi

kept=$out/usb-printer
rm -rf "$kept"
mkdir -p "$kept"
echo "usb.sh: attaching a virtual USB printer of the example model (QX310-Desk)" >&2
# timeout ends the printer and the command together (one process group).
timeout --kill-after=10 "$limit" "$printer" \
  --vid 0x5A5A --pid 0x0310 --serial QX310-U0001 --name QX310-Desk --firmware V1.02 \
  --device-id "MFG:Demo;MDL:QX-310;CMD:PCL;CLS:PRINTER;SERN:QX310-U0001;DES:QX310-Desk;" \
  --status 0 --record "$kept/received.bin" --record-count -- "$@"
status=$?
[ $status -eq 124 ] && echo "usb.sh: ended after $limit seconds" >&2
bytes=$(stat -c %s "$kept/received.bin" 2>/dev/null || echo 0)
echo "usb.sh: the printer received $bytes byte(s) -> $kept/received.bin" >&2
[ $own_run -eq 0 ] || demo_point_latest "$out"
exit $status
