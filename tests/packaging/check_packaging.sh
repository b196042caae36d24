#!/usr/bin/env bash
# Checks what a user installs: the install tree, the manual page, the version
# line and the Debian package. Argument: the build folder.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "packaging: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
[ -x "$work/prefix/bin/voxdump" ] || fail "no bin/voxdump in the install tree"
[ -f "$work/prefix/share/man/man1/voxdump.1" ] || fail "no share/man/man1/voxdump.1"
lint=$(groff -ww -z -man "$work/prefix/share/man/man1/voxdump.1" 2>&1)
[ -z "$lint" ] || fail "the manual page has warnings: $lint"

version=$("$work/prefix/bin/voxdump" --version)
[ "$version" = "voxdump $VOXDUMP_VERSION" ] || fail "--version printed '$version'"

(cd "$build" && cpack -G DEB -B "$work/package" >/dev/null) || fail "cpack failed"
deb=$(ls "$work"/package/voxdump_*.deb)
contents=$(dpkg-deb -c "$deb")
grep -q '\./usr/bin/voxdump$' <<<"$contents" || fail "the package has no /usr/bin/voxdump"
grep -q '\./usr/share/man/man1/voxdump\.1' <<<"$contents" || fail "the package has no manual page"
grep -q '\./usr/share/doc/voxdump/copyright$' <<<"$contents" || fail "the package has no copyright file"
dpkg-deb -x "$deb" "$work/root"
usage=$("$work/root/usr/bin/voxdump" | sed -n 2p)
[ "$usage" = "Usage: voxdump filename [calls] [init] [asm]" ] || fail "the packaged binary printed '$usage'"
echo "packaging: install tree, manual page, version and package are as they should be"
