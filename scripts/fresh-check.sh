#!/usr/bin/env bash
# Checks that the README's test command passes on a fresh Debian 12 machine: builds a
# minimal Debian 12 root with debootstrap in a folder of its own, gives it /proc, /sys,
# /dev (with /dev/net/tun) and an empty /run (for /run/netns), copies a clean clone of this repository
# there and runs scripts/test.sh in it with chroot. Not part of CI; needs root and the
# network (the root's packages come from the Debian mirror this machine's apt uses).
#
#   scripts/fresh-check.sh [--keep] [--root DIR] [REVISION]
#
#   REVISION     the branch or commit to check (default: HEAD of this repository)
#   --root DIR   build the root in DIR (default: a new folder below /var/tmp); it must be
#                empty or absent
#   --keep       leave the root in place afterwards (to look at the build folders)
#
# ALTIREN_FRESH_MIRROR names another Debian mirror. Ends with the test script's closing
# line and the time the whole check took; exits with the test script's status.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
keep=0
root=
revision=HEAD
while [ $# -gt 0 ]; do
    case $1 in
    --keep) keep=1 ;;
    --root)
        root=$2
        shift
        ;;
    -h | --help)
        sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'
        exit 0
        ;;
    -*)
        echo "fresh-check: unknown option $1" >&2
        exit 2
        ;;
    *) revision=$1 ;;
    esac
    shift
done
[ "$(id -u)" -eq 0 ] || {
    echo "fresh-check: needs root (debootstrap, mounts, chroot)" >&2
    exit 1
}
for program in debootstrap git unshare chroot; do
    command -v "$program" >/dev/null || {
        echo "fresh-check: $program is missing (scripts/packages.txt)" >&2
        exit 1
    }
done
[ -c /dev/net/tun ] || echo "fresh-check: this machine has no /dev/net/tun: the netns tests will skip" >&2

commit=$(git -C "$top" rev-parse --verify "$revision^{commit}")
if [ -z "$root" ]; then
    root=$(mktemp -d /var/tmp/altiren-fresh.XXXXXX)
elif [ -e "$root" ] && [ -n "$(ls -A "$root")" ]; then
    echo "fresh-check: $root is not empty" >&2
    exit 1
fi
mkdir -p "$root"
# The root's own folder is its "/": every user of the tests must pass through it (mktemp
# makes it 0700).
chmod 0755 "$root"
root=$(cd "$root" && pwd)

# The mirror of this machine's Debian sources, so the root gets what a new machine would.
mirror=${ALTIREN_FRESH_MIRROR:-}
if [ -z "$mirror" ]; then
    mirror=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
        awk '/^URIs:/ {u=$2} /^Suites:/ && / bookworm( |$)/ {print u; exit}')
fi
if [ -z "$mirror" ]; then
    mirror=$(awk '$1 == "deb" && $3 == "bookworm" {print $2; exit}' /etc/apt/sources.list 2>/dev/null || true)
fi
[ -n "$mirror" ] || {
    echo "fresh-check: no Debian 12 mirror in /etc/apt; set ALTIREN_FRESH_MIRROR" >&2
    exit 1
}

started=$(date +%s)
log="$root.log"
echo "fresh-check: commit $commit, root $root, log of the root's making in $log"

cleanup() {
    if [ "$keep" -eq 0 ]; then
        # Only the check's own mount namespace held the mounts: nothing is mounted here.
        rm -rf --one-file-system "$root" "$log"
    else
        echo "fresh-check: the root stays in $root"
    fi
}
trap cleanup EXIT

echo "fresh-check: debootstrap (minbase) of bookworm"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$log" 2>&1 || {
    tail -20 "$log" >&2
    echo "fresh-check: debootstrap failed" >&2
    exit 1
}
# The updates and security suites too, as on an installed machine.
cat >"$root/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
EOF
security=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
    awk '/^URIs:/ {u=$2} /^Suites:/ && /bookworm-security/ {print u; exit}')
[ -n "$security" ] && echo "deb $security bookworm-security main" >>"$root/etc/apt/sources.list"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
echo "fresh" >"$root/etc/hostname"

# A clean clone of the commit: what is committed, nothing of this working tree.
git clone -q --no-local --no-checkout "$top" "$root/src/altiren"
git -C "$root/src/altiren" checkout -q --detach "$commit"

# In a mount namespace of its own, so that every mount ends with the check.
set +e
unshare --mount --propagation private bash -euo pipefail -c '
    root=$1
    mount --bind "$root" "$root"
    mount -t proc proc "$root/proc"
    mount --rbind /sys "$root/sys"
    mount --rbind /dev "$root/dev"
    mount -t tmpfs -o mode=0755 tmpfs "$root/run"
    mkdir -p "$root/run/netns" "$root/run/lock"
    [ -c "$root/dev/net/tun" ] || echo "fresh-check: the root sees no /dev/net/tun" >&2
    exec chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        bash -c "cd /src/altiren && scripts/test.sh"
' fresh-check "$root" 2>&1 | tee "$root/root/test.log"
status=${PIPESTATUS[0]}
set -e
closing=$(grep -E '^tests: [0-9]+ passed, [0-9]+ failed' "$root/root/test.log" | tail -1)
elapsed=$(($(date +%s) - started))
printf 'fresh-check: %s (exit %d) in %d min %02d s\n' "${closing:-no closing line}" "$status" \
    $((elapsed / 60)) $((elapsed % 60))
exit "$status"
