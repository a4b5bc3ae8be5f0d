#!/usr/bin/env bash
# Runs a command inside a private network of printers, then removes it all.
#
#   run-in-netns.sh [--topology FILE] [--timeout SECONDS] [--keep DIR] -- COMMAND [ARG...]
#
# The network: one namespace holds a bridge per link; a client namespace is
# joined to every link by a veth pair (veth0 on link 1, veth1 on link 2, ...;
# with the loopback first, vethK is the (K+2)th interface); each printer has
# its own namespace with veth0 on its link. Addresses come from 198.18.0.0/15:
# the client is 198.18.<link-1>.1/24 on each link, and 255.255.255.255 is
# routed out of veth0 so that a broadcast reaches link 1. Duplicate address
# detection is off everywhere, so IPv6 link-local addresses work at once.
# Nothing here can reach the machine's own network.
#
# The topology FILE is bash, sourced by this script; it calls
#   links N                         client links (default 1)
#   printer NAME LINK IPV4 [OPTION...]
# with options
#   --oid OID            sysObjectID (numeric)           default 1.3.6.1.4.1.8072.3.2.10
#   --sysname TEXT       sysName                          default NAME
#   --community TEXT     read community, repeatable      default orchid
#   --ipv6               answer SNMP over IPv6 as well (rocommunity6)
#   --value OID=TEXT     an extra OCTET STRING object (give the full instance, .0)
#   --updates OID=OLD:NEW the OCTET STRING object OID reads OLD until the sink
#                        has received a whole package (a connection ending
#                        with 00 00 00 00), NEW from then on
#   --sink MODE          print-port sink on 9100: keep, discard, close-after:N,
#                        no-read, reset-after:N, slow:RATE, reset-first-after:N,
#                        stop-first-after:N, none (default keep; see print-sink.py)
#   --no-snmp            no SNMP agent at all
#   client_subnet LINK CIDR         one more client address on that link (a
#                                   subnet wider than its /24, for fleets)
#   agent NAME LINK IPV4[,IPV4...] [FAKE-AGENT OPTION...]
# an agent that no real printer would be (tools/netns/fake-agent.py: forged,
# repeating, junk or trickling replies), one namespace answering from every
# address given; its options are fake-agent.py's (--oid, --queries, --repeat,
# --junk, --trickle, --ipv6, --name-hex, --version, --status, --name6, --version6).
#
# Each printer runs net-snmp's snmpd (its own config and state under the run
# folder) and tools/netns/print-sink.py. The command runs in the client
# namespace with these variables:
#   QUENLO_NETNS_DIR       the run folder (removed afterwards unless --keep)
#   QUENLO_NETNS_CLIENT    the client namespace's name: a program can check that
#                          /run/netns/<name> is its own namespace before it sends
#                          anything (tests/netns/PrivateNetwork.h does)
#   QUENLO_NETNS_MANIFEST  one line per printer:
#                          printer NAME LINK IPV4 IPV6-LINK-LOCAL SINK-FOLDER
#                          one per fake agent: agent NAME LINK IPV4,... IPV6-LINK-LOCAL
#                          and one per client link: client IFNAME LINK
#
# Needs root (ip netns). Without it, or without ip/snmpd, it prints why and
# exits 77, which CTest takes as "skipped". The command's exit status is
# passed on; it is ended after --timeout seconds (default 120) so that the
# tear-down always runs, also when the caller is about to give up.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
topology=""
limit=120
keep=""
while [ $# -gt 0 ]; do
  case "$1" in
    --topology) topology=$2; shift 2 ;;
    --timeout) limit=$2; shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "run-in-netns: unknown option $1" >&2; exit 2 ;;
  esac
done
[ $# -gt 0 ] || { echo "run-in-netns: no command given" >&2; exit 2; }

skip() { echo "run-in-netns: skipped: $*"; exit 77; }
[ "$(id -u)" = 0 ] || skip "needs root for network namespaces"
command -v ip >/dev/null || skip "ip (iproute2) not installed"
command -v python3 >/dev/null || skip "python3 not installed"
snmpd_bin=$(command -v snmpd || ls /usr/sbin/snmpd 2>/dev/null || true)
[ -n "$snmpd_bin" ] || skip "snmpd not installed"

prefix="qnet-$$-"
# Leftovers of runs whose script was killed outright (no trap could run).
for ns in $(ip netns list 2>/dev/null | awk '{print $1}' | grep '^qnet-' || true); do
  owner=${ns#qnet-}; owner=${owner%%-*}
  if ! kill -0 "$owner" 2>/dev/null; then
    for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -KILL "$pid" 2>/dev/null; done
    ip netns del "$ns" 2>/dev/null
  fi
done

run=$(mktemp -d /tmp/quenlo-netns.XXXXXX)
chmod 755 "$run"
manifest=$run/manifest
: > "$manifest"
namespaces=()
children=()

teardown() {
  local pid ns i
  for pid in "${children[@]}"; do kill -TERM "$pid" 2>/dev/null; done
  for i in $(seq 50); do
    local alive=0
    for pid in "${children[@]}"; do kill -0 "$pid" 2>/dev/null && alive=1; done
    [ $alive = 0 ] && break
    sleep 0.02
  done
  for pid in "${children[@]}"; do kill -KILL "$pid" 2>/dev/null; done
  wait 2>/dev/null
  for ns in "${namespaces[@]}"; do
    for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -KILL "$pid" 2>/dev/null; done
    ip netns del "$ns" 2>/dev/null
  done
  if [ -n "$keep" ]; then
    mkdir -p "$keep" && cp -r "$run"/. "$keep"/ 2>/dev/null
  fi
  rm -rf "$run"
}
trap teardown EXIT
trap 'exit 130' INT TERM HUP

fail() { echo "run-in-netns: $*" >&2; exit 1; }

# Waits up to 5 s for a condition, checking every 10 ms.
wait_for() {
  local i
  for i in $(seq 500); do
    "$@" && return 0
    sleep 0.01
  done
  return 1
}

new_ns() {
  ip netns add "$1" || fail "cannot create namespace $1"
  namespaces+=("$1")
  ip netns exec "$1" sh -c '
    for k in all default; do
      echo 0 > /proc/sys/net/ipv6/conf/$k/accept_dad
      echo 0 > /proc/sys/net/ipv6/conf/$k/router_solicitations
    done' 2>/dev/null
  ip -n "$1" link set lo up
}

bridge_ns=${prefix}br
client_ns=${prefix}cl
new_ns "$bridge_ns"
new_ns "$client_ns"

link_count=0
links() {
  local want=$1 k
  for ((k = link_count + 1; k <= want; k++)); do
    ip -n "$bridge_ns" link add "br$k" type bridge stp_state 0 mcast_snooping 0 ||
      fail "cannot create bridge $k"
    ip -n "$bridge_ns" link set "br$k" up
    ip -n "$bridge_ns" link add "c$k" type veth peer name "veth$((k - 1))" netns "$client_ns" ||
      fail "cannot create client link $k"
    ip -n "$bridge_ns" link set "c$k" master "br$k" up
    ip -n "$client_ns" addr add "198.18.$((k - 1)).1/24" dev "veth$((k - 1))"
    ip -n "$client_ns" link set "veth$((k - 1))" up
    echo "client veth$((k - 1)) $k" >> "$manifest"
  done
  [ "$want" -gt "$link_count" ] && link_count=$want
  if [ "$link_count" -ge 1 ]; then
    ip -n "$client_ns" route replace 255.255.255.255 dev veth0 2>/dev/null
  fi
  return 0
}

client_subnet() {
  [ "$1" -le "$link_count" ] || links "$1"
  ip -n "$client_ns" addr add "$2" dev "veth$(($1 - 1))" || fail "client address $2"
}

printer_count=0
printer() {
  local name=$1 link=$2 ipv4=$3
  shift 3
  local oid=1.3.6.1.4.1.8072.3.2.10 sysname=$name ipv6=0 sink=keep snmp=1
  local communities=() values=() updates=""
  while [ $# -gt 0 ]; do
    case "$1" in
      --oid) oid=$2; shift 2 ;;
      --sysname) sysname=$2; shift 2 ;;
      --community) communities+=("$2"); shift 2 ;;
      --ipv6) ipv6=1; shift ;;
      --value) values+=("$2"); shift 2 ;;
      --updates) updates=$2; shift 2 ;;
      --sink) sink=$2; shift 2 ;;
      --no-snmp) snmp=0; shift ;;
      *) fail "printer $name: unknown option $1" ;;
    esac
  done
  [ ${#communities[@]} -gt 0 ] || communities=(orchid)
  [ "$link" -le "$link_count" ] || links "$link"

  printer_count=$((printer_count + 1))
  local ns=${prefix}p$printer_count dir=$run/$name
  mkdir -p "$dir/persist" "$dir/sink"
  new_ns "$ns"
  ip -n "$bridge_ns" link add "p$printer_count" type veth peer name veth0 netns "$ns" ||
    fail "cannot link printer $name"
  ip -n "$bridge_ns" link set "p$printer_count" master "br$link" up
  ip -n "$ns" addr add "$ipv4/24" dev veth0
  ip -n "$ns" link set veth0 up
  ip -n "$ns" route add default dev veth0 2>/dev/null

  if [ "$snmp" = 1 ]; then
    {
      echo "[snmp] persistentDir $dir/persist"
      echo "[snmp] noPersistentLoad yes"
      echo "[snmp] noPersistentSave yes"
      echo "[snmp] mibs :"
      if [ "$ipv6" = 1 ]; then echo "agentAddress udp:161,udp6:161"; else echo "agentAddress udp:161"; fi
      local c
      for c in "${communities[@]}"; do
        echo "rocommunity $c default"
        [ "$ipv6" = 1 ] && echo "rocommunity6 $c default"
      done
      echo "sysName $sysname"
      echo "sysObjectID $oid"
      local v
      for v in "${values[@]}"; do
        echo "override ${v%%=*} octet_str \"${v#*=}\""
      done
      if [ -n "$updates" ]; then
        # net-snmp's persistent pass protocol, answered from a file that the
        # sink rewrites (the plain pass keeps its first answer).
        local uoid=${updates%%=*} pair=${updates#*=}
        uoid=.${uoid#.}
        printf '%s' "${pair%%:*}" > "$dir/installed"
        cat > "$dir/updates.sh" <<AGENT
#!/bin/sh
while read -r command; do
  case "\$command" in
    PING) echo PONG ;;
    get) read -r asked
      if [ "\$asked" = "$uoid" ]; then echo "\$asked"; echo string; cat "$dir/installed"; echo
      else echo NONE; fi ;;
    getnext) read -r asked; echo NONE ;;
    set) read -r asked; read -r value; echo not-writable ;;
    *) echo NONE ;;
  esac
done
AGENT
        echo "pass_persist ${uoid%.0} /bin/sh $dir/updates.sh"
      fi
    } > "$dir/snmpd.conf"
    ip netns exec "$ns" env -i PATH=/usr/sbin:/usr/bin SNMPCONFPATH="$dir" \
      SNMP_PERSISTENT_DIR="$dir/persist" MIBS= \
      "$snmpd_bin" -f -I -smux -C -c "$dir/snmpd.conf" -Lf "$dir/snmpd.log" \
      -p "$dir/snmpd.pid" </dev/null >/dev/null 2>&1 &
    children+=($!)
  fi
  if [ "$sink" != none ]; then
    local after=()
    [ -n "$updates" ] && after=(--after-end "$dir/installed=${updates##*:}")
    ip netns exec "$ns" python3 "$here/print-sink.py" "$dir/sink" --mode "$sink" "${after[@]}" \
      </dev/null >"$dir/sink.out" 2>&1 &
    children+=($!)
  fi
  echo "printer $name $link $ipv4 @LL@$printer_count $dir/sink $ns $snmp $sink" >> "$manifest"
}

agent_count=0
agent() {
  local name=$1 link=$2 list=$3
  shift 3
  [ "$link" -le "$link_count" ] || links "$link"
  agent_count=$((agent_count + 1))
  local ns=${prefix}a$agent_count dir=$run/$name a
  mkdir -p "$dir"
  new_ns "$ns"
  ip -n "$bridge_ns" link add "a$agent_count" type veth peer name veth0 netns "$ns" ||
    fail "cannot link agent $name"
  ip -n "$bridge_ns" link set "a$agent_count" master "br$link" up
  for a in ${list//,/ }; do
    ip -n "$ns" addr add "$a/24" dev veth0 || fail "agent $name: address $a"
  done
  ip -n "$ns" link set veth0 up
  ip -n "$ns" route add default dev veth0 2>/dev/null
  ip netns exec "$ns" python3 "$here/fake-agent.py" "$dir" --bind "$list" "$@" \
    </dev/null >"$dir/agent.out" 2>&1 &
  children+=($!)
  echo "agent $name $link $list @LA@$agent_count $dir $ns" >> "$manifest"
}

[ -z "$topology" ] || source "$topology" || fail "topology $topology failed"
[ "$link_count" -ge 1 ] || links 1

# Ready means: snmpd has logged its start-up line, the sink has said
# "ready", and the printer's link-local address exists.
link_local() {
  ip -n "$1" -6 -o addr show dev veth0 scope link 2>/dev/null | awk '{print $4}' | cut -d/ -f1 | head -1
}
while read -r kind name link ipv4 ll sinkdir ns snmp sink; do
  [ "$kind" = printer ] || continue
  if [ "$snmp" = 1 ]; then
    wait_for grep -q "NET-SNMP version" "$run/$name/snmpd.log" 2>/dev/null ||
      fail "snmpd of $name did not start: $(cat "$run/$name/snmpd.log" 2>/dev/null)"
  fi
  if [ "$sink" != none ]; then
    wait_for grep -q "^ready" "$sinkdir/sink.log" 2>/dev/null ||
      fail "sink of $name did not start: $(cat "$run/$name/sink.out" 2>/dev/null)"
  fi
  wait_for test -n "$(link_local "$ns")" || fail "no link-local address for $name"
  sed -i "s|@LL@${ns##*p} |$(link_local "$ns") |" "$manifest"
done < "$manifest"
while read -r kind name link list ll dir ns; do
  [ "$kind" = agent ] || continue
  wait_for grep -q "^ready" "$dir/agent.log" 2>/dev/null ||
    fail "agent $name did not start: $(cat "$dir/agent.out" 2>/dev/null)"
  wait_for test -n "$(link_local "$ns")" || fail "no link-local address for $name"
  sed -i "s|@LA@${ns##*a} |$(link_local "$ns") |" "$manifest"
done < "$manifest"
# The manifest handed on has the documented six fields per printer.
awk '$1 == "printer" {print $1, $2, $3, $4, $5, $6; next}
     $1 == "agent" {print $1, $2, $3, $4, $5; next} {print}' "$manifest" > "$run/manifest.out"
mv "$run/manifest.out" "$manifest"

ip netns exec "$client_ns" env QUENLO_NETNS_DIR="$run" QUENLO_NETNS_MANIFEST="$manifest" \
  QUENLO_NETNS_CLIENT="$client_ns" \
  timeout --kill-after=5 "$limit" "$@"
status=$?
[ $status = 124 ] && echo "run-in-netns: command timed out after $limit s" >&2
exit $status
