#!/usr/bin/env bash
# Builds the Debian package from the build folder and checks its contents and maintainer script.
# Usage: check_deb_package.sh BUILD_DIR
set -euo pipefail
build="$1"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >/dev/null
deb="$(ls "$out"/*.deb)"
dpkg-deb --field "$deb" Package | grep -qx hoplark
dpkg-deb --field "$deb" Depends | grep -q libqt6widgets6
listing="$(dpkg-deb --contents "$deb")"
for file in ./usr/bin/hoplark ./usr/share/applications/io.github.hoplark.Hoplark.desktop \
    ./usr/share/metainfo/io.github.hoplark.Hoplark.metainfo.xml \
    ./usr/share/man/man1/hoplark.1.gz ./usr/share/doc/hoplark/copyright \
    ./usr/share/doc/hoplark/changelog.Debian.gz; do
    grep -q " $file\$" <<<"$listing" || { echo "package lacks $file" >&2; exit 1; }
done
# What `apt show` prints: a description of short lines, none holding a list separator, and no
# Homepage field that leads nowhere.
description="$(dpkg-deb --field "$deb" Description)"
if awk 'length > 80 || /;/' <<<"$description" | grep -q .; then
    echo "description lines too long or holding ';':" >&2
    echo "$description" >&2
    exit 1
fi
if [ -n "$(dpkg-deb --field "$deb" Homepage)" ]; then
    echo "package names a Homepage" >&2
    exit 1
fi
# The licence is stated in Debian's machine-readable form.
copyright="$(dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/share/doc/hoplark/copyright)"
grep -qx "Upstream-Name: hoplark" <<<"$copyright"
grep -qx "License: MIT" <<<"$copyright"
control="$out/control"
dpkg-deb --control "$deb" "$control"
[ -x "$control/postinst" ] || { echo "package has no executable postinst" >&2; exit 1; }
# The postinst explains how ICMP is allowed wherever the system does not allow it yet.
message="$(sh "$control/postinst" configure)"
grep -q "ping_group_range\|ICMP echo sockets are allowed" <<<"$message"
# Debian's own package checker, where it is installed: no error and no warning.
if command -v lintian >/dev/null 2>&1; then
    report="$(lintian --allow-root --tag-display-limit 0 "$deb" 2>&1 || true)"
    if grep -E '^[EW]: ' <<<"$report"; then
        echo "lintian finds errors or warnings in $(basename "$deb")" >&2
        exit 1
    fi
fi
echo "package $(basename "$deb") complete"
