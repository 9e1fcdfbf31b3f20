#!/bin/sh
# Installs the build into a scratch prefix and checks that a desktop would
# list the program: the entry is valid and named after the AppStream id, it
# starts the installed program, and the hicolor theme has its icon at both
# sizes under the name it asks for.
# Usage: install_check.sh BUILD_DIR
set -eu

build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

command -v desktop-file-validate >/dev/null \
    || fail "desktop-file-validate is missing; scripts/install-deps.sh test installs it"

cmake --install "$build" --prefix "$prefix" >/dev/null

# A software centre finds the entry through the metainfo: the entry's file
# name is the component id with .desktop, and the launchable names it.
metainfo=$(ls "$prefix"/share/metainfo/*.metainfo.xml) || fail "no metainfo in $prefix/share/metainfo"
app_id=$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "$metainfo")
[ "$(basename "$metainfo")" = "$app_id.metainfo.xml" ] || fail "$metainfo does not carry the id '$app_id'"
launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
[ "$launchable" = "$app_id.desktop" ] || fail "launchable is '$launchable', not $app_id.desktop"
entry=$prefix/share/applications/$app_id.desktop
[ -f "$entry" ] || fail "no desktop entry at $entry"
desktop-file-validate "$entry" || fail "desktop-file-validate rejects $entry"

value() {
    sed -n "s/^$1=//p" "$entry"
}
[ "$(value Name)" = "Printer Telvar" ] || fail "Name is '$(value Name)'"
# Both categories, in any order.
for category in Development Electronics; do
    case ";$(value Categories)" in
        *";$category;"*) ;;
        *) fail "Categories is '$(value Categories)', without $category" ;;
    esac
done

exec_name=$(value Exec | cut -d' ' -f1)
[ -x "$prefix/bin/$exec_name" ] || fail "Exec=$exec_name but no such program in $prefix/bin"
# The window program, the unattended runner and the virtual controller,
# nothing else.
programs=$(cd "$prefix/bin" && echo *)
[ "$programs" = "printer-telvar telvar-run telvar-virtual" ] || fail "bin holds $programs, not the three programs"

# Width and height are the two big-endian words after the PNG signature and
# the IHDR chunk header.
png_size() {
    od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $3 * 256 + $4, $7 * 256 + $8 }'
}
icon_name=$(value Icon)
for size in 48x48 128x128; do
    icon=$prefix/share/icons/hicolor/$size/apps/$icon_name.png
    [ -f "$icon" ] || fail "Icon=$icon_name but no $icon"
    [ "$(png_size "$icon")" = "$size" ] || fail "$icon is $(png_size "$icon"), not $size"
done

echo "installed and valid: $entry"
