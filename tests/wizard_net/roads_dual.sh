# Dual-stack printers (sourced by tools/netns/run-in-netns.sh): ten agents
# whose IPv6 side answers other texts than their IPv4 side, as two printers
# behind one box would, and two real snmpd printers answering both families.
source "$(dirname "${BASH_SOURCE[0]}")/roads_common.sh"

links 1
for i in $(seq 10); do
  agent DUAL$i 1 198.18.0.$((20 + i)) --oid $model --queries --ipv6 --version V4.$i \
    --name6 "six-$i" --version6 "V6.$i" --status 2
done
printer PRN-A 1 198.18.0.11 --oid $model --ipv6
printer PRN-B 1 198.18.0.12 --oid $model --ipv6
