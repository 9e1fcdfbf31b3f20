#!/bin/sh
# Makes the Debian package from the existing build into a scratch folder (cpack
# installs the build, it does not rebuild it) and checks what an admin and a
# software centre see: the three programs, the desktop entry, the icons, the
# metainfo and the manual pages are in it, it depends on the Qt 6 libraries
# the programs link and on the fonts the virtual controller draws with, the
# version is the project's, the metainfo and the manual pages are valid, and
# lintian finds no error.
# Usage: package_check.sh BUILD_DIR PROJECT_VERSION
set -eu

build=$(realpath "$1")
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

if ! command -v dpkg-deb >/dev/null; then
    echo "SKIP: dpkg-deb is missing, so no package can be made; scripts/install-deps.sh test installs dpkg-dev"
    exit 77
fi
for tool in dpkg-shlibdeps lintian appstreamcli man readelf; do
    command -v $tool >/dev/null || fail "$tool is missing; scripts/install-deps.sh test installs it"
done

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 \
    || { cat "$work/cpack.log" >&2; fail "cpack could not make the package"; }
deb=$work/out/printer-telvar_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $(basename "$deb"); cpack made: $(ls "$work/out")"
echo "made $(basename "$deb")"

field() {
    dpkg-deb --field "$deb" "$1"
}
[ "$(field Package)" = printer-telvar ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', the project's is $version"

# Paths as dpkg-deb lists them, without the leading ./
dpkg-deb --contents "$deb" | awk '{ print $6 }' | sed 's:^\./::' >"$work/contents"
has() {
    grep -qx "$1" "$work/contents" || fail "the package lacks $1"
}
app_id=org.telvar.PrinterTelvar
for path in usr/bin/printer-telvar usr/bin/telvar-virtual usr/bin/telvar-run \
            usr/share/applications/$app_id.desktop \
            usr/share/icons/hicolor/48x48/apps/printer-telvar.png \
            usr/share/icons/hicolor/128x128/apps/printer-telvar.png \
            usr/share/metainfo/$app_id.metainfo.xml \
            usr/share/man/man1/printer-telvar.1.gz usr/share/man/man1/telvar-virtual.1.gz \
            usr/share/man/man1/telvar-run.1.gz \
            usr/share/doc/printer-telvar/copyright usr/share/doc/printer-telvar/changelog.gz; do
    has "$path"
done

root=$work/root
dpkg-deb -x "$deb" "$root"

# Dependencies: every Qt 6 library that either program links, by the package
# that holds it on this machine, and the fonts, which no binary names.
depends=$(field Depends)
depends_on() {
    case ", $depends," in
        *", $1 "* | *", $1,"*) ;;
        *) fail "Depends lacks $1 ($2): $depends" ;;
    esac
}
readelf -d "$root/usr/bin/printer-telvar" "$root/usr/bin/telvar-virtual" "$root/usr/bin/telvar-run" \
    | sed -n 's/.*Shared library: \[\(libQt6[^]]*\)\].*/\1/p' | sort -u >"$work/qtlibs"
for lib in libQt6Core.so.6 libQt6Gui.so.6 libQt6Widgets.so.6 libQt6SerialPort.so.6; do
    grep -qx "$lib" "$work/qtlibs" || fail "the programs do not link $lib; linked: $(cat "$work/qtlibs")"
done
while read -r lib; do
    owner=$(dpkg -S "*/$lib" | sed -n '1s/:.*//p')
    [ -n "$owner" ] || fail "no installed package holds $lib"
    depends_on "$owner" "$lib"
done <"$work/qtlibs"
depends_on fonts-dejavu-core "DejaVu Sans Mono"
depends_on fonts-droid-fallback "Droid Sans Fallback"

# The metainfo: valid offline, carries this version, provides both programs.
metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 \
    || { cat "$work/appstream.log" >&2; fail "appstreamcli rejects the metainfo"; }
grep -q "<release version=\"$version\" date=\"[0-9-]*\"" "$metainfo" \
    || fail "the metainfo has no release $version with a date"
for program in printer-telvar telvar-virtual telvar-run; do
    grep -q "<binary>$program</binary>" "$metainfo" || fail "the metainfo does not provide $program"
done

# Manual pages: one per program, gzip -9 without name or time stamp (Debian
# wants reproducible files), rendered by man without a single warning, with
# this version in the footer.
gzip_header() {
    od -An -tu1 -N10 "$1" | tr -s ' ' | sed 's/^ //'
}
for program in printer-telvar telvar-virtual telvar-run; do
    page=$root/usr/share/man/man1/$program.1.gz
    # Magic 31 139, deflate 8, no flags, time 0, "maximum compression" 2, Unix 3.
    [ "$(gzip_header "$page")" = "31 139 8 0 0 0 0 0 2 3" ] \
        || fail "$program.1.gz is not gzip -9n: header $(gzip_header "$page")"
    MANWIDTH=80 man --warnings -l "$page" >"$work/$program.txt" 2>"$work/$program.warnings" \
        || fail "man cannot render $program.1"
    [ ! -s "$work/$program.warnings" ] || { cat "$work/$program.warnings" >&2; fail "man warns on $program.1"; }
    grep -q "^ *$program  *- " "$work/$program.txt" || fail "$program.1 has no NAME line for $program"
    grep -q "Printer Telvar $version" "$work/$program.txt" || fail "$program.1 does not carry version $version"
done
# Every option the command-line programs accept is described in their pages.
for program in telvar-virtual telvar-run; do
    QT_QPA_PLATFORM=offscreen "$root/usr/bin/$program" --help >"$work/help.txt" 2>/dev/null \
        || fail "$program --help failed"
    options=$(sed -n 's/^ *\(-[a-z], \)\{0,1\}\(--[a-z0-9-]*\).*/\2/p' "$work/help.txt")
    [ -n "$options" ] || fail "no options found in $program --help"
    for option in $options; do
        grep -q -- "^ *$option\b" "$work/$program.txt" \
            || grep -q -- "^ *-[a-z], $option\b" "$work/$program.txt" \
            || fail "$program.1 does not describe $option"
    done
done

# Errors fail the test; warnings and the rest are shown.
lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 \
    || { cat "$work/lintian.log" >&2; fail "lintian reports errors"; }
sed 's/^/lintian: /' "$work/lintian.log"
echo "package valid: $(basename "$deb"), Depends: $depends"
