#!/usr/bin/env bash
# Installs what is missing, builds the benchmark and prints its table.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
cmake -S . -B build
cmake --build build -j"$(nproc)" --target telvar-bench
exec build/bench/telvar-bench
