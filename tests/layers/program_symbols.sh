#!/usr/bin/env bash
# The program holds no test hook: nothing of the toolbox's test-support
# library (tb::test, the widgets behind windows) is linked into it, while the
# toolbox itself is.
#   program_symbols.sh <path of the built Quenlo>
set -euo pipefail
symbols=$(nm -C "$1")
grep -q 'tb::CautionAlert' <<<"$symbols" || { echo "FAIL: no toolbox symbols in $1 to judge by"; exit 1; }
if grep -E 'tb::test::|tb::NativeWidget' <<<"$symbols"; then
  echo "FAIL: $1 contains the toolbox's test hooks"
  exit 1
fi
echo "no test hooks in $1"
