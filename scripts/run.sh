#!/usr/bin/env bash
# Builds Quenlo, lays out the example package as a vendor would ship it (the
# program beside its settings file and firmware files) and starts the wizard
# with virtual printers of the example model: three network printers (and one
# of another model) in a private network, and one USB printer.
#
#   scripts/run.sh              the wizard, with the virtual printers
#   scripts/run.sh --pictures   no window: walk the network road and then the
#                               USB road by script, saving a picture of every
#                               page and of the final message, and the printer
#                               page in German and French
#
# Without a display (no DISPLAY or WAYLAND_DISPLAY) the script says so and
# takes the pictures. The terminal gets this script's own lines only: what
# the programs write (their diagnostic lines, the virtual printers') goes to
# out/logs/<time>/. Every run keeps what its printers received, and its
# pictures, in a folder of its own, out/runs/<time>/: printers/<name>/conn-N.bin
# (network, one file per connection), usb-printer/received.bin (USB) and
# pictures/; out/printers, out/usb-printer and out/pictures point into the
# latest run. The network printers need root (network namespaces); without
# it the wizard runs in an empty private network and finds no network
# printer.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
. scripts/demo/runs.sh

# Updates of the virtual printers stay out of the user's own update history.
export XDG_STATE_HOME=$root/out/state

pictures=0
for arg in "$@"; do
  case "$arg" in
    --pictures) pictures=1 ;;
    -h|--help) sed -n '2,22p' "$0"; exit 0 ;;
    *) echo "run.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

run=$(demo_new_run) || { echo "run.sh: cannot make a run folder in out/runs" >&2; exit 1; }
logs=$root/out/logs/$(basename "$run")
mkdir -p "$logs"
say() { echo "run.sh: $*"; }
# Runs a step with its output in a log; on failure shows the log's end.
logged() {
  local log=$1
  shift
  if ! "$@" >>"$log" 2>&1; then
    say "failed: $* (the end of ${log#$root/} follows)"
    tail -n 30 "$log" | sed 's/^/  | /'
    return 1
  fi
}

say "checking the Debian packages the demo needs"
logged "$logs/setup.log" bash scripts/setup.sh
say "building (log: ${logs#$root/}/build.log)"
logged "$logs/build.log" cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
logged "$logs/build.log" cmake --build build -j "$(nproc)" --target Quenlo quenlo-demo quenlo-usb-printer

package=$root/out/package
rm -rf "$package"
mkdir -p "$package"
# Copies, not links: the program finds its package as the folder of its own
# file, links resolved.
cp build/src/Quenlo build/tools/demo/quenlo-demo "$package/"
cp examples/package/* "$package/"
say "package laid out in ${package#$root/}/"

if [ $pictures -eq 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  say "no display found; walking the roads by script and saving pictures instead"
  pictures=1
fi

# What the run's printers received, in a few lines.
summary() {
  local dir name count bytes
  if [ -d "$run/printers" ]; then
    for dir in "$run"/printers/*/; do
      [ -d "$dir" ] || continue
      name=$(basename "$dir")
      count=$(find "$dir" -name 'conn-*.bin' | wc -l)
      bytes=0
      [ "$count" -eq 0 ] || bytes=$(cat "$dir"/conn-*.bin | wc -c)
      say "  $name received $count connection(s), $bytes byte(s)"
    done
  else
    say "  no network printers ran (they need root for network namespaces: see ${logs#$root/}/)"
  fi
  if [ -f "$run/usb-printer/received.bin" ]; then
    say "  QX310-Desk (USB) received $(stat -c %s "$run/usb-printer/received.bin") byte(s)"
  fi
  demo_point_latest "$run"
  say "records: ${run#$root/}/ (out/printers, out/usb-printer and out/pictures point there)"
  say "diagnostic lines: ${logs#$root/}/"
}

if [ $pictures -eq 0 ]; then
  say "the wizard is open with the virtual printers; quit it to end the demo"
  status=0
  bash scripts/demo/network.sh --out "$run" -- \
    bash scripts/demo/usb.sh --out "$run" -- "$package/Quenlo" >"$logs/wizard.log" 2>&1 || status=$?
  say "the wizard ended with status $status"
  summary
  exit $status
fi

shots=$run/pictures
export QT_QPA_PLATFORM=offscreen
status=0
# One private network for the roads: the English one sends the package to
# every printer; the German and French ones only list the printers.
say "network road (English, then the printer page in German and French)"
bash scripts/demo/network.sh --out "$run" -- bash -c '
  status=0
  LANGUAGE=en "$1" --road network "$2/network" || status=1
  LANGUAGE=de "$1" --road printers "$2/network-de" || status=1
  LANGUAGE=fr "$1" --road printers "$2/network-fr" || status=1
  exit $status' roads "$package/quenlo-demo" "$shots" >"$logs/network.log" 2>&1 || status=1
say "USB road"
LANGUAGE=en bash scripts/demo/usb.sh --out "$run" -- "$package/quenlo-demo" --road usb "$shots/usb" \
  >"$logs/usb.log" 2>&1 || status=1
[ $status -eq 0 ] || say "a road did not end as expected (see ${logs#$root/}/)"
count=$(find "$shots" -name '*.png' 2>/dev/null | wc -l)
say "$count picture(s) in ${shots#$root/}/ (network, network-de, network-fr, usb)"
summary
exit $status
