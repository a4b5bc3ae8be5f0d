#!/usr/bin/env bash
# Time of the wizard's Refresh of the network list and of "quenlo-cli list",
# each against the floor measured in the same call and the same network:
# floor_bench, which sends one bare discovery request by IPv4 broadcast and
# one by IPv6 multicast and exits one second after the last datagram came
# back (what no program asking both families and waiting one quiet period
# can beat). Networks, each private (tools/netns/run-in-netns.sh; fake agents
# from tools/netns/fake-agent.py, one namespace answering from every
# address):
#   1. 200 printers of the model that answer every query: the wizard's
#      Refresh (goal: at most 1.1 times the floor) and quenlo-cli list (goal:
#      at most 1.1), every printer listed under the name it sent;
#   2. 1,000 such printers (a /22 of the client's) and three real snmpd
#      printers: quenlo-cli list (goal: at most 1.2, all listed, peak memory
#      under 32 MiB);
#   3. 40 forged agents that answer discovery as the model and never answer
#      a query, community "public" (name and version asked under "public"
#      and "orchid" both): the wizard's Refresh (bound 10 s).
# What each figure includes: floor_bench and quenlo-cli are timed from
# process start to exit (the cli: start-up, reading the package, both passes,
# the queries, the JSON); the Refresh from the click to the last row added
# (refresh_bench calls NetworkRefresh as the button does; the wizard is
# already up). Peak memory is the cli's maximum resident set. A fresh process
# per run, rounds interleaved; median, min and max of the runs.
# Needs root and a build of the programs (scripts/test.sh builds build/).
# Usage: bench/refresh.sh [ROUNDS] [BUILD-DIR]   (default 5, build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
model=1.3.6.1.4.1.40917.886.300.369.8531.310

# median min max of the numbers on standard input
stats() { sort -g | awk '{ v[NR] = $1 } END { printf "%.3f %.3f %.3f\n", v[int((NR + 1) / 2)], v[1], v[NR] }'; }
# timed OUT COMMAND...: runs COMMAND with its output in OUT; prints the
# seconds from its start to its exit and its peak resident set in KiB.
timed() {
  python3 -c 'import os, subprocess, sys, time
out = open(sys.argv[1], "wb")
start = time.monotonic()
child = subprocess.Popen(sys.argv[2:], stdout=out, stderr=subprocess.DEVNULL)
_, status, usage = os.wait4(child.pid, 0)
took = time.monotonic() - start
sys.exit(1) if status != 0 else print("%.6f %d" % (took, usage.ru_maxrss))' "$@"
}
# listed FILE: printers in a list --json, and those showing their own name
# (a fake agent's name is its address; the real printers are T1 to T3).
listed() {
  python3 -c 'import json, sys
r = json.load(open(sys.argv[1]))["printers"]
print(len(r), sum(1 for p in r if p["name"] in (p["address"], "T1", "T2", "T3")))' "$1"
}

if [ "${1:-}" = "--inside" ]; then
  label=$2 build=$3 rounds=$4 package=$5 what=$6 community=${7:-}
  out=$(mktemp -d /tmp/quenlo-refresh-in.XXXXXX)
  trap 'rm -rf "$out"' EXIT
  : > "$out/floor" && : > "$out/wizard" && : > "$out/cli" && : > "$out/rss"
  rows="" named="" cli_rows="" cli_named=""
  for r in $(seq "$rounds"); do
    read -r secs _ < <(timed "$out/f.txt" "$build/bench/floor_bench" ${community:+"$community"}) ||
      { echo "floor_bench failed" >&2; exit 1; }
    echo "$secs" >> "$out/floor"
    if [[ $what == *wizard* ]]; then
      read -r secs rows named < <("$build/bench/refresh_bench" "$package" ${community:+"$community"} 2>/dev/null) ||
        { echo "refresh_bench failed" >&2; exit 1; }
      echo "$secs" >> "$out/wizard"
    fi
    if [[ $what == *cli* ]]; then
      read -r secs rss < <(timed "$out/list.json" "$build/src/quenlo-cli" --package "$package" list --json) ||
        { echo "quenlo-cli list failed" >&2; exit 1; }
      echo "$secs" >> "$out/cli" && echo "$rss" >> "$out/rss"
      read -r cli_rows cli_named < <(listed "$out/list.json")
    fi
  done
  read -r fm fl fh < <(stats < "$out/floor")
  printf '%s\n  floor (bare broadcast + multicast, last reply + 1 s): median %.3f s (min %.3f, max %.3f)\n' \
    "$label" "$fm" "$fl" "$fh"
  if [[ $what == *wizard* ]]; then
    read -r m l h < <(stats < "$out/wizard")
    printf '  wizard Refresh: %d rows, %d with their own name; median %.3f s (min %.3f, max %.3f); ratio to the floor median %.2f (min %.2f, max %.2f)\n' \
      "$rows" "$named" "$m" "$l" "$h" "$(echo "$m / $fm" | bc -l)" "$(echo "$l / $fm" | bc -l)" "$(echo "$h / $fm" | bc -l)"
  fi
  if [[ $what == *cli* ]]; then
    read -r m l h < <(stats < "$out/cli")
    read -r rm _ rh < <(stats < "$out/rss")
    printf '  quenlo-cli list: %d listed, %d with their own name; median %.3f s (min %.3f, max %.3f); ratio to the floor median %.2f (min %.2f, max %.2f); peak memory median %.1f MiB (max %.1f)\n' \
      "$cli_rows" "$cli_named" "$m" "$l" "$h" "$(echo "$m / $fm" | bc -l)" "$(echo "$l / $fm" | bc -l)" \
      "$(echo "$h / $fm" | bc -l)" "$(echo "$rm / 1024" | bc -l)" "$(echo "$rh / 1024" | bc -l)"
  fi
  exit 0
fi

rounds=${1:-5}
build=$(cd "${2:-$root/build}" && pwd)
[ "$(id -u)" = 0 ] || { echo "refresh: needs root for network namespaces" >&2; exit 77; }
cmake --build "$build" --target refresh_bench floor_bench quenlo-cli >/dev/null
work=$(mktemp -d /tmp/quenlo-refresh.XXXXXX)
trap 'rm -rf "$work"' EXIT
# The programs keep their state (the update history) and settings here, never
# in the user's own folders.
export HOME=$work/home XDG_STATE_HOME=$work/state XDG_CONFIG_HOME=$work/config
mkdir -p "$HOME"
chmod 755 "$work"
. "$root/tools/package.sh"
mkdir -p "$work/package"
head -c 4096 /dev/zero > "$work/package/fw.bin"
make_package "$work/package" "<key>SysOID</key><string>$model</string>" fw.bin
chmod -R a+rX "$work"

addresses() { # $1 count: 198.18.0.11 onwards
  local list="" i
  for i in $(seq "$1"); do list="$list${list:+,}198.18.0.$((10 + i))"; done
  echo "$list"
}
echo "agent PRINTERS 1 $(addresses 200) --oid $model --queries" > "$work/printers.sh"
echo "agent FORGED 1 $(addresses 40) --oid $model" > "$work/forged.sh"
{
  echo "links 1"
  echo "client_subnet 1 198.18.4.1/22"
  fleet=""
  for net in 4 5 6 7; do for host in $(seq 2 251); do fleet="$fleet${fleet:+,}198.18.$net.$host"; done; done
  echo "agent FLEET 1 $fleet --oid $model --queries"
  for i in 1 2 3; do echo "printer T$i 1 198.18.0.1$i --oid $model --sink none"; done
} > "$work/thousand.sh"
inside() { # TOPOLOGY LABEL WHAT [COMMUNITY]
  "$root/tools/netns/run-in-netns.sh" --topology "$1" --timeout 900 -- \
    bash "$root/bench/refresh.sh" --inside "$2" "$build" "$rounds" "$work/package" "${@:3}"
}
inside "$work/printers.sh" "200 printers" wizard+cli
inside "$work/thousand.sh" "1,003 printers (1,000 agents, 3 snmpd)" cli
inside "$work/forged.sh" "40 silent forged agents, community public" wizard public
