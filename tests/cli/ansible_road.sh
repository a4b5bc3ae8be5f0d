#!/usr/bin/env bash
# The fleet playbook of examples/ansible (role quenlo_update), run with
# ansible-core against this machine inside the private network of
# printers.sh: two "sites" (both local connections) sweep their own subnets,
# and the controller gathers their reports into one fleet report. First with
# --check (a dry run: nothing sent), then once more with one site broken, then
# for real.
#
#   ansible_road.sh QUENLO-CLI PLAYBOOK-FOLDER
set -uo pipefail
cli=$1
playbooks=$2
command -v ansible-playbook >/dev/null || { echo "ansible-playbook not installed: skipped"; exit 77; }
[ -n "${QUENLO_NETNS_MANIFEST:-}" ] || { echo "not inside the private network"; exit 1; }

work=$(mktemp -d /tmp/quenlo-ansible.XXXXXX)
trap 'rm -rf "$work"' EXIT
# TMPDIR: where the site hosts make their report folders.
mkdir -p "$work/tmp"
export XDG_STATE_HOME=$work/state ANSIBLE_LOCAL_TEMP=$work/ansible-local \
  ANSIBLE_REMOTE_TEMP=$work/ansible-remote ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 \
  HOME=$work TMPDIR=$work/tmp

package=$work/package
mkdir -p "$package"
head -c 20000 /dev/urandom > "$package/a.bin"
. "$(dirname "$0")/road_lib.sh"
make_package "$package" '<key>SysOID</key><string>1.3.6.1.4.1.99999.1</string>' a.bin
reports=$work/reports
connections() { # connections NAME...: how many each printer got, in one line
  local name
  for name in "$@"; do grep -c '^conn' "$(sink_of "$name")/sink.log"; done | tr '\n' ' '
}
sites=($(seq -f 'F%02g' 1 20) UP SAME)

inventory() { # inventory SOUTH-PACKAGE
  cat <<INVENTORY
[site_north]
north ansible_connection=local ansible_python_interpreter=/usr/bin/python3

[site_north:vars]
quenlo_subnets=["198.18.0.96/27"]

[site_south]
south ansible_connection=local ansible_python_interpreter=/usr/bin/python3 quenlo_package=$1

[site_south:vars]
quenlo_subnets=["198.18.1.40/31"]

[quenlo_sites:children]
site_north
site_south

[quenlo_sites:vars]
quenlo_cli=$cli
quenlo_package=$package
quenlo_broadcast=false
quenlo_metrics_file=$work/metrics.prom
INVENTORY
}
inventory "$package" > "$work/inventory.ini"
inventory "$work/no-such-package" > "$work/broken.ini"
play() { # play INVENTORY [OPTION...]: the playbook's exit status
  ansible-playbook -i "$1" -e "quenlo_report_dir=$reports" "${@:2}" \
    "$playbooks/fleet-update.yml" >> "$work/ansible.out" 2>&1
}
summary() { # summary FLEET-REPORT: sites, outcomes, printers per site
  python3 -c 'import json,sys
r=json.load(open(sys.argv[1]))
print(len(r["sites"]), r["summary"], sorted(len(s.get("report", {}).get("printers", [])) for s in r["sites"]))' \
    "$1" 2>&1
}

play "$work/inventory.ini" --check
check "--check: the playbook succeeds" [ $? = 0 ]
check "--check: every printer answered the dry run" \
  [ "$(summary "$reports/dry-run/fleet-report.json")" = "2 {'dry-run': 22} [2, 20]" ]
check "--check: no printer got a connection" [ "$(connections "${sites[@]}")" = "$(printf '0 %.0s' "${sites[@]}")" ]
check "--check: no metrics written" [ ! -e "$work/metrics.prom" ]
check "--check: no update's fleet report" [ ! -e "$reports/fleet-report.json" ]

play "$work/broken.ini" --check
check "a site that cannot run: the playbook fails" [ $? != 0 ]
check "the fleet report still comes, naming the site without a report" \
  [ "$(summary "$reports/dry-run/fleet-report.json")" = "2 {'dry-run': 20, 'site-without-report': 1} [0, 20]" ]

play "$work/inventory.ini"
check "the playbook succeeds" [ $? = 0 ]
check "two sites, 22 printers completed" \
  [ "$(summary "$reports/fleet-report.json")" = "2 {'completed': 22} [2, 20]" ]
check "each printer got one connection" [ "$(connections "${sites[@]}")" = "$(printf '1 %.0s' "${sites[@]}")" ]
check "each site's report matches its schema" matches_schema update-report "$reports/north.json"
check "the sites wrote their metrics" metrics_parse "$work/metrics.prom"
check "no report folder stays behind on the site hosts" [ -z "$(ls -A "$work/tmp")" ]
check "the dry runs' fleet report is kept apart" \
  [ "$(summary "$reports/dry-run/fleet-report.json")" = "2 {'dry-run': 20, 'site-without-report': 1} [0, 20]" ]
[ $failures = 0 ] || { cat "$work/ansible.out"; exit 1; }
