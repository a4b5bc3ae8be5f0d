#!/usr/bin/env bash
# Builds the program and its tests and runs every test.
#   scripts/test.sh              release build in build/, all tests
#   scripts/test.sh --sanitize   AddressSanitizer + UBSan build in build-asan/
#   scripts/test.sh --tsan       ThreadSanitizer build in build-tsan/: the cores
#                                and quenlo-cli (labels net, cli, transfer and
#                                their netns roads), where threads meet
# Tests that need private network namespaces (label netns) need root; without
# it they report themselves skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
extra=()
targets=()
select=()
case "${1:-}" in
--sanitize)
  build=build-asan
  extra=(-DQUENLO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp
  ;;
--tsan)
  build=build-tsan
  extra=(-DQUENLO_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo)
  # Only what those tests run: the wizard and its tests are single-threaded
  # Qt Widgets code and stay out of this build.
  targets=(--target quenlo-cli quenlo-usb-printer net_unit_tests net_netns_tests cli_tests
    transfer_tests)
  select=(-L '^(net|netns|cli|transfer)$' -LE wizard)
  # A report ends the program with status 66, so the test that ran it fails.
  export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp"
  ;;
*)
  extra=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
  ;;
esac

cmake -S . -B "$build" -G Ninja "${extra[@]}"
cmake --build "$build" -j "$(nproc)" "${targets[@]}"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure --timeout 300 -j 2 "${select[@]}"
