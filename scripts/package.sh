#!/usr/bin/env bash
# Installs what is missing, builds the project and makes its Debian package,
# printer-telvar_<version>_<arch>.deb, in the top folder (or in DIR).
# Install it with: sudo apt-get install ./printer-telvar_*.deb
# Usage: scripts/package.sh [DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-.}")

scripts/install-deps.sh package
cmake -S . -B build
cmake --build build -j"$(nproc)"
# cpack installs the build into a staging folder under build/, asks
# dpkg-shlibdeps for the libraries the programs link, and writes the package.
cpack --config build/CPackConfig.cmake -B build/package
mkdir -p "$out"
for deb in build/package/printer-telvar_*.deb; do
    cp -f "$deb" "$out/"
    echo "Package: $out/$(basename "$deb")"
done
