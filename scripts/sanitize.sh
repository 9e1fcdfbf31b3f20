#!/usr/bin/env bash
# Builds the program, the virtual controller and every test with
# AddressSanitizer and UndefinedBehaviorSanitizer in build-sanitize/ (the
# normal build/ is left alone) and runs the whole test suite under them, with
# leak detection on. Any report fails the run. Leaks that live entirely inside
# system libraries are listed, each with its reason, in
# scripts/sanitize-leaks.supp. Safe to run again: it only rebuilds what changed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/install-deps.sh test

flags="-fsanitize=address,undefined -fno-omit-frame-pointer"
cmake -S . -B build-sanitize \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="$flags" \
    -DCMAKE_SHARED_LINKER_FLAGS="$flags"
cmake --build build-sanitize -j"$(nproc)"

# detect_leaks: a leak fails the test that caused it (LeakSanitizer runs at exit).
# halt_on_error: undefined behaviour stops the test at once instead of printing
# and going on, so that it cannot pass unnoticed.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:check_initialization_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$root/scripts/sanitize-leaks.supp:print_suppressions=0"
log=build-sanitize/last-run.log
ctest --test-dir build-sanitize --output-on-failure 2>&1 | tee "$log" && exit 0
# LeakSanitizer's own tracer now and then crashes while it stops the
# program's threads at exit ("LeakSanitizer has encountered a fatal error"):
# the checker failed, it found nothing. Then, and only then, the failed tests
# run once more; a report of any kind, or any other failure, fails the run.
if grep -q 'LeakSanitizer has encountered a fatal error' "$log" \
    && ! grep -qE 'ERROR: (Address|Leak|UndefinedBehavior)Sanitizer:|runtime error:|FAIL!' "$log"; then
    echo "The leak checker itself failed; running the failed tests once more."
    exec ctest --test-dir build-sanitize --output-on-failure --rerun-failed
fi
exit 1
