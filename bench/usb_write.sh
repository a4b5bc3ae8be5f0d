#!/usr/bin/env bash
# Time and peak memory of writing a 64 MiB file to the emulated USB printer
# with one Dev_Write (one transfer of the whole file).
#   bench/usb_write.sh [build-dir] [size-MiB]
# The writer runs under the emulator program; the emulator records what
# arrives into a file, which is compared with the source byte for byte.
# Target: peak memory of the writing process <= file size + 32 MiB.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
mib=${2:-64}
emulator=$build/tools/usb-printer/quenlo-usb-printer
bench=$build/bench/usb_write_bench
for f in "$emulator" "$bench"; do
  [ -x "$f" ] || { echo "missing $f: build first (cmake --build $build)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/quenlo-usb-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
# The programs keep their state (the update history) and settings here, never
# in the user's own folders.
export HOME=$work/home XDG_STATE_HOME=$work/state XDG_CONFIG_HOME=$work/config
mkdir -p "$HOME"
head -c $((mib * 1048576)) /dev/urandom > "$work/firmware.bin"

run() { # $1: extra emulator options
  timeout 300 "$emulator" --vid 0x5A5A --pid 0x0310 --record-count --record "$work/received.bin" $1 \
    -- /usr/bin/time -v "$bench" "$work/firmware.bin" 0x5A5A 0x0310 \
    > "$work/out.txt" 2> "$work/err.txt"
  local line peak_kib size_kib limit_kib
  line=$(grep '^bench:' "$work/out.txt")
  peak_kib=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/err.txt")
  size_kib=$((mib * 1024))
  limit_kib=$((size_kib + 32 * 1024))
  local same=yes within=within
  cmp -s "$work/firmware.bin" "$work/received.bin" || { same=NO; status=1; }
  [ "$peak_kib" -le "$limit_kib" ] || { within=EXCEEDED; status=1; }
  echo "$2: $line"
  echo "$2: emulator $(grep '^written:' "$work/out.txt")"
  echo "$2: peak RSS ${peak_kib} KiB (time -v), limit ${limit_kib} KiB (file + 32 MiB):" \
       "$within; received identical: $same"
}
status=0

echo "writing ${mib} MiB with one Dev_Write to the emulated printer"
run "" "scatter-gather (one urb)"
run "--no-scatter-gather" "16 KiB urbs      "
exit $status
