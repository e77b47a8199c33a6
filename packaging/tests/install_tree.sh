#!/usr/bin/env bash
# Installs the build into a temporary root (DESTDIR) and checks the tree as a user meets
# it: every file in its place, the binaries linked against the installed libraries, the
# programs running from there, --install recording the tree's own folders, the desktop
# entry, the unit's command and the manual pages sound.
#
#   install_tree.sh LAYOUT
set -u
. "$(dirname "$0")/common.sh" "$1"
root=$workdir/root

if ! DESTDIR=$root cmake --install "$build" >"$workdir/install.log" 2>&1; then
    cat "$workdir/install.log" >&2
    fail "cmake --install"
    finish
fi

# Every file in its place.
while read -r path; do
    [ -z "$path" ] || [ -e "$root$path" ] || fail "not installed: $path"
done <<<"$expected"

# The binaries: every library found, the project's own ones in the installed tree (not in
# the build tree, not elsewhere on this machine), run-time paths relative to the binary.
for file in "$root$bindir"/* "$root$sbindir"/* "$root$libdir"/*.so.*; do
    [ -f "$file" ] && [ ! -L "$file" ] && readelf -h "$file" >/dev/null 2>&1 || continue
    name=${file#"$root"}
    links=$(env -u LD_LIBRARY_PATH ldd "$file" 2>&1)
    if grep -q "not found" <<<"$links"; then
        fail "$name: $(grep "not found" <<<"$links" | tr -s ' \t' ' ')"
    fi
    for library in $libraries; do
        resolved=$(awk -v lib="$library" '$1 == lib { print $3 }' <<<"$links")
        [ "${resolved#/}" != "$resolved" ] || continue
        resolved=$(realpath -m "$resolved")
        if [ "${resolved#"$(realpath "$root$libdir")/"}" = "$resolved" ]; then
            fail "$name: $library comes from $resolved"
        fi
    done
    for path in $(readelf -d "$file" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]/\2/p' |
        tr ':' ' '); do
        case $path in
        '$ORIGIN' | '$ORIGIN/'*) ;;
        *) fail "$name: run-time path $path" ;;
        esac
    done
done
for library in $libraries; do
    soname=$(readelf -d "$root$libdir/$library" 2>/dev/null | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
    expect_eq "soname of $library" "$soname" "$library"
    [ -L "$root$libdir/${library%.so.*}.so" ] || fail "no linker name for $library"
done

# The programs run from the tree.
reg() { "$root$bindir/altiren-reg" "$@"; }
usage=$(reg 2>&1)
expect_eq "altiren-reg without arguments: exit status" "$?" 2
grep -q "^usage: altiren-reg" <<<"$usage" || fail "altiren-reg prints no usage: $usage"

quellin=$root$sbindir/quellin
help=$("$quellin" --help 2>&1)
expect_eq "quellin --help: exit status" "$?" 0
grep -q "^usage: quellin" <<<"$help" || fail "quellin --help prints no usage: $help"
expect_eq "quellin --version" "$("$quellin" --version 2>&1)" "quellin $version"

# --install records the installed daemon and the client's folders of this very tree, and
# --uninstall takes them away again.
export ALTIREN_REGISTRY_ROOT=$workdir/registry
"$quellin" --install >"$workdir/quellin-install.log" 2>&1 ||
    fail "quellin --install: $(cat "$workdir/quellin-install.log")"
real_root=$(realpath "$root")
expect_eq ImagePath "$(reg query "$service_key" ImagePath)" "$real_root$sbindir/quellin"
expect_eq InstallFolder "$(reg query "$client_key" InstallFolder)" "$real_root$clientdir"
expect_eq HelpFolder "$(reg query "$client_key" HelpFolder)" "$real_root$clientdir/help"
reg query "$parameters_key" PacketPoolSize >/dev/null || fail "no PacketPoolSize after --install"
"$quellin" --uninstall >/dev/null 2>&1 || fail "quellin --uninstall"
for value in "$service_key ImagePath" "$client_key InstallFolder" "$client_key HelpFolder"; do
    # shellcheck disable=SC2086
    reg query $value >/dev/null 2>&1
    expect_eq "after --uninstall, query $value: exit status" "$?" 1
done

# The unit's command is the installed daemon.
command=$(sed -n 's/^ExecStart=//p' "$root$unit")
program=${command%% *}
[ -x "$root$program" ] && [ "$program" = "$sbindir/quellin" ] ||
    fail "the unit runs $program, not the installed daemon"
grep -q -- "--foreground" <<<"$command" || fail "the unit's daemon does not stay in the foreground"

# The desktop entry starts the installed client with an installed icon.
if [ "$has_client" = 1 ]; then
    desktop-file-validate "$root$desktop" || fail "desktop-file-validate $desktop"
    exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$root$desktop")
    [ -x "$root$bindir/$exec_program" ] || fail "the desktop entry runs $exec_program"
    icon=$(sed -n 's/^Icon=//p' "$root$desktop")
    [ -n "$(find "$root" -path "*/icons/hicolor/*/apps/$icon.*")" ] ||
        fail "no icon $icon for the desktop entry"
else
    # Installed with the client; sound before that too.
    desktop-file-validate "$source/packaging/pramitone.desktop" ||
        fail "desktop-file-validate packaging/pramitone.desktop"
fi

# The manual pages format without a warning.
while read -r path; do
    case $path in
    "$mandir"/*)
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$root$path" 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "$path: $warnings"
        ;;
    esac
done <<<"$expected"

finish
