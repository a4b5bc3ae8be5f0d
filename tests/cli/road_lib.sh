# Shared by the command-line tool's road tests (sourced): checks that count
# their failures, reading a JSON report, and a throw-away package.

failures=0
check() { # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
json_field() { python3 -c "import json,sys; r=json.load(open(sys.argv[1])); print($2)" "$1"; }

. "$(dirname "${BASH_SOURCE[0]}")/../../tools/package.sh"
