#!/usr/bin/env bash
# Fleet road tests of quenlo-cli inside the private network of printers.sh.
#
#   fleet_road.sh SCENARIO QUENLO-CLI
#
# Run by CTest through tools/netns/run-in-netns.sh; the manifest names each
# printer's sink folder. Expected bytes are written out literally here.
set -uo pipefail
scenario=$1
cli=$2
[ -n "${QUENLO_NETNS_MANIFEST:-}" ] || { echo "not inside the private network"; exit 1; }

work=$(mktemp -d /tmp/quenlo-fleet.XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME=$work/state

. "$(dirname "$0")/road_lib.sh"

# The package: two files, the second smaller; StallTimeout 5 s.
package=$work/package
mkdir -p "$package"
head -c "${FIRST_SIZE:-20000}" /dev/urandom > "$package/a.bin"
head -c 5000 /dev/urandom > "$package/b.bin"
general='<key>SysOID</key><string>1.3.6.1.4.1.99999.1</string><key>StallTimeout</key><string>5</string>'
write_settings() { make_package "$package" "$general" a.bin "b.bin|$1"; } # [EXTRA-FW1-XML]
write_settings ""
# What a printer must hold after a whole update: file, separator; file, end.
printf '\xaa\x55\x55\xaa' | cat "$package/a.bin" - > "$work/expect-1.bin"
printf '\x00\x00\x00\x00' | cat "$package/b.bin" - > "$work/expect-2.bin"

updated_whole() { # the printer got exactly two connections with the whole package
  local sink; sink=$(sink_of "$1")
  cmp -s "$sink/conn-1.bin" "$work/expect-1.bin" && cmp -s "$sink/conn-2.bin" "$work/expect-2.bin" &&
    [ ! -e "$sink/conn-3.bin" ]
}
no_connection() { ! grep -q '^conn' "$(sink_of "$1")/sink.log"; }
# Waits up to 10 s for the sink to log its Nth finished connection (the
# sink may still be reading what the kernel buffered after the tool ended).
wait_conn() {
  local i
  for i in $(seq 200); do
    [ "$(grep -c '^conn' "$(sink_of "$1")/sink.log")" -ge "$2" ] && return 0
    sleep 0.05
  done
  return 1
}
outcome() { # outcome REPORT ADDRESS [FIELD] -> the printer's outcome (or another field)
  python3 -c 'import json,sys
r=json.load(open(sys.argv[1]))
print(" ".join(p[sys.argv[3]] for p in r["printers"] if p["address"]==sys.argv[2]))' \
    "$1" "$2" "${3:-outcome}"
}

cli() { "$cli" --package "$package" "$@"; }
F=(); for i in $(seq 1 20); do F+=("$(printf 'F%02d' "$i")"); done

case "$scenario" in
list)
  cli list --json > "$work/list.json"; status=$?
  check "list exits 0" [ $status = 0 ]
  check "list finds F01 to F20 and not OTHER" [ "$(json_field "$work/list.json" \
    '" ".join(sorted(p["serial"] for p in r["printers"]))')" = \
    "$(printf 'SN-F%02d ' $(seq 1 20) | sed 's/ $//')" ]
  check "F01 is one entry with its IPv4 and IPv6 addresses" [ "$(json_field "$work/list.json" \
    '[len(p["addresses"]) for p in r["printers"] if p["serial"]=="SN-F01"]')" = "[2]" ]
  check "F01 is listed under its IPv4 address" [ "$(json_field "$work/list.json" \
    '[p["address"] for p in r["printers"] if p["serial"]=="SN-F01"]')" = "['198.18.0.101']" ]
  check "list --json matches its schema" matches_schema list "$work/list.json"
  check "the schema refuses a printer without addresses" \
    breaks_schema list "$work/list.json" 'r["printers"][0]["addresses"]=[]'
  cli list --json --no-broadcast --subnet 198.18.1.0/24 > "$work/subnet.json"
  check "a subnet sweep finds the link broadcast does not reach" [ "$(json_field "$work/subnet.json" \
    '" ".join(sorted(p["address"] for p in r["printers"]))')" = \
    "198.18.1.30 198.18.1.31 198.18.1.40 198.18.1.41 198.18.1.51 198.18.1.52 198.18.1.53 198.18.1.54 198.18.1.55 198.18.1.56" ]
  cli list --csv --no-broadcast --address 198.18.0.105 > "$work/one.csv"
  check "an --address alone, as CSV" [ "$(sed -n 2p "$work/one.csv" | cut -d, -f1,4,5)" = \
    "198.18.0.105,SN-F05,V1.00" ]
  cli list --subnet 10.0.0.0/8 > /dev/null 2>&1; status=$?
  check "a range wider than /16 is a usage error" [ $status = 2 ]
  ;;
update-all)
  mkdir "$work/metrics"
  cli update --all --parallel 8 --report "$work/report.json" --metrics "$work/metrics/fleet.prom" \
    > "$work/out.txt"; status=$?
  check "every printer completed: exit 0" [ $status = 0 ]
  for name in "${F[@]}"; do check "$name holds file, marker, file, marker" updated_whole "$name"; done
  check "OTHER got nothing" no_connection OTHER
  check "the report says completed twenty times" [ "$(json_field "$work/report.json" \
    '" ".join(p["outcome"] for p in r["printers"])')" = "$(printf 'completed %.0s' $(seq 20) | sed 's/ $//')" ]
  check "bytes_sent counts files and markers" [ "$(json_field "$work/report.json" \
    'set(p["bytes_sent"] for p in r["printers"])')" = "{25008}" ]
  check "the report names the package's files with their SHA-256" [ "$(json_field "$work/report.json" \
    '" ".join(f["name"] + ":" + f["sha256"] for f in r["package"]["files"])')" = \
    "a.bin:$(sha256sum < "$package/a.bin" | cut -c1-64) b.bin:$(sha256sum < "$package/b.bin" | cut -c1-64)" ]
  check "the history has twenty lines" [ "$(wc -l < "$XDG_STATE_HOME/quenlo/history.jsonl")" = 20 ]
  check "the report matches its schema" matches_schema update-report "$work/report.json"
  cli history --json > "$work/history.json"
  check "history --json matches its schema" matches_schema history "$work/history.json"
  m=$work/metrics/fleet.prom
  check "the metrics parse" metrics_parse "$m"
  check "the metrics count twenty completed printers and nothing else" [ "$(metric "$m" \
    quenlo_update_printers | tr '\n' ' ')" = "20 0 0 0 0 0 0 " ]
  check "the metrics' bytes are the report's" [ "$(metric "$m" quenlo_update_sent_bytes)" = \
    "$(json_field "$work/report.json" 'sum(p["bytes_sent"] for p in r["printers"])')" ]
  check "every printer has its bytes and duration" [ "$(metric "$m" quenlo_update_printer_sent_bytes \
    'outcome="completed"' | wc -l) $(metric "$m" quenlo_update_printer_duration_seconds | wc -l)" = "20 20" ]
  check "the run's end time is now" python3 -c 'import sys,time
sys.exit(abs(time.time() - float(sys.argv[1])) > 60)' "$(metric "$m" quenlo_update_end_timestamp_seconds)"
  ;;
destinations)
  # A destination that cannot take the file is a usage error found before
  # any printer is asked: with --verbose the SNMP exchanges would show beside
  # the lines of reading the package, which an update without printers shows.
  diagnostics() { grep -v '^quenlo-cli: \|^Try ' "$1"; }
  cli --verbose update 2> "$work/package-read.txt"
  mkdir "$work/folder.prom"
  for bad in "$work/none/fleet.prom" "$work/folder.prom" "$work/fleet.txt"; do
    cli --verbose update --all --metrics "$bad" > "$work/out.txt" 2> "$work/err.txt"; status=$?
    check "--metrics $bad: exit 2" [ $status = 2 ]
    check "--metrics $bad: said why" grep -q '^quenlo-cli: update: --metrics' "$work/err.txt"
    check "--metrics $bad: asked nobody" cmp -s <(diagnostics "$work/err.txt") \
      <(diagnostics "$work/package-read.txt")
  done
  for name in "${F[@]}"; do check "$name got nothing" no_connection "$name"; done
  # A run that reaches no printer still leaves its report and metrics.
  printf 'old' > "$work/fleet.prom"
  cli update --all --no-broadcast --address 198.18.1.32 --report "$work/none.json" \
    --metrics "$work/fleet.prom" > "$work/out.txt"; status=$?
  check "no printer found: exit 1" [ $status = 1 ]
  check "the report lists no printer" [ "$(json_field "$work/none.json" 'len(r["printers"])')" = 0 ]
  check "and matches its schema" matches_schema update-report "$work/none.json"
  check "the metrics, replaced, count no printer" [ "$(metric "$work/fleet.prom" quenlo_update_printers \
    | sort -u) $(metric "$work/fleet.prom" quenlo_update_sent_bytes)" = "0 0" ]
  check "and parse" metrics_parse "$work/fleet.prom"
  ;;
failures)
  # Larger than what the printers' socket buffers take without reading.
  head -c 16000000 /dev/urandom > "$package/a.bin"
  printf '\xaa\x55\x55\xaa' | cat "$package/a.bin" - > "$work/expect-1.bin"
  cli update 198.18.0.101 198.18.1.30 198.18.1.31 198.18.1.32 --parallel 4 \
    --report "$work/report.json" > "$work/out.txt"; status=$?
  check "a printer that did not complete: exit 1" [ $status = 1 ]
  check "F01 completed beside the others" [ "$(outcome "$work/report.json" 198.18.0.101)" = completed ]
  check "F01 holds the whole package" updated_whole F01
  check "STALL failed after the stall limit" [ "$(outcome "$work/report.json" 198.18.1.30)" = failed ]
  check "STALL's cause is stalled" [ "$(outcome "$work/report.json" 198.18.1.30 cause)" = stalled ]
  check "RESET failed" [ "$(outcome "$work/report.json" 198.18.1.31)" = failed ]
  check "RESET's cause is reset" [ "$(outcome "$work/report.json" 198.18.1.31 cause)" = reset ]
  check "SILENT is unreachable" [ "$(outcome "$work/report.json" 198.18.1.32)" = unreachable ]
  check "the log line names the cause" grep -q '198.18.1.31.*failed (reset)' "$work/out.txt"
  check "no marker after part of a file at RESET" wait_conn RESET 1
  ;;
thousand)
  # tests/cli/thousand.sh: every one of 1,003 printers listed with its own
  # answers, by list and by update --all --dry-run.
  cli list --json > "$work/list.json"; status=$?
  check "list exits 0" [ $status = 0 ]
  check "all 1,003 listed, each under its own name" [ "$(json_field "$work/list.json" \
    'sum(1 for p in r["printers"] if p["name"] in (p["address"], "T1", "T2", "T3") and p["firmware"] == "V1.00")')" = 1003 ]
  cli update --all --dry-run --report "$work/report.csv" > "$work/out.txt"; status=$?
  check "dry run exits 0" [ $status = 0 ]
  check "the dry run reports all 1,003" [ "$(grep -c ',dry-run,' "$work/report.csv")" = 1003 ]
  ;;
dry-run)
  cli update --all --dry-run --report "$work/report.csv" > "$work/out.txt"; status=$?
  check "every printer answered: exit 0" [ $status = 0 ]
  for name in "${F[@]}"; do check "$name got no connection" no_connection "$name"; done
  check "the CSV report says dry-run twenty times" [ "$(grep -c ',dry-run,' "$work/report.csv")" = 20 ]
  ;;
verify)
  cli update 198.18.1.40 198.18.1.41 --verify --verify-timeout 30 \
    --report "$work/report.json" > "$work/out.txt"; status=$?
  check "a printer whose version stayed: exit 1" [ $status = 1 ]
  check "UP came back with V2.00" [ "$(json_field "$work/report.json" \
    '[(p["firmware_before"], p["firmware_after"], p["outcome"]) for p in r["printers"] if p["address"]=="198.18.1.40"]')" = \
    "[('V1.00', 'V2.00', 'completed')]" ]
  check "SAME is version-unchanged" [ "$(outcome "$work/report.json" 198.18.1.41)" = version-unchanged ]
  ;;
interrupt)
  # Three seconds at the sinks' 10 MB/s: far more than the socket buffers
  # between the tool and a sink hold, so the interrupt comes during a.bin.
  head -c 30000000 /dev/urandom > "$package/a.bin"
  "$cli" --package "$package" update 198.18.1.51 198.18.1.52 198.18.1.53 198.18.1.54 198.18.1.55 \
    198.18.1.56 --parallel 4 --report "$work/report.json" > "$work/out.txt" &
  pid=$!
  # Interrupted once the first printer has taken a megabyte.
  for i in $(seq 200); do
    [ "$(stat -c %s "$(sink_of SLOW1)/conn-1.bin" 2>/dev/null || echo 0)" -gt 1000000 ] && break
    sleep 0.05
  done
  kill -INT $pid
  wait $pid; status=$?
  check "a cancelled update: exit 1" [ $status = 1 ]
  printf '\xff\xff\xff\xff' | cat "$package/a.bin" - > "$work/cancelled.bin"
  for i in 1 2 3 4; do
    wait_conn SLOW$i 1
    check "SLOW$i got the rest of its file and FF FF FF FF" cmp -s "$(sink_of SLOW$i)/conn-1.bin" "$work/cancelled.bin"
    check "SLOW$i got nothing after it" [ ! -e "$(sink_of SLOW$i)/conn-2.bin" ]
  done
  for i in 5 6; do check "SLOW$i, not started, got nothing" no_connection SLOW$i; done
  check "the report says cancelled six times" [ "$(json_field "$work/report.json" \
    '" ".join(p["outcome"] for p in r["printers"])')" = "cancelled cancelled cancelled cancelled cancelled cancelled" ]
  ;;
checksum)
  write_settings "<key>SHA256</key><string>$(printf '0%.0s' $(seq 64))</string>"
  cli update --all > "$work/out.txt" 2> "$work/err.txt"; status=$?
  check "a wrong SHA256 is a package that cannot be used: exit 2" [ $status = 2 ]
  check "the message names the file" grep -q 'b.bin: SHA256 mismatch' "$work/err.txt"
  for name in "${F[@]}"; do check "$name got nothing" no_connection "$name"; done
  ;;
first-file)
  # Most of a.bin reaches each printer, which then resets that connection or
  # never reads it again; b.bin it would read whole. The first file is never
  # acknowledged: the printer fails there and gets no second file. The rest
  # after the printer stops is small enough for the smallest send buffer, so
  # that every byte is written and only the acknowledgement is missing;
  # a larger rest could end in a stall first, depending on how far the
  # kernel grew the buffer.
  head -c 280000 /dev/urandom > "$package/a.bin"
  cli update 198.18.0.102 198.18.2.30 198.18.2.31 --report "$work/report.json" \
    > "$work/out.txt"; status=$?
  check "a printer that did not hold its first file: exit 1" [ $status = 1 ]
  check "F02 completed beside them" [ "$(outcome "$work/report.json" 198.18.0.102)" = completed ]
  check "FIRST-RESET failed, reset" [ "$(outcome "$work/report.json" 198.18.2.30) $(outcome \
    "$work/report.json" 198.18.2.30 cause)" = "failed reset" ]
  check "FIRST-STOP failed, not acknowledged" [ "$(outcome "$work/report.json" 198.18.2.31) $(outcome \
    "$work/report.json" 198.18.2.31 cause)" = "failed not-acknowledged" ]
  for name in FIRST-RESET FIRST-STOP; do
    check "$name got no second connection" [ ! -e "$(sink_of "$name")/conn-2.bin" ]
  done
  check "bytes_sent counts what the printers took, short of the package" python3 -c '
import json, sys
r = json.load(open(sys.argv[1]))
sent = {p["address"]: p["bytes_sent"] for p in r["printers"]}
sys.exit(0 if 274432 <= sent["198.18.2.30"] <= 280004 and sent["198.18.0.102"] == 285008 else 1)' \
    "$work/report.json"
  ;;
rewritten)
  # A 30 MB file at 10 MB/s, rewritten in place a second into the send, with
  # and without its SHA256 key: its marker never follows.
  head -c 30000000 /dev/urandom > "$package/a.bin"
  for keyed in yes no; do
    extra=""
    [ $keyed = yes ] && extra="<key>SHA256</key><string>$(sha256sum < "$package/a.bin" | cut -c1-64)</string>"
    make_package "$package" "$general" "a.bin|$extra" b.bin
    before=$(grep -c '^conn' "$(sink_of SLOW5)/sink.log")
    cli update 198.18.1.55 --report "$work/report.json" > "$work/out.txt" &
    pid=$!
    for i in $(seq 200); do
      [ "$(stat -c %s "$(sink_of SLOW5)/conn-$((before + 1)).bin" 2>/dev/null || echo 0)" -gt 8000000 ] && break
      sleep 0.05
    done
    head -c 30000000 /dev/urandom | dd of="$package/a.bin" conv=notrunc status=none
    wait $pid; status=$?
    check "rewritten ($keyed key): exit 1" [ $status = 1 ]
    check "rewritten ($keyed key): failed, file-changed" [ "$(outcome "$work/report.json" \
      198.18.1.55) $(outcome "$work/report.json" 198.18.1.55 cause)" = "failed file-changed" ]
    wait_conn SLOW5 $((before + 1))
    check "rewritten ($keyed key): no marker, no second file" [ \
      "$(grep -c '^conn' "$(sink_of SLOW5)/sink.log")" = $((before + 1)) ]
    check "rewritten ($keyed key): the connection ends in no marker" [ "$(tail -c 4 \
      "$(sink_of SLOW5)/conn-$((before + 1)).bin" | od -An -tx1 | tr -d ' ')" != aa5555aa ]
  done
  ;;
report-first)
  # A report that cannot be written is found before anything is asked or sent.
  # The locked folder is tried by a user other than root, who may write anywhere.
  mkdir -p "$work/locked" "$work/folder.json"
  mkfifo "$work/fifo.json"
  chmod 755 "$work" "$work/locked"
  chmod -R a+rX "$package"
  nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  for report in "$work/missing/r.json" "$work/folder.json" "$work/fifo.json" \
    "$work/locked/r.json"; do
    as=()
    [ "$report" = "$work/locked/r.json" ] && as=("${nobody[@]}")
    timeout 20 "${as[@]}" "$cli" --package "$package" update 198.18.0.103 --report "$report" \
      > "$work/out.txt" 2> "$work/err.txt"; status=$?
    check "--report $(basename "$(dirname "$report")")/$(basename "$report"): exit 2" [ $status = 2 ]
    check "--report $(basename "$report"): the reason is told" grep -q -- '--report' "$work/err.txt"
  done
  check "the FIFO is still a FIFO" [ -p "$work/fifo.json" ]
  check "F03 got no connection" no_connection F03
  # Written through a temporary file renamed into place, over a link's target.
  echo old > "$work/target.json"
  ln -s target.json "$work/link.json"
  cli update 198.18.0.103 --report "$work/link.json" > "$work/out.txt"; status=$?
  check "a link to a regular file takes the report: exit 0" [ $status = 0 ]
  check "the link is kept and its target is the report" [ -L "$work/link.json" ] && \
    [ "$(outcome "$work/target.json" 198.18.0.103)" = completed ]
  ;;
*) echo "unknown scenario $scenario"; exit 2 ;;
esac
[ $failures = 0 ] || { echo "--- quenlo-cli said:"; cat "$work/out.txt" 2>/dev/null; exit 1; }
