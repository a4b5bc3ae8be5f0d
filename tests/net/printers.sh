# The private network for the network-core integration tests (sourced by
# tools/netns/run-in-netns.sh). Keep the test program's expectations in step.
#
# Link 1 (client veth0): two printers of the model, one of another model, and
# one of the model that only knows the community "tulip". Their agents do not
# answer IPv6, so an IPv6 discovery finds nobody on link 1.
# Link 2 (client veth1, the third interface after lo and veth0): one printer
# of the model that answers over IPv6.

model=1.3.6.1.4.1.40917.886.300.369.8531.2.7
other=1.3.6.1.4.1.40917.886.300.369.8531.2.8
version_oid=1.3.6.1.4.1.40917.886.300.369.8531.1.2.1.0
deviceid_oid=1.3.6.1.4.1.40917.886.300.369.8531.1.1.0

# A 108-byte status record whose status code (byte 9) is $1, in base64.
status_text() {
  { head -c 9 /dev/zero; printf "\\$(printf '%03o' "$1")"; head -c 98 /dev/zero; } | base64 -w0
}

links 2
printer PRN-A 1 198.18.0.11 --oid $model --community orchid --community tulip \
  --value "$version_oid=V1.02" --value "$deviceid_oid=MFG:Maker;MDL:Model;STS:$(status_text 2);"
printer PRN-B 1 198.18.0.12 --oid $model --sink close-after:100000 \
  --value "$version_oid=V2.00" --value "$deviceid_oid=MFG:Maker;MDL:Model;STS:$(status_text 8);"
printer OTHER-C 1 198.18.0.13 --oid $other --sink none
printer PRN-D 1 198.18.0.14 --oid $model --community tulip \
  --value "$deviceid_oid=MFG:Maker;MDL:Model;STS:$(status_text 5);"
printer PRN-E 2 198.18.1.15 --oid $model --ipv6 \
  --value "$version_oid=V6.01" --value "$deviceid_oid=MFG:Maker;MDL:Model;STS:$(status_text 1);"
