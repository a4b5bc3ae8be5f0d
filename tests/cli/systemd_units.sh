#!/usr/bin/env bash
# The scheduled update of examples/systemd.
#
#   systemd_units.sh verify UNIT-FOLDER
#       systemd-analyze verify passes on an instance of the service and of
#       the timer, without a word of warning.
#   systemd_units.sh window QUENLO-CLI UNIT-FOLDER
#       (inside the private network of printers.sh) the service's command,
#       expanded as systemd would with the example environment file and a
#       window of two seconds, cancels the slow printers cleanly when the
#       window closes and still leaves its report and metrics.
set -uo pipefail
mode=$1
work=$(mktemp -d /tmp/quenlo-systemd.XXXXXX)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/road_lib.sh"

case $mode in
verify)
  units=$2
  command -v systemd-analyze > /dev/null || { echo "systemd-analyze missing: run scripts/setup.sh"; exit 1; }
  cp "$units/quenlo-update@.service" "$units/quenlo-update@.timer" "$work/"
  # --man=no: the manual page named by Documentation= is not installed here.
  (cd "$work" && systemd-analyze verify --man=no ./quenlo-update@north.service \
    ./quenlo-update@north.timer) > "$work/verify.out" 2>&1
  status=$?
  check "systemd-analyze verify passes" [ $status = 0 ]
  check "and says nothing (an unknown key is only a warning)" [ ! -s "$work/verify.out" ]
  calendar() { systemd-analyze calendar "$(sed -n 's/^OnCalendar=//p' "$units/quenlo-update@.timer")" > /dev/null; }
  check "the timer's window opening is a calendar time" calendar
  cat "$work/verify.out"
  ;;
window)
  cli=$2
  units=$3
  [ -n "${QUENLO_NETNS_MANIFEST:-}" ] || { echo "not inside the private network"; exit 1; }
  export XDG_STATE_HOME=$work/xdg HOME=$work
  package=$work/package
  # Three seconds at the slow printers' 10 MB/s: still sending when the
  # two-second window closes.
  mkdir -p "$package" "$work/state/quenlo/north" "$work/metrics"
  head -c 30000000 /dev/urandom > "$package/a.bin"
  head -c 5000 /dev/urandom > "$package/b.bin"
  make_package "$package" '<key>SysOID</key><string>1.3.6.1.4.1.99999.1</string>' a.bin b.bin
  # The example file, then what differs here (a later line wins, as in systemd).
  { cat "$units/site.conf"
    echo "QUENLO_PACKAGE=$package"
    echo "QUENLO_OPTIONS=--no-broadcast --address=198.18.1.51 --address=198.18.1.52 --parallel=2"
    echo "QUENLO_WINDOW=2s"
    echo "QUENLO_METRICS=--metrics=$work/metrics/quenlo-update-north.prom"
  } > "$work/north.conf"
  mapfile -t argv < <(python3 "$(dirname "$0")/unit_command.py" "$units/quenlo-update@.service" \
    north "$work/state" "$work/north.conf")
  under_window() { grep -qF -- "/usr/bin/timeout --preserve-status --signal=INT 2s /usr/bin/quenlo-cli" <<< "${argv[*]}"; }
  check "the service runs quenlo-cli under the window" under_window
  for i in "${!argv[@]}"; do [ "${argv[i]}" = /usr/bin/quenlo-cli ] && argv[i]=$cli; done
  "${argv[@]}" > "$work/out.txt" 2>&1
  status=$?
  check "the window closed on running updates: exit 1" [ $status = 1 ]
  report=$work/state/quenlo/north/report.json
  check "the report says cancelled for both" [ "$(json_field "$report" \
    '" ".join(p["outcome"] for p in r["printers"])')" = "cancelled cancelled" ]
  printf '\xff\xff\xff\xff' | cat "$package/a.bin" - > "$work/cancelled.bin"
  for name in SLOW1 SLOW2; do
    for i in $(seq 200); do grep -q '^conn' "$(sink_of $name)/sink.log" && break; sleep 0.05; done
    check "$name got the rest of its file and the cancel marker" \
      cmp -s "$(sink_of $name)/conn-1.bin" "$work/cancelled.bin"
    check "$name got nothing after it" [ ! -e "$(sink_of $name)/conn-2.bin" ]
  done
  m=$work/metrics/quenlo-update-north.prom
  check "the metrics parse" metrics_parse "$m"
  check "the metrics count two cancelled printers" \
    [ "$(metric "$m" quenlo_update_printers 'outcome="cancelled"')" = 2 ]
  check "the history went to the state folder" \
    [ "$(wc -l < "$work/state/quenlo/north/quenlo/history.jsonl")" = 2 ]
  [ $failures = 0 ] || cat "$work/out.txt"
  ;;
*) echo "unknown mode $mode"; exit 2 ;;
esac
[ $failures = 0 ]
