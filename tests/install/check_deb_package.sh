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
    ./usr/share/metainfo/io.github.hoplark.Hoplark.metainfo.xml ./usr/share/man/man1/hoplark.1; do
    grep -q " $file\$" <<<"$listing" || { echo "package lacks $file" >&2; exit 1; }
done
control="$out/control"
dpkg-deb --control "$deb" "$control"
[ -x "$control/postinst" ] || { echo "package has no executable postinst" >&2; exit 1; }
# The postinst explains how ICMP is allowed wherever the system does not allow it yet.
message="$(sh "$control/postinst" configure)"
grep -q "ping_group_range\|ICMP echo sockets are allowed" <<<"$message"
echo "package $(basename "$deb") complete"
