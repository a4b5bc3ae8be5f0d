# Shared by the command-line tool's road tests (sourced): checks that count
# their failures, reading a JSON report, checking documents against their
# schemas and metrics files with promtool, and a throw-away package.

failures=0
check() { # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
# The sink folder of printer NAME of the private network's manifest.
sink_of() { awk -v n="$1" '$1 == "printer" && $2 == n {print $6}' "$QUENLO_NETNS_MANIFEST"; }
json_field() { python3 -c "import json,sys; r=json.load(open(sys.argv[1])); print($2)" "$1"; }

. "$(dirname "${BASH_SOURCE[0]}")/../../tools/package.sh"

# matches_schema NAME FILE: FILE is valid against docs/schemas/NAME.schema.json.
matches_schema() {
  python3 "$(dirname "${BASH_SOURCE[0]}")/validate_json.py" \
    "$(dirname "${BASH_SOURCE[0]}")/../../docs/schemas/$1.schema.json" "$2"
}
# breaks_schema NAME FILE PYTHON: the document changed by PYTHON (on r) is not.
breaks_schema() {
  python3 -c "import json,sys; r=json.load(open(sys.argv[1])); $3; json.dump(r, open(sys.argv[2], 'w'))" \
    "$2" "$2.broken" && ! matches_schema "$1" "$2.broken" > /dev/null
}
# metrics_parse FILE: promtool, the Prometheus tools' own parser, takes it.
metrics_parse() { promtool check metrics < "$1"; }
# metric FILE NAME [LABEL="VALUE"]: the values of the samples of NAME that
# carry that label, one a line.
metric() {
  awk -v name="$2{" -v label="${3:-}" \
    'index($0, name) == 1 && index($0, label) > 0 {print $NF}' "$1"
}
