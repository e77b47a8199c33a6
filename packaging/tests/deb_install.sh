#!/usr/bin/env bash
# Installs the package with dpkg as an administrator would, runs the daemon by its unit's
# command on a veth, stops it as the unit's stop does, then removes and purges the package,
# checking each step. All of it runs in namespaces of its own: /usr, /etc and /var are
# overlays whose changes land in a temporary folder, /run is empty (no systemd to reach),
# and the network holds only the veth pair made here. Nothing of the machine changes.
#
#   deb_install.sh LAYOUT
set -u
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" != --inside ]; then
    . "$here/common.sh" "$1"
    if [ "$(id -u)" != 0 ]; then
        echo "SKIP: the package test needs root"
        exit 77
    fi
    if [ ! -c /dev/net/tun ]; then
        echo "SKIP: the package test needs /dev/net/tun"
        exit 77
    fi
    if ! unshare --mount --net --pid --fork --mount-proc true 2>/dev/null; then
        echo "SKIP: the package test cannot make mount, network and process namespaces"
        exit 77
    fi
    # The namespaces end with their last process; the folder goes after them.
    unshare --mount --net --pid --fork --mount-proc --propagation private \
        bash "$0" --inside "$1" "$workdir" "$$"
    exit $?
fi

. "$here/common.sh" "$2" "$3"
tag=$4
unset ALTIREN_REGISTRY_ROOT QL_DEVICE
export DEBIAN_FRONTEND=noninteractive

for dir in usr etc var; do
    mkdir -p "$workdir/upper/$dir" "$workdir/work/$dir"
    if ! mount -t overlay overlay \
        -o "lowerdir=/$dir,upperdir=$workdir/upper/$dir,workdir=$workdir/work/$dir" "/$dir"; then
        echo "SKIP: the package test cannot mount an overlay on /$dir"
        exit 77
    fi
done
mount -t tmpfs -o mode=0755 tmpfs /run
ip link set lo up

reg() { altiren-reg "$@"; }
dpkg_step() {
    echo "dpkg $*" >>"$workdir/dpkg.log"
    if ! dpkg "$@" >>"$workdir/dpkg.log" 2>&1; then
        cat "$workdir/dpkg.log" >&2
        fail "dpkg $*"
        finish
    fi
}
status() { dpkg-query -W -f='${Status}' "$package" 2>/dev/null; }

# Installed: the files, the service keys and the client's folders, the unit enabled, the
# libraries in the linker's cache, the unit sound for systemd.
dpkg_step -i "$deb"
expect_eq "status after dpkg -i" "$(status)" "install ok installed"
cp "$bindir/altiren-reg" "$workdir/altiren-reg" # reads the store after the removal
while read -r path; do
    [ -z "$path" ] || [ -e "$path" ] || fail "not installed: $path"
done <<<"$expected"
expect_eq ImagePath "$(reg query "$service_key" ImagePath)" "$sbindir/quellin"
expect_eq InstallFolder "$(reg query "$client_key" InstallFolder)" "$clientdir"
expect_eq HelpFolder "$(reg query "$client_key" HelpFolder)" "$clientdir/help"
expect_eq AltirenBrowser "$(reg query "$client_key\Settings" AltirenBrowser)" browse.php
expect_eq "the unit's enabling link" \
    "$(readlink /etc/systemd/system/multi-user.target.wants/quellin.service)" "$unit"
for library in $libraries; do
    ldconfig -p | grep -q "^[[:space:]]*$library " || fail "$library is not in the linker's cache"
done
systemd-analyze verify "$unit" >"$workdir/verify.log" 2>&1 ||
    fail "systemd-analyze verify $unit: $(cat "$workdir/verify.log")"
# The access group owns the store with root; installing again keeps the one group.
store=/var/lib/altiren/registry
owner_mode() { stat -c '%U:%G %a' "$1"; }
getent group altiren >/dev/null || fail "no group altiren after dpkg -i"
expect_eq "the registry store" "$(owner_mode "$store")" "root:altiren 2775"
for file in "$store"/*; do
    expect_eq "$file" "$(owner_mode "$file")" "root:altiren 664"
done
# What the daemon acts on as root is root's alone: the group reads it, only root writes it.
expect_eq "the store's root-only part" "$(owner_mode "$store-system")" "root:root 755"
expect_eq "its hive" "$(owner_mode "$store-system/HKEY_LOCAL_MACHINE.reg")" "root:root 644"
dpkg_step -i "$deb"
expect_eq "groups altiren after a second dpkg -i" "$(getent group altiren | wc -l)" 1

# The unit's start: its command, with the bindings of the registry store, serves a veth of
# this network namespace through a TAP; its stop (SIGTERM) gives the veth back as it was.
lower=pk${tag}a
peer=pk${tag}b
tap=pt${tag}
ip link add "$lower" type veth peer name "$peer"
ip addr add 198.18.0.1/24 dev "$lower"
ip addr add 2001:2::1/64 dev "$lower" nodad
ip link set "$lower" up
ip link set "$peer" up
addresses() { ip -o addr show dev "$1" scope global 2>/dev/null | awk '{ print $3, $4 }' | sort; }
# The link's flags, MTU and hardware address, then its global addresses.
interface_state() {
    ip -o link show dev "$1" 2>/dev/null |
        sed -E 's/^[0-9]+: //; s/ (qdisc|state|group|qlen) [^ ]+//g'
    addresses "$1"
}
sleep 0.2
before=$(interface_state "$lower")
addresses_before=$(addresses "$lower")
reg set "$parameters_key" Bindings REG_MULTI_SZ "tap:$tap=$lower" || fail "cannot set Bindings"
command=$(sed -n 's/^ExecStart=//p' "$unit")
mkdir -p /run/quellin # the unit's RuntimeDirectory
# shellcheck disable=SC2086
$command >"$workdir/daemon.log" 2>&1 &
daemon=$!
bound=0
for _ in $(seq 300); do
    if ! kill -0 "$daemon" 2>/dev/null; then
        break
    fi
    if ip link show "$tap" >/dev/null 2>&1 && grep -q "1 adapter(s) bound of 1" "$workdir/daemon.log"; then
        bound=1
        break
    fi
    sleep 0.1
done
if [ $bound = 1 ]; then
    [ -S /run/quellin/QL ] || fail "no control socket at /run/quellin/QL"
    expect_eq "the control socket" "$(owner_mode /run/quellin/QL)" "root:altiren 660"
    # A daemon that takes the interface from this stack puts the TAP in its place.
    if ! ip link show "$lower" >/dev/null 2>&1; then
        expect_eq "the addresses of $tap" "$(addresses "$tap")" "$addresses_before"
    fi
    kill -TERM "$daemon"
else
    fail "the unit's command did not bind $lower: $(cat "$workdir/daemon.log")"
    kill -KILL "$daemon" 2>/dev/null
fi
wait "$daemon"
expect_eq "the daemon's exit status after SIGTERM" "$?" 0
ip link show "$tap" >/dev/null 2>&1 && fail "the TAP $tap outlives the daemon"
expect_eq "$lower after the stop" "$(interface_state "$lower")" "$before"
leftover=$(ls /run/netns 2>/dev/null)
[ -z "$leftover" ] || fail "network namespaces left: $leftover"

# Removed: the files and the registry keys go; the unit is masked until the purge.
dpkg_step -r "$package"
expect_eq "status after dpkg -r" "$(status)" "deinstall ok config-files"
[ -e "$sbindir/quellin" ] && fail "quellin outlives dpkg -r"
[ -e "$clientdir" ] && fail "$clientdir outlives dpkg -r"
expect_eq "the unit's mask" "$(readlink /etc/systemd/system/quellin.service)" /dev/null
for value in "$service_key ImagePath" "$client_key InstallFolder" "$client_key HelpFolder"; do
    # shellcheck disable=SC2086
    "$workdir/altiren-reg" query $value >/dev/null 2>&1
    expect_eq "after dpkg -r, query $value: exit status" "$?" 1
done

# Purged: nothing of the package is left anywhere it wrote.
dpkg_step -P "$package"
expect_eq "status after dpkg -P" "$(status)" ""
[ -e /var/lib/altiren ] && fail "the registry store outlives the purge"
# (man's cache of the pages read here is man's own.)
left=$(find "$workdir/upper" -path "$workdir/upper/var/cache/man" -prune -o ! -type c \
    \( -iname '*quellin*' -o -iname '*altiren*' -o -iname '*pramitone*' \) -printf '/%P\n')
[ -z "$left" ] || fail "left after the purge: $left"

cat "$workdir/daemon.log" "$workdir/dpkg.log"
finish
