# Two links. On link 1 (the client's first interface after the loopback) an
# agent answers every discovery, over IPv4 and IPv6, with junk; the printer
# of the model is on link 2 and answers over IPv6.
source "$(dirname "${BASH_SOURCE[0]}")/roads_common.sh"

links 2
agent JUNK 1 198.18.0.40 --ipv6 --junk
printer PRN-6 2 198.18.1.41 --oid $model --ipv6
