#!/usr/bin/env bash
# Installs the build into a staging folder (DESTDIR and a prefix of /usr, as a package does) and
# checks that every file a desktop needs is there and passes its validator.
# Usage: check_install_tree.sh BUILD_DIR
set -euo pipefail
build="$1"
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT

DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
root="$stage/usr"
id=io.github.hoplark.Hoplark
failed=0
need() {
    if [ ! -s "$root/$1" ]; then
        echo "missing from the install tree: /usr/$1" >&2
        failed=1
    fi
}

need bin/hoplark
need share/applications/$id.desktop
need share/metainfo/$id.metainfo.xml
need share/icons/hicolor/scalable/apps/$id.svg
for size in 16 22 24 32 48 64 128 256; do
    png="share/icons/hicolor/${size}x${size}/apps/$id.png"
    need "$png"
    # Each size is what its folder says it is.
    if [ -s "$root/$png" ]; then
        read -r width height < <(python3 -c 'import struct,sys
d=open(sys.argv[1],"rb").read(24); print(*struct.unpack(">II", d[16:24]))' "$root/$png")
        if [ "$width" != "$size" ] || [ "$height" != "$size" ]; then
            echo "$png is ${width}x${height}" >&2
            failed=1
        fi
    fi
done
need share/man/man1/hoplark.1.gz
need share/doc/hoplark/copyright
need share/doc/hoplark/help/index.html
need share/doc/hoplark/help/permissions.html
[ -x "$root/bin/hoplark" ] || { echo "bin/hoplark is not executable" >&2; failed=1; }
[ "$failed" -eq 0 ] || exit 1

# The entry starts the installed program under the installed icon's name.
grep -qx "Exec=hoplark" "$root/share/applications/$id.desktop"
grep -qx "Icon=$id" "$root/share/applications/$id.desktop"

desktop-file-validate "$root/share/applications/$id.desktop"
appstreamcli validate --no-net "$root/share/metainfo/$id.metainfo.xml"
# The man page renders without groff warnings.
warnings="$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
    man --warnings -E UTF-8 -l -Tutf8 -Z "$root/share/man/man1/hoplark.1.gz" 2>&1 >/dev/null)"
if [ -n "$warnings" ]; then
    echo "$warnings" >&2
    exit 1
fi
echo "install tree complete and valid"
