# A network of odd peers (sourced by tools/netns/run-in-netns.sh): 40 forged
# agents that answer discovery as the model and never answer a query; one
# that sends every reply three times; names in UTF-8, in Latin-1, with
# control characters and of 250 bytes; one real snmpd printer; one agent
# answering from an unrelated address.
source "$(dirname "${BASH_SOURCE[0]}")/roads_common.sh"

links 1
forged=""
for i in $(seq 100 139); do forged="$forged${forged:+,}198.18.0.$i"; done
agent FORGED 1 "$forged" --oid $model
agent REPEAT 1 198.18.0.20 --oid $model --queries --repeat 3 --version V3.00 --status 2 \
  --name-hex "$(hex 'Büro-Drucker')"
agent CONTROL 1 198.18.0.21 --oid $model --queries \
  --name-hex "$(hex $'Lab\e[2J\r\nPrinter\u202e\t1')"
agent LONG 1 198.18.0.22 --oid $model --queries --name-hex "$(hex "$(printf 'L%.0s' $(seq 250))")"
agent LATIN 1 198.18.0.23 --oid $model --queries --name-hex 42fc726f
printer PRN-A 1 198.18.0.11 --oid $model --sysname "Büro-Drucker"
# Answers the broadcast as the model from an address on none of our links.
agent STRANGER 1 1.2.3.4 --oid $model --queries
