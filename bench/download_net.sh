#!/usr/bin/env bash
# Throughput of the wizard's whole network download (progress dialog, event
# dispatch, the file read whole, 4096-byte blocks, end marker) for one 64 MiB
# firmware file to one virtual printer, as a ratio to `socat -u` sending the
# same file over the same link in the same run; target at least 0.7.
#
# Inside a private network built with tools/netns/run-in-netns.sh (one snmpd
# printer of the package's model whose print-port sink counts bytes). The
# download is timed from its progress dialog appearing (before the connection
# is made and the file read) to the dialog closing after the last block, as
# socat is timed from start to exit; the address check before it (about a
# second of SNMP) is not part of the stream and is left out. The sink's byte
# count confirms every run.
# Needs root and a build of the program (scripts/test.sh builds build/).
# Usage: bench/download_net.sh [ROUNDS] [BUILD-DIR]   (default 5, build; medians)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
model=1.3.6.1.4.1.40917.886.300.369.8531.310

if [ "${1:-}" = "--inside" ]; then
  tool=$2 rounds=$3 package=$4
  ip=$(awk '$1 == "printer" && $2 == "BENCH" {print $4}' "$QUENLO_NETNS_MANIFEST")
  sink_dir=$(awk '$1 == "printer" && $2 == "BENCH" {print $6}' "$QUENLO_NETNS_MANIFEST")
  file=$package/firmware.bin
  size=$(stat -c %s "$file")
  cat "$file" > /dev/null # both senders read it from the page cache
  done_count=0
  wait_sink() { # bytes of connection $1 (counted from 1), waiting at most 30 s
    local i
    for i in $(seq 3000); do
      [ "$(grep -c '^conn ' "$sink_dir/sink.log")" -ge "$1" ] && break
      sleep 0.01
    done
    grep '^conn ' "$sink_dir/sink.log" | sed -n "${1}p" | awk '{print $4}'
  }
  calc() { awk "BEGIN { printf \"%.6f\", $* }"; }
  median() { sort -g | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
  socat_rates=() our_rates=()
  for r in $(seq "$rounds"); do
    t0=$(date +%s.%N)
    socat -u "FILE:$file" "TCP:$ip:9100"
    t1=$(date +%s.%N)
    done_count=$((done_count + 1))
    got=$(wait_sink $done_count)
    [ "$got" = "$size" ] || { echo "socat delivered $got of $size bytes" >&2; exit 1; }
    socat_rates+=("$(calc "$size / ($t1 - $t0) / 1000000")")

    read -r secs bytes < <("$tool" "$package" "$ip") || { echo "the download did not complete" >&2; exit 1; }
    done_count=$((done_count + 1))
    got=$(wait_sink $done_count)
    [ "$got" = $((size + 4)) ] && [ "$bytes" = "$size" ] ||
      { echo "the download delivered $got bytes, expected $((size + 4)); sink log:" >&2; cat "$sink_dir/sink.log" >&2; exit 1; }
    our_rates+=("$(calc "$size / $secs / 1000000")")
  done
  s=$(printf '%s\n' "${socat_rates[@]}" | median)
  o=$(printf '%s\n' "${our_rates[@]}" | median)
  printf 'network download of %d MiB: wizard %.0f MB/s, socat -u %.0f MB/s, ratio %.2f (target >= 0.7; median of %d)\n' \
    $((size >> 20)) "$o" "$s" "$(calc "$o / $s")" "$rounds"
  printf '  rounds (MB/s): wizard %s; socat %s\n' "${our_rates[*]}" "${socat_rates[*]}"
  exit 0
fi

rounds=${1:-5}
build=${2:-$root/build}
[ "$(id -u)" = 0 ] || { echo "download_net: needs root for network namespaces" >&2; exit 77; }
cmake --build "$build" --target download_net_bench >/dev/null
tool=$build/bench/download_net_bench
[ -x "$tool" ] || tool=$(find "$build" -name download_net_bench -type f -perm -u+x | head -1)
[ -x "$tool" ] || { echo "download_net: no download_net_bench in $build" >&2; exit 1; }
work=$(mktemp -d /tmp/quenlo-dlbench.XXXXXX)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
mkdir "$work/package"
head -c $((64 << 20)) /dev/urandom > "$work/package/firmware.bin"
cat > "$work/package/Quenlo.plist" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
  <key>General</key>
  <dict>
    <key>SysOID</key><string>$model</string>
    <key>ModelName</key><string>QX-310 MFP</string>
    <key>FwCount</key><string>1</string>
  </dict>
  <key>Fw0</key>
  <dict><key>FileName</key><string>firmware.bin</string></dict>
</dict>
</plist>
PLIST
chmod -R a+rX "$work"
echo "printer BENCH 1 198.18.0.200 --oid $model --sink discard" > "$work/topology.sh"
"$root/tools/netns/run-in-netns.sh" --topology "$work/topology.sh" --timeout 600 -- \
  bash "$root/bench/download_net.sh" --inside "$tool" "$rounds" "$work/package"
