#!/usr/bin/env bash
# Installs what is missing, builds the benchmark and prints its table.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
cmake -S . -B build
cmake --build build -j"$(nproc)" --target telvar-bench
# Start-up is measured to the window mapped on a display: without one, on a
# virtual display of its own.
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s '-screen 0 1280x1024x24' build/bench/telvar-bench "$@"
fi
exec build/bench/telvar-bench "$@"
