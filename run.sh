#!/usr/bin/env bash
# Installs what is missing, builds Printer Telvar and starts it.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh run
cmake -S . -B build
cmake --build build -j"$(nproc)" --target printer-telvar

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "There is no display to show the window on. Start it on a virtual display:"
    echo "    xvfb-run -s '-screen 0 1280x1024x24' $PWD/build/printer-telvar"
    exit 1
fi
exec build/printer-telvar
