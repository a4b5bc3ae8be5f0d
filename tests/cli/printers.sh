# The private network of the command-line tool's fleet tests (sourced by
# tools/netns/run-in-netns.sh).
#
# Link 1, reached by broadcast: F01 to F20, printers of the package's model
# (F01 answers over IPv6 as well), and OTHER, a printer of another model.
# Link 2, reached only by unicast (--subnet 198.18.1.0/24 or its addresses):
# STALL never reads its print port, RESET closes after 3000 bytes, SILENT has
# no SNMP agent, UP comes back with a new firmware version after an update,
# SAME with the old one, SLOW1 to SLOW6 read 10 MB per second.
# Link 3, reached only by their addresses: FIRST-RESET and FIRST-STOP take
# 274432 bytes of their first connection, then reset it or never read it
# again (later connections they would read whole).

model=1.3.6.1.4.1.99999.1
other=1.3.6.1.4.1.99999.2
version_oid=1.3.6.1.4.1.40917.886.300.369.8531.1.2.1.0
deviceid_oid=1.3.6.1.4.1.40917.886.300.369.8531.1.1.0

device_id() { echo "$deviceid_oid=MFG:Maker;MDL:Model;SERN:$1;STS:$(head -c 108 /dev/zero | base64 -w0);"; }

links 3
for i in $(seq 1 20); do
  n=$(printf '%02d' "$i")
  extra=()
  [ "$i" = 1 ] && extra=(--ipv6)
  printer "F$n" 1 "198.18.0.$((100 + i))" --oid $model "${extra[@]}" \
    --value "$version_oid=V1.00" --value "$(device_id "SN-F$n")"
done
printer OTHER 1 198.18.0.99 --oid $other --value "$(device_id SN-OTHER)"

printer STALL 2 198.18.1.30 --oid $model --sink no-read --value "$(device_id SN-STALL)"
printer RESET 2 198.18.1.31 --oid $model --sink close-after:3000 --value "$(device_id SN-RESET)"
printer SILENT 2 198.18.1.32 --no-snmp
printer UP 2 198.18.1.40 --oid $model --updates "$version_oid=V1.00:V2.00" \
  --value "$(device_id SN-UP)"
printer SAME 2 198.18.1.41 --oid $model --updates "$version_oid=V1.00:V1.00" \
  --value "$(device_id SN-SAME)"
for i in $(seq 1 6); do
  printer "SLOW$i" 2 "198.18.1.$((50 + i))" --oid $model --sink slow:10000000 \
    --value "$version_oid=V1.00" --value "$(device_id "SN-SLOW$i")"
done
printer FIRST-RESET 3 198.18.2.30 --oid $model --sink reset-first-after:274432 \
  --value "$(device_id SN-FIRST-RESET)"
printer FIRST-STOP 3 198.18.2.31 --oid $model --sink stop-first-after:274432 \
  --value "$(device_id SN-FIRST-STOP)"
