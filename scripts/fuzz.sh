#!/usr/bin/env bash
# Builds the fuzzer of the line decoder and the paper library with clang,
# libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer in build-fuzz/
# (the normal build/ is left alone) and runs it for the given seconds
# (default 600), starting from the seeds in fuzz/seeds/. New inputs that reach
# new code collect in build-fuzz/corpus/; a crash, a sanitizer report or an
# input slower than 25 s (a generous bound: the machine may be busy, and a
# sanitized 2 m page is slow) is written to build-fuzz/findings/ and stops the
# run.
# Copy a finding into fuzz/seeds/ once it is mended: the test tst_fuzz_seeds
# runs every seed in the normal build.
# Usage: scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
case "$seconds" in
    ''|*[!0-9]*) echo "usage: $0 [seconds]" >&2; exit 2 ;;
esac
scripts/install-deps.sh fuzz

flags="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-fuzz "${launcher[@]}" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS="$flags" \
    -DTELVAR_FUZZ=ON >build-fuzz.log 2>&1 || { cat build-fuzz.log >&2; exit 1; }
rm -f build-fuzz.log
cmake --build build-fuzz -j"$(nproc)" --target telvar-paperfuzz

mkdir -p build-fuzz/corpus build-fuzz/findings
# Leaks are left to scripts/sanitize.sh: the fonts' caches that Qt keeps for
# the whole run would be taken for leaks of the input that filled them.
# A small quarantine: the pages are big, and a large one keeps hundreds of
# megabytes of freed pages resident.
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:quarantine_size_mb=64"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export QT_QPA_PLATFORM=offscreen
exec build-fuzz/fuzz/telvar-paperfuzz build-fuzz/corpus fuzz/seeds \
    -max_total_time="$seconds" -max_len=4096 -timeout=25 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix=build-fuzz/findings/
