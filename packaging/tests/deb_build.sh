#!/usr/bin/env bash
# Makes the Debian package with CPack and checks what it declares: its name and version
# (the changelog's), the libraries it depends on, its maintainer scripts and triggers, the
# sonames it provides, and every file of the installation in its place.
#
#   deb_build.sh LAYOUT
set -u
. "$(dirname "$0")/common.sh" "$1"

rm -f "$deb"
if ! (cd "$build" && cpack -G DEB) >"$workdir/cpack.log" 2>&1; then
    cat "$workdir/cpack.log" >&2
    fail "cpack -G DEB"
    finish
fi
[ -f "$deb" ] || {
    fail "no package at $deb"
    finish
}

field() { dpkg-deb -f "$deb" "$1"; }
expect_eq Package "$(field Package)" "$package"
expect_eq Version "$(field Version)" "$version"
expect_eq Architecture "$(field Architecture)" "$(dpkg --print-architecture)"
dpkg-deb --fsys-tarfile "$deb" | tar -xO "./usr/share/doc/$package/changelog.gz" |
    gunzip >"$workdir/changelog"
expect_eq "the changelog's version" "$(dpkg-parsechangelog -l "$workdir/changelog" -SVersion)" \
    "$version"

# Depends names the packages of the libraries that the binaries link.
depends=$(field Depends)
wanted="libc6 libstdc++6 libxerces-c3.2 libcurl4"
[ "$has_client" = 1 ] && wanted="$wanted libqt6widgets6 libqt6core6 libtomcrypt1"
names=$(tr ',|' '\n\n' <<<"$depends" | awk '{ print $1 }')
for name in $wanted; do
    grep -qxF "$name" <<<"$names" || fail "Depends lacks $name: $depends"
done
[ "$has_client" = 1 ] && expect_eq Recommends "$(field Recommends)" xdg-utils

# Maintainer scripts, the linker cache trigger, the sonames for other packages.
mkdir "$workdir/control"
dpkg-deb -e "$deb" "$workdir/control"
for script in postinst prerm postrm; do
    [ -x "$workdir/control/$script" ] || fail "no $script"
done
grep -q "quellin --install" "$workdir/control/postinst" || fail "postinst runs no --install"
grep -q "quellin --uninstall" "$workdir/control/prerm" || fail "prerm runs no --uninstall"
expect_eq triggers "$(cat "$workdir/control/triggers")" "activate-noawait ldconfig"
for library in $libraries; do
    grep -q "^${library%.so.*} ${library##*.so.} $package " "$workdir/control/shlibs" ||
        fail "shlibs lacks $library"
done

# Every file of the installation, and nothing of the build tree.
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\.||' >"$workdir/contents"
while read -r path; do
    [ -z "$path" ] || grep -qxF "$path" "$workdir/contents" || fail "not in the package: $path"
done <<<"$expected"
if dpkg-deb --fsys-tarfile "$deb" | tar -xO | grep -aqF "$build/"; then
    fail "the package holds paths of the build tree"
fi

finish
