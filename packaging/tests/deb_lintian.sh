#!/usr/bin/env bash
# Runs Debian's package checker on the package: no error, and no warning but those that a
# single package holding the whole system raises by design.
#
#   deb_lintian.sh LAYOUT
set -u
. "$(dirname "$0")/common.sh" "$1"
command -v lintian >/dev/null || {
    echo "SKIP: lintian is not installed"
    exit 77
}

# The libraries live in the one package, not in packages named after their sonames.
accepted="package-name-doesnt-match-sonames"

lintian --display-info --pedantic "$deb" >"$workdir/lintian.log" 2>&1
status=$?
cat "$workdir/lintian.log"
# 1: tags at the failing severity, read below; above: lintian itself failed.
[ $status -le 1 ] || fail "lintian ended with status $status"
while read -r severity tag; do
    case $severity in
    E:) fail "lintian error: $tag" ;;
    W:) grep -qw "${tag%% *}" <<<"$accepted" || fail "lintian warning: $tag" ;;
    esac
done < <(sed -n 's/^\([EW]:\) [^:]*: \(.*\)/\1 \2/p' "$workdir/lintian.log")

finish
