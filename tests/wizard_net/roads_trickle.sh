# One printer of the model, and an agent of another model that keeps
# sending its (well-formed, never matching) reply every 0.9 s, over IPv4 and
# over IPv6: both passes are held as long as they can be.
source "$(dirname "${BASH_SOURCE[0]}")/roads_common.sh"

links 1
printer PRN-A 1 198.18.0.11 --oid $model
agent TRICKLE 1 198.18.0.30 --oid $other --trickle 0.9 --ipv6
