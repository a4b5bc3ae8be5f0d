#!/usr/bin/env bash
# Builds Quenlo, lays out the example package as a vendor would ship it (the
# program beside its settings file and firmware files) and starts the wizard.
#
#   scripts/run.sh              the wizard on the example package
#   scripts/run.sh --pictures   no window: save a picture of each page instead
#
# Without a display (no DISPLAY or WAYLAND_DISPLAY) the script says so and
# saves the pictures.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

pictures=0
for arg in "$@"; do
  case "$arg" in
    --pictures) pictures=1 ;;
    -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
    *) echo "run.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target Quenlo

package=$root/out/package
rm -rf "$package"
mkdir -p "$package"
# A copy, not a link: the program finds its package as the folder of its own
# file, links resolved.
cp build/src/Quenlo "$package/Quenlo"
cp examples/package/* "$package/"
echo "run.sh: package laid out in $package"

if [ $pictures -eq 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display found; saving a picture of each page instead of showing the window"
  pictures=1
fi

if [ $pictures -eq 1 ]; then
  shots=$root/out/pictures
  rm -rf "$shots"
  mkdir -p "$shots"
  QT_QPA_PLATFORM=offscreen QUENLO_PICTURES=$shots "$package/Quenlo"
  echo "run.sh: pictures of the pages are in $shots:"
  ls -1 "$shots"
else
  exec "$package/Quenlo"
fi
