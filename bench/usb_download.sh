#!/usr/bin/env bash
# The wizard's whole USB firmware download against a bare libusb write of the
# same file to the emulated printer, for a 64 MiB and a 512 MiB file: the
# median of ROUNDS alternating runs of each with min and max, their ratio
# (bare time / download time; goal >= 0.9), and the download's peak memory
# for both sizes (goal: they differ by less than 16 MiB, as the file is read
# in pieces while it is sent). The first run of each size also checks that
# the printer received the file and the end marker byte for byte.
#   bench/usb_download.sh [build-dir] [rounds]      (default build, 5)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-5}
emulator=$build/tools/usb-printer/quenlo-usb-printer
bench=$build/bench/usb_download_bench
baseline=$build/bench/usb_write_bench
for f in "$emulator" "$bench" "$baseline"; do
  [ -x "$f" ] || { echo "missing $f: build first (cmake --build $build)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/quenlo-usb-download.XXXXXX)
# Downloads append to the update history; the benchmark keeps its own.
export XDG_STATE_HOME=$work/state
trap 'rm -rf "$work"' EXIT
. tools/package.sh
make_package "$work/package" '<key>WindowsTitle</key><string>Benchmark</string>
    <key>VID</key><string>0x5A5A</string><key>PID</key><string>0x0310</string>
    <key>ModuleName</key><string>QX-310 Series</string><key>Language</key><string>0</string>' \
  firmware.bin

stats() { # "median min max" of the numbers on stdin
  sort -g | awk '{a[NR] = $1} END {printf "%.3f %.3f %.3f\n", a[int((NR + 1) / 2)], a[1], a[NR]}'
}
status=0
for mib in 64 512; do
  head -c $((mib * 1048576)) /dev/urandom > "$work/package/firmware.bin"
  cat "$work/package/firmware.bin" > /dev/null # both read it from the page cache
  ours=() bare=() peaks=()
  for r in $(seq "$rounds"); do
    record=(--record-count)
    [ "$r" = 1 ] && record=(--record-count --record "$work/received.bin")
    timeout 600 "$emulator" --vid 0x5A5A --pid 0x0310 "${record[@]}" -- \
      "$bench" "$work/package" > "$work/out.txt" 2>&1 || { echo "download failed:" >&2; tail -5 "$work/out.txt" >&2; exit 1; }
    line=$(grep '^bench:' "$work/out.txt")
    ours+=("$(sed -n 's/.* in \([0-9.]*\) s = .*/\1/p' <<<"$line")")
    peaks+=("$(sed -n 's/.*after \([0-9]*\) KiB.*/\1/p' <<<"$line")")
    if [ "$r" = 1 ]; then
      # The list's two vendor commands come first: 20 bytes.
      if ! { cat "$work/package/firmware.bin"; printf '\x00\x00\x00\x00'; } |
           cmp -s - <(tail -c +21 "$work/received.bin"); then
        echo "the printer did not receive the $mib MiB file and its end marker byte for byte" >&2
        status=1
      fi
      rm -f "$work/received.bin"
    fi
    timeout 600 "$emulator" --vid 0x5A5A --pid 0x0310 --record-count -- \
      "$baseline" "$work/package/firmware.bin" 0x5A5A 0x0310 > "$work/base.txt" 2>&1 ||
      { echo "bare write failed" >&2; exit 1; }
    bare+=("$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' "$work/base.txt")")
  done
  read -r om omin omax < <(printf '%s\n' "${ours[@]}" | stats)
  read -r bm bmin bmax < <(printf '%s\n' "${bare[@]}" | stats)
  read -r pm pmin pmax < <(printf '%s\n' "${peaks[@]}" | stats)
  printf 'USB %3d MiB: download %.3f s (min %.3f, max %.3f), bare libusb write %.3f s (min %.3f, max %.3f), ratio %.2f (goal >= 0.9; median of %d)\n' \
    "$mib" "$om" "$omin" "$omax" "$bm" "$bmin" "$bmax" "$(awk -v b="$bm" -v o="$om" 'BEGIN {print b / o}')" "$rounds"
  printf 'USB %3d MiB: download peak RSS %.0f KiB (min %.0f, max %.0f)\n' "$mib" "$pm" "$pmin" "$pmax"
  eval "peak_$mib=$pm"
done
# shellcheck disable=SC2154
awk -v a="$peak_64" -v b="$peak_512" 'BEGIN {
  d = b - a; printf "USB peak memory, 512 MiB minus 64 MiB: %.1f MiB (goal < 16 MiB)\n", d / 1024 }'
exit $status
