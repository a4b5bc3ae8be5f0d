#!/usr/bin/env bash
# Throughput and peak memory of the wizard's whole USB firmware download: a
# package with one firmware file (64 MiB by default) sent by the download
# procedure to the emulated printer, which records what it receives. In the
# same call, the same file through one bare Dev_Write is the baseline.
#   bench/usb_download.sh [build-dir] [size-MiB]
# Target: peak memory of the downloading program <= file size + 64 MiB, and
# the printer receives the file and the end marker byte for byte.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
mib=${2:-64}
emulator=$build/tools/usb-printer/quenlo-usb-printer
bench=$build/tests/wizard_usb/usb_download_bench
baseline=$build/tests/usb/usb_write_bench
for f in "$emulator" "$bench" "$baseline"; do
  [ -x "$f" ] || { echo "missing $f: build first (cmake --build $build)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/quenlo-usb-download.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/package"
head -c $((mib * 1048576)) /dev/urandom > "$work/package/firmware.bin"
cat > "$work/package/Quenlo.plist" <<'PLIST'
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>General</key><dict>
<key>WindowsTitle</key><string>Benchmark</string>
<key>VID</key><string>0x5A5A</string><key>PID</key><string>0x0310</string>
<key>ModelName</key><string>QX-310 MFP</string><key>ModuleName</key><string>QX-310 Series</string>
<key>Language</key><string>0</string><key>FwCount</key><string>1</string>
</dict>
<key>Fw0</key><dict><key>FileName</key><string>firmware.bin</string></dict>
</dict></plist>
PLIST
{ cat "$work/package/firmware.bin"; printf '\x00\x00\x00\x00'; } > "$work/expected.bin"

status=0
seconds_of() { sed -n -e 's/.* in \([0-9.]*\) s = .*/\1/p' -e 's/.*seconds=\([0-9.]*\).*/\1/p' "$1"; }

echo "sending ${mib} MiB through the whole USB download to the emulated printer"
timeout 600 "$emulator" --vid 0x5A5A --pid 0x0310 --record-count \
  --record "$work/received.bin" -- /usr/bin/time -v "$bench" "$work/package" \
  > "$work/out.txt" 2> "$work/err.txt" || status=1
line=$(grep '^bench:' "$work/out.txt" || echo "bench: no result")
peak_kib=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/err.txt")
limit_kib=$((mib * 1024 + 64 * 1024))
# The list's two vendor commands come first: 20 bytes.
same=yes
tail -c +21 "$work/received.bin" | cmp -s - "$work/expected.bin" || { same=NO; status=1; }
within=within
[ "${peak_kib:-0}" -gt 0 ] && [ "$peak_kib" -le "$limit_kib" ] || { within=EXCEEDED; status=1; }
echo "download: $line"
echo "download: peak RSS ${peak_kib:-?} KiB (time -v), limit ${limit_kib} KiB (file + 64 MiB): $within;" \
     "received identical: $same"

timeout 300 "$emulator" --vid 0x5A5A --pid 0x0310 --record-count \
  -- "$baseline" "$work/package/firmware.bin" 0x5A5A 0x0310 > "$work/base.txt" 2>&1 || status=1
base_line=$(grep '^bench:' "$work/base.txt" || echo "bench: no result")
echo "baseline (one bare Dev_Write): $base_line"
d=$(seconds_of "$work/out.txt"); b=$(seconds_of "$work/base.txt")
if [ -n "$d" ] && [ -n "$b" ]; then
  awk -v d="$d" -v b="$b" 'BEGIN { if (b > 0) printf "ratio download/bare write time: %.2f\n", d / b }'
fi
exit $status
