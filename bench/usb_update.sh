#!/usr/bin/env bash
# The USB road against bare libusb, on the same emulated printer (a separate
# process, tools/usb-printer), for a 64 MiB and a 512 MiB firmware file:
#
#   sending   the transfer engine over the USB channel (usb_send_bench):
#             from the first opening of the printer to the end marker taken;
#   update    a whole `quenlo-cli --package P update --usb`, process start to
#             exit: start-up, package check, the vendor commands and device
#             ID of the printer's row, the sending, the history line;
#   bare      libusb alone writing the file in 1 MiB bulk transfers, read
#             from the file as it goes (usb_bare_write_bench), one after the
#             other (sync) and two in flight (async): from libusb's start to
#             the last byte taken, and as a process, start to exit.
#
# Each figure is the median of ROUNDS alternating runs, with min and max. The
# ratios are bare / ours against the faster bare mode (goal for the sending:
# at least 0.9). The first run of each size checks that the printer received
# the file and the end marker byte for byte.
#   bench/usb_update.sh [build-dir] [rounds]        (default build, 7)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-7}
emulator=$build/tools/usb-printer/quenlo-usb-printer
send=$build/bench/usb_send_bench
bare=$build/bench/usb_bare_write_bench
cli=$build/src/quenlo-cli
for f in "$emulator" "$send" "$bare" "$cli"; do
  [ -x "$f" ] || { echo "missing $f: build first (cmake --build $build)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/quenlo-usb-update.XXXXXX)
# The programs get their own state and home: the update appends to a history.
export XDG_STATE_HOME=$work/state HOME=$work/home
mkdir -p "$HOME"
trap 'rm -rf "$work"' EXIT
. tools/package.sh
make_package "$work/package" '<key>VID</key><string>0x5A5A</string><key>PID</key><string>0x0310</string>' \
  firmware.bin

stats() { # "median min max" of the numbers on stdin
  sort -g | awk '{a[NR] = $1} END {printf "%.3f %.3f %.3f\n", a[int((NR + 1) / 2)], a[1], a[NR]}'
}
field() { sed -n "s/.*$1\([0-9.]*\).*/\1/p" "$2" | head -1; }
# run NAME RECORD -- PROGRAM...: runs it under the emulator; out/err in $work/NAME.*
run() {
  local name=$1 record=$2
  shift 3
  local opts=(--vid 0x5A5A --pid 0x0310 --record-count)
  [ -n "$record" ] && opts+=(--record "$record")
  timeout 600 "$emulator" "${opts[@]}" -- "$@" > "$work/$name.out" 2> "$work/$name.err" ||
    { echo "$name failed:" >&2; tail -5 "$work/$name.out" "$work/$name.err" >&2; exit 1; }
}
ratio() { awk -v b="$1" -v o="$2" 'BEGIN {printf "%.2f", b / o}'; }

status=0
for mib in 64 512; do
  head -c $((mib * 1048576)) /dev/urandom > "$work/package/firmware.bin"
  cat "$work/package/firmware.bin" > /dev/null # every run reads it from the page cache
  s=() u=() sync=() async=() syncp=() asyncp=()
  for r in $(seq "$rounds"); do
    record=""
    [ "$r" = 1 ] && record=$work/received.bin
    run send "$record" -- "$send" "$work/package" 0x5A5A 0x0310 firmware.bin
    s+=("$(field 'seconds=' "$work/send.out")")
    if [ "$r" = 1 ]; then
      if ! { cat "$work/package/firmware.bin"; printf '\x00\x00\x00\x00'; } |
           cmp -s - "$work/received.bin"; then
        echo "the printer did not receive the $mib MiB file and its end marker byte for byte" >&2
        status=1
      fi
      rm -f "$work/received.bin"
    fi
    run sync "" -- "$bare" sync "$work/package/firmware.bin" 0x5A5A 0x0310
    sync+=("$(field 'seconds=' "$work/sync.out")") syncp+=("$(field 'ran: ' "$work/sync.err")")
    run update "" -- "$cli" --package "$work/package" update --usb
    u+=("$(field 'ran: ' "$work/update.err")")
    grep -q '1 printer(s) completed' "$work/update.out" "$work/update.err" ||
      { echo "the update did not complete:" >&2; cat "$work/update.out" >&2; exit 1; }
    run async "" -- "$bare" async "$work/package/firmware.bin" 0x5A5A 0x0310
    async+=("$(field 'seconds=' "$work/async.out")") asyncp+=("$(field 'ran: ' "$work/async.err")")
  done
  read -r sm smin smax < <(printf '%s\n' "${s[@]}" | stats)
  read -r um umin umax < <(printf '%s\n' "${u[@]}" | stats)
  read -r ym ymin ymax < <(printf '%s\n' "${sync[@]}" | stats)
  read -r am amin amax < <(printf '%s\n' "${async[@]}" | stats)
  read -r yp ypmin ypmax < <(printf '%s\n' "${syncp[@]}" | stats)
  read -r ap apmin apmax < <(printf '%s\n' "${asyncp[@]}" | stats)
  best=$(awk -v a="$ym" -v b="$am" 'BEGIN {print (a < b ? a : b)}')
  bestp=$(awk -v a="$yp" -v b="$ap" 'BEGIN {print (a < b ? a : b)}')
  printf 'USB %3d MiB, median of %d (min, max), seconds:\n' "$mib" "$rounds"
  printf '  bare libusb 1 MiB writes   sync %.3f (%.3f, %.3f)  async %.3f (%.3f, %.3f)\n' \
    "$ym" "$ymin" "$ymax" "$am" "$amin" "$amax"
  printf '  sending (engine + channel)      %.3f (%.3f, %.3f)  ratio %s (goal >= 0.9)\n' \
    "$sm" "$smin" "$smax" "$(ratio "$best" "$sm")"
  printf '  bare writer, start to exit sync %.3f (%.3f, %.3f)  async %.3f (%.3f, %.3f)\n' \
    "$yp" "$ypmin" "$ypmax" "$ap" "$apmin" "$apmax"
  printf '  quenlo-cli update --usb, start to exit %.3f (%.3f, %.3f)  ratio %s\n' \
    "$um" "$umin" "$umax" "$(ratio "$bestp" "$um")"
done
exit $status
