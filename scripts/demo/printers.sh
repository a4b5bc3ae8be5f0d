# The virtual printers of the demo (sourced by tools/netns/run-in-netns.sh):
# three printers of the example package's model (examples/package/Quenlo.plist),
# one of them answering over IPv6 as well, and one printer of another model
# that the wizard must leave alone.

model=1.3.6.1.4.1.40917.886.300.369.8531.310
other=1.3.6.1.4.1.40917.886.300.369.8531.999
version_oid=1.3.6.1.4.1.40917.886.300.369.8531.1.2.1.0
deviceid_oid=1.3.6.1.4.1.40917.886.300.369.8531.1.1.0

# The device ID with a 108-byte status record whose status code (byte 9) is $1.
device_id() {
  local sts
  sts=$({ head -c 9 /dev/zero; printf "\\$(printf '%03o' "$1")"; head -c 98 /dev/zero; } | base64 -w0)
  echo "$deviceid_oid=MFG:Quenlo Demo;MDL:QX-310;STS:$sts;"
}

links 1
printer QX310-Office 1 198.18.0.21 --oid $model \
  --value "$version_oid=V1.02" --value "$(device_id 0)"
printer QX310-Lab 1 198.18.0.22 --oid $model --ipv6 \
  --value "$version_oid=V1.05" --value "$(device_id 2)"
printer QX310-Hall 1 198.18.0.23 --oid $model \
  --value "$version_oid=V0.98" --value "$(device_id 1)"
printer Other-Model 1 198.18.0.24 --oid $other --value "$version_oid=V9.00"
