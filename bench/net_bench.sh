#!/usr/bin/env bash
# Figures of the network core, measured inside a private network that this
# script builds with tools/netns/run-in-netns.sh and removes again:
#   1. NetworkWrite throughput (4096-byte blocks, a 256 MiB file, over veth and
#      a bridge to a print-port sink) as a ratio to `socat -u` on the same link
#      in the same run; target at least 0.8.
#   2. IPv4 discovery with 20 answering snmpd printers: total time and how long
#      after the last reply it ends; target within 1.2 s of the last reply.
#   3. IPv6 discovery whose printers sit on the third of three interfaces
#      (lo, veth0, veth1): total time; target under 2.5 s.
# Both senders read the file from the page cache in blocks (socat 8 KiB, ours
# 4096 bytes) and are timed from start to close; the sink discards, and its
# byte count confirms every run delivered the whole file.
# Needs root. Usage: bench/net_bench.sh [ROUNDS]   (default 5; medians shown)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" = "--inside" ]; then
  tool=$2 rounds=$3
  model=1.3.6.1.4.1.40917.886.300.369.8531.2.7
  sink_ip=$(awk '$1 == "printer" && $2 == "SINK" {print $4}' "$QUENLO_NETNS_MANIFEST")
  sink_dir=$(awk '$1 == "printer" && $2 == "SINK" {print $6}' "$QUENLO_NETNS_MANIFEST")
  file=$QUENLO_NETNS_DIR/firmware.bin
  head -c $((256 << 20)) /dev/urandom > "$file"
  cat "$file" > /dev/null # both senders read it from the page cache
  size=$(stat -c %s "$file")
  done_count=0
  wait_sink() { # the sink's byte count of connection $1 (from 1), waiting at most 30 s
    local i
    for i in $(seq 3000); do
      [ "$(grep -c '^conn ' "$sink_dir/sink.log")" -ge "$1" ] && break
      sleep 0.01
    done
    grep '^conn ' "$sink_dir/sink.log" | sed -n "${1}p" | awk '{print $4}'
  }
  # A sender's run: its time in seconds and its delivery checked at the sink.
  sent_ok() { # $1 label, $2 bytes the sender reports
    done_count=$((done_count + 1))
    local got
    got=$(wait_sink $done_count)
    [ "$got" = "$size" ] && [ "$2" = "$size" ] || { echo "$1 delivered $got of $size bytes" >&2; exit 1; }
  }
  calc() { awk "BEGIN { printf \"%.6f\", $* }"; }
  median() { sort -g | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
  socat_rates=() socat4k_rates=() our_rates=() whole_rates=()
  for r in $(seq "$rounds"); do
    t0=$(date +%s.%N)
    socat -u "FILE:$file" "TCP:$sink_ip:9100"
    t1=$(date +%s.%N)
    sent_ok "socat" "$size"
    socat_rates+=("$(calc "$size / ($t1 - $t0) / 1000000")")
    t0=$(date +%s.%N)
    socat -u -b 4096 "FILE:$file" "TCP:$sink_ip:9100"
    t1=$(date +%s.%N)
    sent_ok "socat -b 4096" "$size"
    socat4k_rates+=("$(calc "$size / ($t1 - $t0) / 1000000")")
    read -r secs sent < <("$tool" write "$file" "$sink_ip" 9100)
    sent_ok "NetworkWrite" "$sent"
    our_rates+=("$(calc "$size / $secs / 1000000")")
    read -r secs sent < <("$tool" write-whole "$file" "$sink_ip" 9100)
    sent_ok "NetworkWrite (whole file)" "$sent"
    whole_rates+=("$(calc "$size / $secs / 1000000")")
  done
  s=$(printf '%s\n' "${socat_rates[@]}" | median)
  o=$(printf '%s\n' "${our_rates[@]}" | median)
  printf 'throughput: NetworkWrite %.0f MB/s, socat -u %.0f MB/s, ratio %.2f (target >= 0.8; median of %d)\n' \
    "$o" "$s" "$(calc "$o / $s")" "$rounds"
  s4=$(printf '%s\n' "${socat4k_rates[@]}" | median)
  printf '  against socat -u -b 4096, the same block size: %.0f MB/s, ratio %.2f (each send costs\n' \
    "$s4" "$(calc "$o / $s4")"
  printf '   far more than its copy here, so the block size sets the pace; the wizard sends 64 KiB at a time)\n'
  w=$(printf '%s\n' "${whole_rates[@]}" | median)
  printf '  (for reference: the file read whole first and sent from memory: %.0f MB/s, ratio %.2f)\n' \
    "$w" "$(calc "$w / $s")"

  totals=() gaps=() counts=()
  for r in $(seq "$rounds"); do
    read -r total count last _ < <("$tool" discover4 "$model")
    totals+=("$total") counts+=("$count") gaps+=("$(calc "$total - $last")")
  done
  printf 'IPv4 discovery: %s printers, %.3f s in all, ends %.3f s after the last reply (target <= 1.2; median of %d)\n' \
    "$(printf '%s\n' "${counts[@]}" | median)" "$(printf '%s\n' "${totals[@]}" | median)" \
    "$(printf '%s\n' "${gaps[@]}" | median)" "$rounds"

  # A fresh process for every run: the remembered interface must not help.
  totals=() counts=() scopes=()
  for r in $(seq "$rounds"); do
    read -r total count _ scope < <("$tool" discover6 "$model")
    totals+=("$total") counts+=("$count") scopes+=("$scope")
  done
  printf 'IPv6 discovery: %s printers on interface index %s (veth1, third of lo/veth0/veth1), %.3f s (target < 2.5; median of %d)\n' \
    "$(printf '%s\n' "${counts[@]}" | median)" "${scopes[0]}" \
    "$(printf '%s\n' "${totals[@]}" | median)" "$rounds"
  exit 0
fi

rounds=${1:-5}
[ "$(id -u)" = 0 ] || { echo "net_bench: needs root for network namespaces" >&2; exit 77; }
work=$(mktemp -d /tmp/quenlo-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
# The programs keep their state (the update history) and settings here, never
# in the user's own folders.
export HOME=$work/home XDG_STATE_HOME=$work/state XDG_CONFIG_HOME=$work/config
mkdir -p "$HOME"
chmod 755 "$work"
c++ -O2 -std=c++20 -I"$root/src/net" -I"$root/src/status" -o "$work/net_bench_tool" "$root/bench/net_bench_tool.cpp" \
  "$root/src/net/Socket.cpp" "$root/src/net/SnmpCodec.cpp" "$root/src/net/NetIO.cpp" "$root/src/status/PrinterStatus.cpp" \
  "$root/src/status/DisplayText.cpp"
{
  echo "links 2"
  echo "printer SINK 1 198.18.0.200 --oid 1.3.6.1.4.1.8072.3.2.10 --sink discard"
  for i in $(seq 20); do
    echo "printer P$i 1 198.18.0.$((10 + i)) --oid 1.3.6.1.4.1.40917.886.300.369.8531.2.7 --sink none"
  done
  for i in 1 2 3; do
    echo "printer V$i 2 198.18.1.$((10 + i)) --ipv6 --oid 1.3.6.1.4.1.40917.886.300.369.8531.2.7 --sink none"
  done
} > "$work/topology.sh"
"$root/tools/netns/run-in-netns.sh" --topology "$work/topology.sh" --timeout 900 -- \
  bash "$root/bench/net_bench.sh" --inside "$work/net_bench_tool" "$rounds"
