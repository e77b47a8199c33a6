# Shared by the package tests: the layout of the build, failures counted, a temporary
# folder (WORKDIR when given, else one made here and removed at the end).
#
#   . common.sh LAYOUT [WORKDIR]
# shellcheck shell=bash
# shellcheck source=/dev/null
. "$1"
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# expect_eq WHAT GOT WANTED
expect_eq() {
    [ "$2" = "$3" ] || fail "$1: got '$2', wanted '$3'"
}

finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
    echo "all checks passed"
    exit 0
}

if [ -n "${2:-}" ]; then
    workdir=$2
else
    workdir=$(mktemp -d "${TMPDIR:-/tmp}/altiren-package-XXXXXX")
    trap 'rm -rf "$workdir"' EXIT
fi

# The keys the installation writes in the registry store.
service_key='HKLM\SYSTEM\CurrentControlSet\Services\QL'
parameters_key='HKLM\SYSTEM\CurrentControlSet\Services\QL\Parameters'
client_key='HKLM\Software\Orvane\AltirenClient'
