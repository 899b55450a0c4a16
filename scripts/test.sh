#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, the
# whole suite again under AddressSanitizer + UndefinedBehaviorSanitizer, and the
# threaded suites under ThreadSanitizer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"

export QT_QPA_PLATFORM=offscreen
jobs="$(nproc)"
# Suites whose code shares data between threads.
tsan_suites=(updater_contract_tests dispatcher_tests stm32_uart_client_tests uart_bridge_tests cli_tests work_queue_tests)

run_ctest() {
  local dir="$1"; shift
  (cd "$dir" && ctest --output-on-failure -j"$jobs" "$@")
}

started=$SECONDS
echo "== normal build"
"$root/scripts/build.sh" normal
run_ctest "$root/build"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
"$root/scripts/build.sh" asan
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_ctest "$root/build-asan"

echo "== ThreadSanitizer build (${tsan_suites[*]})"
"$root/scripts/build.sh" tsan "${tsan_suites[@]}"
regex="^($(IFS='|'; echo "${tsan_suites[*]}"))\$"
# die_after_fork=0: after QProcess has started a tool (dfu-util-static), the
# sanitizer takes the CLI for a child of a multithreaded fork and kills it at
# its next new thread; races are still reported and halt the run.
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 die_after_fork=0 suppressions=$root/tests/tsan.supp" \
  run_ctest "$root/build-tsan" -R "$regex"

echo "all test runs passed in $((SECONDS - started)) s"
