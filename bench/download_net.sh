#!/usr/bin/env bash
# The wizard's whole network download (progress dialog, event dispatch, the
# file read in pieces while it is sent, end marker, and the wait until the
# printer has acknowledged every byte) for one firmware file of 64 MiB and of
# 512 MiB to one virtual printer, against `socat -u` sending the same file
# over the same link: the median of ROUNDS alternating runs of each with min
# and max, the ratio of the medians (goal >= 1.0), and the wizard's peak
# memory for both sizes (goal: they differ by less than 16 MiB).
#
# Inside a private network built with tools/netns/run-in-netns.sh (one snmpd
# printer of the package's model whose print-port sink counts bytes). The
# download is timed from its progress dialog appearing (before the connection
# is made and the file opened) to the completion message; socat from start
# to exit. The address check before the download (SNMP) is left out. The
# sink's byte count confirms every run.
# Needs root and a build of the program (scripts/test.sh builds build/).
# Usage: bench/download_net.sh [ROUNDS] [BUILD-DIR]   (default 5, build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
model=1.3.6.1.4.1.40917.886.300.369.8531.310

if [ "${1:-}" = "--inside" ]; then
  tool=$2 rounds=$3 package=$4 sizes=$5
  ip=$(awk '$1 == "printer" && $2 == "BENCH" {print $4}' "$QUENLO_NETNS_MANIFEST")
  sink_dir=$(awk '$1 == "printer" && $2 == "BENCH" {print $6}' "$QUENLO_NETNS_MANIFEST")
  file=$package/firmware.bin
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
  stats() { sort -g | awk '{a[NR] = $1} END {printf "%.0f %.0f %.0f\n", a[int((NR + 1) / 2)], a[1], a[NR]}'; }
  for mib in $sizes; do
  head -c $((mib << 20)) /dev/urandom > "$file"
  size=$(stat -c %s "$file")
  cat "$file" > /dev/null # both senders read it from the page cache
  socat_rates=() our_rates=() peaks=()
  for r in $(seq "$rounds"); do
    t0=$(date +%s.%N)
    socat -u "FILE:$file" "TCP:$ip:9100"
    t1=$(date +%s.%N)
    done_count=$((done_count + 1))
    got=$(wait_sink $done_count)
    [ "$got" = "$size" ] || { echo "socat delivered $got of $size bytes" >&2; exit 1; }
    socat_rates+=("$(calc "$size / ($t1 - $t0) / 1000000")")

    read -r secs bytes peak < <("$tool" "$package" "$ip") || { echo "the download did not complete" >&2; exit 1; }
    done_count=$((done_count + 1))
    got=$(wait_sink $done_count)
    [ "$got" = $((size + 4)) ] && [ "$bytes" = "$size" ] ||
      { echo "the download delivered $got bytes, expected $((size + 4)); sink log:" >&2; cat "$sink_dir/sink.log" >&2; exit 1; }
    our_rates+=("$(calc "$size / $secs / 1000000")")
    peaks+=("$peak")
  done
  read -r o omin omax < <(printf '%s\n' "${our_rates[@]}" | stats)
  read -r s smin smax < <(printf '%s\n' "${socat_rates[@]}" | stats)
  read -r p pmin pmax < <(printf '%s\n' "${peaks[@]}" | stats)
  printf 'network %3d MiB: wizard %.0f MB/s (min %.0f, max %.0f), socat -u %.0f MB/s (min %.0f, max %.0f), ratio %.2f (goal >= 1.0; median of %d)\n' \
    "$mib" "$o" "$omin" "$omax" "$s" "$smin" "$smax" "$(calc "$o / $s")" "$rounds"
  printf 'network %3d MiB: wizard peak RSS %.0f KiB (min %.0f, max %.0f)\n' "$mib" "$p" "$pmin" "$pmax"
  eval "peak_$mib=$p"
  done
  if [ -n "${peak_64:-}" ] && [ -n "${peak_512:-}" ]; then
    awk -v a="$peak_64" -v b="$peak_512" 'BEGIN {
      printf "network peak memory, 512 MiB minus 64 MiB: %.1f MiB (goal < 16 MiB)\n", (b - a) / 1024 }'
  fi
  exit 0
fi

rounds=${1:-5}
build=${2:-$root/build}
sizes=${QUENLO_BENCH_SIZES:-64 512}
[ "$(id -u)" = 0 ] || { echo "download_net: needs root for network namespaces" >&2; exit 77; }
cmake --build "$build" --target download_net_bench >/dev/null
tool=$build/bench/download_net_bench
[ -x "$tool" ] || tool=$(find "$build" -name download_net_bench -type f -perm -u+x | head -1)
[ -x "$tool" ] || { echo "download_net: no download_net_bench in $build" >&2; exit 1; }
work=$(mktemp -d /tmp/quenlo-dlbench.XXXXXX)
# Downloads append to the update history; the benchmark keeps its own.
export XDG_STATE_HOME=$work/state
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
. "$root/tools/package.sh"
make_package "$work/package" "<key>SysOID</key><string>$model</string>" firmware.bin
chmod -R a+rX "$work"
echo "printer BENCH 1 198.18.0.200 --oid $model --sink discard" > "$work/topology.sh"
"$root/tools/netns/run-in-netns.sh" --topology "$work/topology.sh" --timeout 600 -- \
  bash "$root/bench/download_net.sh" --inside "$tool" "$rounds" "$work/package" "$sizes"
