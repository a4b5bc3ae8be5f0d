#!/usr/bin/env bash
# Builds Quenlo, lays out the example package as a vendor would ship it (the
# program beside its settings file and firmware files) and starts the wizard
# with virtual printers of the example model: three network printers (and one
# of another model) in a private network, and one USB printer.
#
#   scripts/run.sh              the wizard, with the virtual printers
#   scripts/run.sh --pictures   no window: walk the network road and then the
#                               USB road by script, saving a picture of every
#                               page and of the final message
#
# Without a display (no DISPLAY or WAYLAND_DISPLAY) the script says so and
# takes the pictures. What the virtual printers received is kept in
# out/printers/<name>/conn-N.bin (network, one file per connection) and
# out/usb-printer/received.bin (USB); pictures go to out/pictures/.
# The network printers need root (network namespaces); without it the wizard
# runs in an empty private network and finds no network printer.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# Updates of the virtual printers stay out of the user's own update history.
export XDG_STATE_HOME=$root/out/state

pictures=0
for arg in "$@"; do
  case "$arg" in
    --pictures) pictures=1 ;;
    -h|--help) sed -n '2,18p' "$0"; exit 0 ;;
    *) echo "run.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target Quenlo quenlo-demo quenlo-usb-printer

package=$root/out/package
rm -rf "$package"
mkdir -p "$package"
# Copies, not links: the program finds its package as the folder of its own
# file, links resolved.
cp build/src/Quenlo build/tools/demo/quenlo-demo "$package/"
cp examples/package/* "$package/"
echo "run.sh: package laid out in $package"

if [ $pictures -eq 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display found; walking the roads by script and saving pictures instead"
  pictures=1
fi

if [ $pictures -eq 0 ]; then
  exec bash scripts/demo/network.sh -- bash scripts/demo/usb.sh -- "$package/Quenlo"
fi

shots=$root/out/pictures
rm -rf "$shots"
export QT_QPA_PLATFORM=offscreen
status=0
bash scripts/demo/network.sh -- "$package/quenlo-demo" --road network "$shots/network" || status=1
bash scripts/demo/usb.sh -- "$package/quenlo-demo" --road usb "$shots/usb" || status=1
echo "run.sh: pictures of every step are in $shots:"
(cd "$shots" && find . -name '*.png' | sort | sed 's#^\./#  #')
echo "run.sh: what the virtual printers received: $root/out/printers/ and $root/out/usb-printer/"
exit $status
