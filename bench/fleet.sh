#!/usr/bin/env bash
# Figures of quenlo-cli for a fleet, each inside its own private network
# (tools/netns/run-in-netns.sh), a fresh process per run, median, min and max
# of the runs:
#   1. 20 printers, one 8 MiB file each: "update --parallel 8" against the
#      one-at-a-time road ("--parallel 1", what the wizard does), alternating
#      in the same call. The printers' print ports take 4 MB/s each
#      (FLEET_PRINTER_RATE, bytes per second), as a printer writing its flash
#      does, so the figure shows the fleet and not this machine's two cores.
#      Goal: at least 6 times faster; 20 printers in rounds of 8 cannot
#      exceed 20/3 = 6.7, and fast printers leave the fixed cost of a run
#      (start, probes, queries) a larger share.
#   2. "list" of 200 printers (fake agents answering every query). Goal:
#      within 1.5 s of the last reply, which comes within milliseconds of the
#      broadcast, so the whole list is held to 1.5 s.
#   3. Peak memory of "update --parallel 16" with one 512 MiB file, printers
#      that take all they get. Goal: under 64 MiB.
# Needs root and a build (scripts/test.sh builds build/).
# Usage: bench/fleet.sh [ROUNDS] [BUILD-DIR]   (default 5, build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
model=1.3.6.1.4.1.40917.886.300.369.8531.310

# median min max of the numbers on standard input
stats() { sort -g | awk '{ v[NR] = $1 } END { printf "%.3f %.3f %.3f\n", v[int((NR + 1) / 2)], v[1], v[NR] }'; }

if [ "${1:-}" = "--inside" ]; then
  what=$2 cli=$3 package=$4 rounds=$5
  shift 5
  case "$what" in
  parallel)
    addresses=("$@")
    : > "$package/../p8" && : > "$package/../p1"
    for r in $(seq "$rounds"); do
      for n in 8 1; do
        start=$(date +%s.%N)
        "$cli" --package "$package" update "${addresses[@]}" --parallel $n > /dev/null ||
          { echo "fleet: update --parallel $n failed" >&2; exit 1; }
        echo "$(date +%s.%N) - $start" | bc >> "$package/../p$n"
      done
    done
    read -r m8 l8 h8 < <(stats < "$package/../p8")
    read -r m1 l1 h1 < <(stats < "$package/../p1")
    printf '20 printers taking %s B/s, 8 MiB each: --parallel 8 median %.2f s (min %.2f, max %.2f); --parallel 1 median %.2f s (min %.2f, max %.2f)\n' \
      "${FLEET_PRINTER_RATE:-4000000}" "$m8" "$l8" "$h8" "$m1" "$l1" "$h1"
    printf '  speed-up (parallel 1 / parallel 8): median %.2f; goal at least 6\n' "$(echo "$m1 / $m8" | bc -l)"
    ;;
  list)
    : > "$package/../list"
    for r in $(seq "$rounds"); do
      start=$(date +%s.%N)
      rows=$("$cli" --package "$package" list --json | grep -c '"address":')
      echo "$(date +%s.%N) - $start" | bc >> "$package/../list"
    done
    read -r m l h < <(stats < "$package/../list")
    printf 'list of 200 printers: %d listed; median %.3f s (min %.3f, max %.3f); goal 1.5 s after the last reply\n' \
      "$rows" "$m" "$l" "$h"
    ;;
  memory)
    addresses=("$@")
    : > "$package/../mem"
    for r in $(seq "$rounds"); do
      /usr/bin/time -f '%M' -o "$package/../rss" "$cli" --package "$package" update "${addresses[@]}" \
        --parallel 16 > /dev/null || { echo "fleet: update --parallel 16 failed" >&2; exit 1; }
      echo "$(cat "$package/../rss") / 1024" | bc -l >> "$package/../mem"
    done
    read -r m l h < <(stats < "$package/../mem")
    printf 'update --parallel 16, one 512 MiB file: peak memory median %.1f MiB (min %.1f, max %.1f); goal under 64 MiB\n' \
      "$m" "$l" "$h"
    ;;
  esac
  exit 0
fi

rounds=${1:-5}
build=$(cd "${2:-$root/build}" && pwd)
[ "$(id -u)" = 0 ] || { echo "fleet: needs root for network namespaces" >&2; exit 77; }
command -v bc >/dev/null || { echo "fleet: needs bc" >&2; exit 1; }
cmake --build "$build" --target quenlo-cli >/dev/null
cli=$build/src/quenlo-cli
work=$(mktemp -d /tmp/quenlo-fleet-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
export XDG_STATE_HOME=$work/state

. "$root/tools/package.sh"
package() { # package FOLDER FILE-SIZE-BYTES
  mkdir -p "$1"
  head -c "$2" /dev/zero > "$1/fw.bin"
  make_package "$1" "<key>SysOID</key><string>$model</string>" fw.bin
}
topology() { # topology FILE COUNT SINK
  local i
  : > "$1"
  for i in $(seq "$2"); do
    echo "printer P$i 1 198.18.0.$((10 + i)) --oid $model --sink $3" >> "$1"
  done
}
hosts() { local i; for i in $(seq "$1"); do echo "198.18.0.$((10 + i))"; done; }

package "$work/small" $((8 * 1024 * 1024))
topology "$work/twenty.sh" 20 "slow:${FLEET_PRINTER_RATE:-4000000}"
"$root/tools/netns/run-in-netns.sh" --topology "$work/twenty.sh" --timeout 1200 -- \
  bash "$root/bench/fleet.sh" --inside parallel "$cli" "$work/small" "$rounds" $(hosts 20)

addresses=""
for i in $(seq 200); do addresses="$addresses${addresses:+,}198.18.0.$((10 + i))"; done
echo "agent PRINTERS 1 $addresses --oid $model --queries" > "$work/list.sh"
"$root/tools/netns/run-in-netns.sh" --topology "$work/list.sh" --timeout 600 -- \
  bash "$root/bench/fleet.sh" --inside list "$cli" "$work/small" "$rounds"

package "$work/large" $((512 * 1024 * 1024))
topology "$work/sixteen.sh" 16 discard
"$root/tools/netns/run-in-netns.sh" --topology "$work/sixteen.sh" --timeout 1800 -- \
  bash "$root/bench/fleet.sh" --inside memory "$cli" "$work/large" "$rounds" $(hosts 16)
