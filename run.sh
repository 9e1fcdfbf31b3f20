#!/usr/bin/env bash
# Installs what is missing, builds Printer Telvar and starts it, with the
# virtual controller beside it unless told not to.
#
#   ./run.sh                      program and virtual controller
#   ./run.sh --no-virtual         program only, for a real controller
#   TELVAR_VIRTUAL=0 ./run.sh     the same
set -euo pipefail
cd "$(dirname "$0")"

virtual=${TELVAR_VIRTUAL:-1}
for arg in "$@"; do
    case $arg in
        --no-virtual) virtual=0 ;;
        *) echo "usage: $0 [--no-virtual]" >&2; exit 2 ;;
    esac
done

scripts/install-deps.sh run
cmake -S . -B build
targets=(printer-telvar)
[ "$virtual" = 1 ] && targets+=(telvar-virtual)
cmake --build build -j"$(nproc)" --target "${targets[@]}"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "There is no display to show the window on. Start it on a virtual display:"
    echo "    xvfb-run -s '-screen 0 1280x1024x24' $PWD/build/printer-telvar"
    exit 1
fi

if [ "$virtual" != 1 ]; then
    exec build/printer-telvar
fi

# The virtual controller lists what it receives on this terminal, shows the
# paper in a window of its own as it prints and writes its pages to
# virtual-printout/; it ends with the program.
link=/tmp/ttyTelvar0
build/virtual/telvar-virtual --link "$link" --show &
virtual_pid=$!
trap 'kill "$virtual_pid" 2>/dev/null; wait "$virtual_pid" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    [ -e "$link" ] && break
    kill -0 "$virtual_pid" 2>/dev/null || { echo "the virtual controller did not start" >&2; exit 1; }
    sleep 0.1
done
echo
echo "In Printer Telvar, open Settings > Configure, choose \"Custom\" and type $link,"
echo "press Apply, then Connect. Printouts go to $PWD/virtual-printout/."
echo "With a real controller, start it with: $0 --no-virtual"
echo
build/printer-telvar
