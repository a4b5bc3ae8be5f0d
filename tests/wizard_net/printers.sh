# The private network of the network page's window tests (sourced by
# tools/netns/run-in-netns.sh). The test program's expectations follow it.
#
# One link. Printers of the test package's model: PRN-A (also knows the
# community "tulip"), PRN-B (answers over IPv6 too; status code 9), PRN-R
# (nothing listens on its print port), PRN-T (knows only "tulip" and has no
# version object). OTHER-C is a printer of another model.

model=1.3.6.1.4.1.99999.1
other=1.3.6.1.4.1.99999.2
version_oid=1.3.6.1.4.1.40917.886.300.369.8531.1.2.1.0
deviceid_oid=1.3.6.1.4.1.40917.886.300.369.8531.1.1.0

# A 108-byte status record whose status code (byte 9) is $1, in base64.
status_text() {
  { head -c 9 /dev/zero; printf "\\$(printf '%03o' "$1")"; head -c 98 /dev/zero; } | base64 -w0
}
device_id() { echo "$deviceid_oid=MFG:Maker;MDL:Model;STS:$(status_text "$1");"; }

links 1
printer PRN-A 1 198.18.0.11 --oid $model --community orchid --community tulip \
  --value "$version_oid=V1.02" --value "$(device_id 2)"
printer PRN-B 1 198.18.0.12 --oid $model --ipv6 \
  --value "$version_oid=V2.00" --value "$(device_id 9)"
printer OTHER-C 1 198.18.0.13 --oid $other --value "$(device_id 0)"
printer PRN-R 1 198.18.0.15 --oid $model --sink none \
  --value "$version_oid=V3.10" --value "$(device_id 7)"
printer PRN-T 1 198.18.0.14 --oid $model --community tulip --value "$(device_id 5)"
# A printer that never reads its print port, known only to the community
# "stall" so that no other test lists it.
printer PRN-S 1 198.18.0.16 --oid $model --community stall --sink no-read --value "$(device_id 0)"
