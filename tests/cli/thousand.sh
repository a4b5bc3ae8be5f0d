# A fleet of a thousand on one link (sourced by tools/netns/run-in-netns.sh):
# 1,000 agents of the package's model answering every query, one namespace
# answering from every address of 198.18.4.0/22 (a subnet of the client's),
# and three real snmpd printers among them.
model=1.3.6.1.4.1.99999.1
links 1
client_subnet 1 198.18.4.1/22
fleet=""
for net in 4 5 6 7; do
  for host in $(seq 2 251); do fleet="$fleet${fleet:+,}198.18.$net.$host"; done
done
agent FLEET 1 "$fleet" --oid $model --queries --version V1.00
for i in 1 2 3; do
  printer "T$i" 1 "198.18.0.1$i" --oid $model --sink none \
    --value "1.3.6.1.4.1.40917.886.300.369.8531.1.2.1.0=V1.00"
done
