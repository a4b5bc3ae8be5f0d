#!/usr/bin/env bash
# Runs a command (the wizard, or the scripted demo driver) inside a private
# network with virtual printers of the example model, then removes the
# network again.
#
#   scripts/demo/network.sh [--out DIR] [--timeout SECONDS] -- COMMAND [ARG...]
#
# The printers (scripts/demo/printers.sh): QX310-Office 198.18.0.21 (V1.02,
# Ready), QX310-Lab 198.18.0.22 (V1.05, Power Saving; answers over IPv6 too,
# so it is listed twice), QX310-Hall 198.18.0.23 (V0.98, Printing), and
# Other-Model 198.18.0.24, which is not of the package's model. Each is an
# snmpd agent with a print-port sink on port 9100. What a printer received is
# kept in DIR/printers/<name>/, one file per connection: conn-1.bin,
# conn-2.bin, ... in the order they were made; each holds one firmware file
# followed by its four-byte marker. Without --out, DIR is a new run folder
# out/runs/<time>/ and out/printers points at its record
# (scripts/demo/runs.sh).
#
# Network namespaces need root. Without it the script uses sudo when it may
# without a password, and otherwise says so and runs the command in an empty
# private network (unshare -rn), where it finds no network printer: the demo
# never searches the computer's own network. The command's exit status is
# passed on.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/demo/runs.sh"
out=""
limit=3600
while [ $# -gt 0 ]; do
  case "$1" in
    --out) out=$2; shift 2 ;;
    --timeout) limit=$2; shift 2 ;;
    --) shift; break ;;
    -h|--help) sed -n '2,22p' "$0"; exit 0 ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "network.sh: no command given (see --help)" >&2; exit 2; }

if [ "$(id -u)" != 0 ]; then
  # The demo never searches the computer's own network: without root it
  # asks sudo, and failing that runs the command in an empty private network.
  if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    echo "network.sh: the virtual printers need network namespaces; using sudo" >&2
    exec sudo -n --preserve-env=DISPLAY,WAYLAND_DISPLAY,XAUTHORITY,XDG_RUNTIME_DIR,QT_QPA_PLATFORM,LANGUAGE,LANG,LC_ALL,LC_MESSAGES,XDG_STATE_HOME \
      bash "$0" --out "$out" --timeout "$limit" -- "$@"
  fi
  echo "network.sh: the virtual printers need root for network namespaces (run with sudo);" >&2
  if unshare -rn true 2>/dev/null; then
    echo "network.sh: starting in an empty private network instead: no network printer will be found" >&2
    exec unshare -rn "$@"
  fi
  echo "network.sh: cannot make a private network here; not starting" >&2
  exit 1
fi

own_run=0
if [ -z "$out" ]; then
  out=$(demo_new_run) || { echo "network.sh: cannot make a run folder in out/runs" >&2; exit 1; }
  own_run=1
fi
kept=$(mktemp -d /tmp/quenlo-demo.XXXXXX)
trap 'rm -rf "$kept"' EXIT
echo "network.sh: starting the virtual printers (scripts/demo/printers.sh)" >&2
"$root/tools/netns/run-in-netns.sh" --topology "$root/scripts/demo/printers.sh" \
  --timeout "$limit" --keep "$kept" -- "$@"
status=$?

rm -rf "$out/printers"
mkdir -p "$out/printers"
for sink in "$kept"/*/sink; do
  [ -d "$sink" ] || continue
  name=$(basename "$(dirname "$sink")")
  mkdir -p "$out/printers/$name"
  cp "$sink"/conn-*.bin "$out/printers/$name/" 2>/dev/null
  count=$(find "$out/printers/$name" -name 'conn-*.bin' | wc -l)
  echo "network.sh: $name received $count connection(s) -> $out/printers/$name/" >&2
done
[ $own_run -eq 0 ] || demo_point_latest "$out"
exit $status
