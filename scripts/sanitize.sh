#!/usr/bin/env bash
# The sanitizer leg of the test command: the Linux suite built again with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer and run whole, with each fuzz target running
# for TOLVANE_FUZZ_SECONDS (default 25) from its seeds beside it. Any report fails the run,
# also one from a child program whose exit a test does not look at.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-sanitize
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTOLVANE_SANITIZE=address,undefined -DTOLVANE_FUZZ=ON -DTOLVANE_BUILD_BENCH=OFF \
    -DTOLVANE_FUZZ_SECONDS="${TOLVANE_FUZZ_SECONDS:-25}"
cmake --build "$build" -j"$(nproc)"

reports="$PWD/$build/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
export ASAN_OPTIONS="log_path=$reports/asan:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="log_path=$reports/ubsan:print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"

status=0
ctest --test-dir "$build" --output-on-failure -j2 || status=$?
if compgen -G "$reports/*" >/dev/null; then
    echo "sanitizer reports:" >&2
    for report in "$reports"/*; do
        echo "== $report" >&2
        cat "$report" >&2
    done
    status=1
fi
exit "$status"
