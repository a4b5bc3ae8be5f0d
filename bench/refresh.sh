#!/usr/bin/env bash
# Time of the wizard's Refresh of the network list, against the one-second
# quiet period that ends a discovery pass (the floor of a Refresh is two of
# them, one per address family, plus the printers' queries):
#   1. 200 printers of the model that answer every query: all listed, with
#      the names they sent;
#   2. 40 forged agents that answer discovery as the model and never answer
#      a query (their rows show the package's model name);
#   3. the same 40 with the community "public" in the Community field, so
#      that name and version are asked under "public" and "orchid" both.
# Each runs inside its own private network (tools/netns/run-in-netns.sh;
# fake agents from tools/netns/fake-agent.py, one namespace answering from
# every address), a fresh process per run. Prints the median, min and max of
# the runs in seconds and as a ratio to the quiet period. The bound is 10 s.
# Needs root and a build of the program (scripts/test.sh builds build/).
# Usage: bench/refresh.sh [ROUNDS] [BUILD-DIR]   (default 5, build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
model=1.3.6.1.4.1.40917.886.300.369.8531.310
quiet=1.0

if [ "${1:-}" = "--inside" ]; then
  tool=$2 rounds=$3 package=$4 label=$5
  community=("${@:6}")
  times=() rows="" named=""
  for r in $(seq "$rounds"); do
    read -r secs rows named < <("$tool" "$package" "${community[@]}" 2>/dev/null) || { echo "refresh_bench failed" >&2; exit 1; }
    times+=("$secs")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk -v label="$label" -v quiet="$quiet" \
    -v rows="$rows" -v named="$named" -v n="$rounds" '
    { t[NR] = $1 }
    END {
      med = t[int((NR + 1) / 2)]
      printf "%s: %d rows, %d with their own name; Refresh median %.3f s (min %.3f, max %.3f) over %d runs;\n",
        label, rows, named, med, t[1], t[NR], n
      printf "  ratio to the %.1f s quiet period: median %.2f (min %.2f, max %.2f); bound 10 s\n",
        quiet, med / quiet, t[1] / quiet, t[NR] / quiet
    }'
  exit 0
fi

rounds=${1:-5}
build=${2:-$root/build}
[ "$(id -u)" = 0 ] || { echo "refresh: needs root for network namespaces" >&2; exit 77; }
cmake --build "$build" --target refresh_bench >/dev/null
tool=$build/bench/refresh_bench
[ -x "$tool" ] || tool=$(find "$build" -name refresh_bench -type f -perm -u+x | head -1)
[ -x "$tool" ] || { echo "refresh: no refresh_bench in $build" >&2; exit 1; }
work=$(mktemp -d /tmp/quenlo-refresh.XXXXXX)
trap 'rm -rf "$work"' EXIT
# The programs keep their state (the update history) and settings here, never
# in the user's own folders.
export HOME=$work/home XDG_STATE_HOME=$work/state XDG_CONFIG_HOME=$work/config
mkdir -p "$HOME"
chmod 755 "$work"
. "$root/tools/package.sh"
make_package "$work/package" "<key>SysOID</key><string>$model</string>"
chmod -R a+rX "$work"

addresses() { # $1 count: 198.18.0.11 onwards
  local list="" i
  for i in $(seq "$1"); do list="$list${list:+,}198.18.0.$((10 + i))"; done
  echo "$list"
}
echo "agent PRINTERS 1 $(addresses 200) --oid $model --queries" > "$work/printers.sh"
echo "agent FORGED 1 $(addresses 40) --oid $model" > "$work/forged.sh"
"$root/tools/netns/run-in-netns.sh" --topology "$work/printers.sh" --timeout 600 -- \
  bash "$root/bench/refresh.sh" --inside "$tool" "$rounds" "$work/package" "200 printers"
"$root/tools/netns/run-in-netns.sh" --topology "$work/forged.sh" --timeout 600 -- \
  bash "$root/bench/refresh.sh" --inside "$tool" "$rounds" "$work/package" "40 silent forged agents"
"$root/tools/netns/run-in-netns.sh" --topology "$work/forged.sh" --timeout 600 -- \
  bash "$root/bench/refresh.sh" --inside "$tool" "$rounds" "$work/package" \
  "40 silent forged agents, community public" public
