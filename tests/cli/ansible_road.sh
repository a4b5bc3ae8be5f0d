#!/usr/bin/env bash
# The fleet playbook of examples/ansible, run with ansible-core against this
# machine inside the private network of printers.sh: two "sites" (both local
# connections) sweep their own subnets, and the controller gathers their
# reports into one fleet report.
#
#   ansible_road.sh QUENLO-CLI PLAYBOOK-FOLDER
set -uo pipefail
cli=$1
playbooks=$2
command -v ansible-playbook >/dev/null || { echo "ansible-playbook not installed: skipped"; exit 77; }
[ -n "${QUENLO_NETNS_MANIFEST:-}" ] || { echo "not inside the private network"; exit 1; }

work=$(mktemp -d /tmp/quenlo-ansible.XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME=$work/state ANSIBLE_LOCAL_TEMP=$work/ansible-local \
  ANSIBLE_REMOTE_TEMP=$work/ansible-remote ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 \
  HOME=$work

package=$work/package
mkdir -p "$package"
head -c 20000 /dev/urandom > "$package/a.bin"
. "$(dirname "$0")/road_lib.sh"
make_package "$package" '<key>SysOID</key><string>1.3.6.1.4.1.99999.1</string>' a.bin

cat > "$work/inventory.ini" <<INVENTORY
[site_north]
north ansible_connection=local ansible_python_interpreter=/usr/bin/python3

[site_north:vars]
quenlo_subnets=["198.18.0.96/27"]

[site_south]
south ansible_connection=local ansible_python_interpreter=/usr/bin/python3

[site_south:vars]
quenlo_subnets=["198.18.1.40/31"]

[quenlo_sites:children]
site_north
site_south

[quenlo_sites:vars]
quenlo_cli=$cli
quenlo_package=$package
quenlo_options=["--no-broadcast"]
quenlo_report_dir=$work/reports
INVENTORY

ansible-playbook -i "$work/inventory.ini" -e "quenlo_report_dir=$work/reports" \
  "$playbooks/fleet-update.yml" > "$work/ansible.out" 2>&1
status=$?
summary=$(python3 -c 'import json,sys
r=json.load(open(sys.argv[1]))
print(len(r["sites"]), r["summary"], sorted(len(s["report"]["printers"]) for s in r["sites"]))' \
  "$work/reports/fleet-report.json" 2>&1)
if [ $status = 0 ] && [ "$summary" = "2 {'completed': 22} [2, 20]" ]; then
  echo "ok: two sites, 22 printers completed: $summary"
  exit 0
fi
echo "FAILED: playbook status $status, fleet report: $summary"
cat "$work/ansible.out"
exit 1
