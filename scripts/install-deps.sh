#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running or testing needs and
# that are not there yet. Usage: scripts/install-deps.sh run|test|package|fuzz
set -euo pipefail

build=(cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev qt6-qpa-plugins
       qt6-image-formats-plugins libqrencode-dev libzint-dev fonts-dejavu-core
       fonts-droid-fallback zlib1g-dev)
run=(xvfb xauth)
test=(zbar-tools desktop-file-utils dpkg-dev lintian appstream man-db groff-base xvfb xauth)
package=(dpkg-dev)
fuzz=(clang libclang-rt-14-dev)

wanted=("${build[@]}")
case "${1:-test}" in
    run) wanted+=("${run[@]}") ;;
    test) wanted+=("${test[@]}") ;;
    package) wanted+=("${package[@]}") ;;
    fuzz) wanted+=("${fuzz[@]}") ;;
    *) echo "usage: $0 run|test|package|fuzz" >&2; exit 2 ;;
esac

missing=()
for pkg in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' \
        || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null; then
    as_root=(sudo)
else
    echo "Missing packages: ${missing[*]}; run this as root or install sudo." >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
