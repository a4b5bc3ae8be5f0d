# A throw-away update package for tests and benchmarks (sourced).
#
# make_package FOLDER GENERAL-XML FILE[|EXTRA-XML]...: a program stub, its
# settings file with the given General keys and one section per file, in
# order (EXTRA-XML is added to that file's section).
make_package() {
  local folder=$1 general=$2 sections="" i=0 entry
  shift 2
  mkdir -p "$folder"
  printf '#!/bin/sh\n' > "$folder/Quenlo" && chmod +x "$folder/Quenlo"
  for entry in "$@"; do
    sections+="  <key>Fw$i</key><dict><key>FileName</key><string>${entry%%|*}</string>"
    sections+="<key>ReleaseDate</key><string>$((i + 1))</string>"
    [ "$entry" = "${entry#*|}" ] || sections+="${entry#*|}"
    sections+="</dict>"$'\n'
    i=$((i + 1))
  done
  cat > "$folder/Quenlo.plist" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
  <key>General</key>
  <dict>
    <key>ModelName</key><string>QX-310 MFP</string>
    $general
    <key>FwCount</key><string>$i</string>
  </dict>
$sections</dict>
</plist>
PLIST
}
