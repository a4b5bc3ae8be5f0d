#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UBSan) into
# build-fuzz/ and runs each one for a bounded time on a copy of its seed
# corpus from fuzz/corpus/. Exits non-zero when a target finds anything;
# the crashing input is left in build-fuzz/artifacts/.
#   scripts/fuzz.sh            60 s per target
#   FUZZ_SECONDS=10 scripts/fuzz.sh
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
targets=(fuzz_snmp_response fuzz_status_decoder fuzz_request_builder fuzz_settings
  fuzz_package_check)

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQUENLO_FUZZ=ON >/dev/null
cmake --build build-fuzz -j 2 --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p build-fuzz/artifacts
status=0
for t in "${targets[@]}"; do
  seeds=fuzz/corpus/${t#fuzz_}
  work=build-fuzz/corpus/${t#fuzz_}
  mkdir -p "$work"
  cp -n "$seeds"/* "$work"/ 2>/dev/null || true
  echo "== $t for $seconds s"
  if ! "build-fuzz/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="build-fuzz/artifacts/$t-" "$work" 2>"build-fuzz/$t.log"; then
    echo "fuzz: $t found a problem:" >&2
    tail -40 "build-fuzz/$t.log" >&2
    status=1
  else
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "build-fuzz/$t.log" || true
  fi
done
exit $status
