#!/usr/bin/env bash
# The system's main job: the emulator on real packets between network namespaces.
#
# Builds the daemon and its tools, makes a station, a wire and a network namespace,
# starts quellin in the wire with a TAP for the station, plays a 50 ms delay, 1 Mbit/s
# and 2 % loss through the control socket (libAltirenAPI), runs traffic, prints what was
# measured beside what was asked, stops the emulation and removes everything. Needs root.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
self="$top/scripts/demo.sh"

delay_ms=50
kbps=1000
loss_pct=2

# ------------------------------------------------------------ measurement, while playing
# Runs inside altiren-netlab (LAB_* variables) under altiren-play.
# shellcheck source=demo-lib.sh
. "$top/scripts/demo-lib.sh"

measure() {
    local ping_out rtt ping_loss probe bulk tcp_out
    ping_out=$(in_ns "$LAB_STATION" ping -n -q -c 100 -i 0.02 -W 2 "$LAB_NETWORK_V4" || true)
    rtt=$(sed -n 's|.* = [0-9.]*/\([0-9.]*\)/.*|\1|p' <<<"$ping_out")
    ping_loss=$(sed -n 's/.* \([0-9.]*\)% packet loss.*/\1/p' <<<"$ping_out")
    # 2,000 probes of 100 bytes at 200 a second: far below the bandwidth, so only the
    # loss and the delay act on them.
    probe=$(udp_flow 47200 2000 200 100)
    # 1.2 Mbit/s offered for 3 s: the gateway lets 1 Mbit/s through.
    bulk=$(udp_flow 47201 450 150 1000)
    tcp_out=$(mktemp)
    in_ns "$LAB_NETWORK" "$ALTIREN_TRAFFIC" tcp-recv --bind "$LAB_NETWORK_V4" --port 47202 \
        --timeout-ms 30000 >"$tcp_out" &
    local rpid=$!
    for _ in $(seq 100); do grep -q '^ready' "$tcp_out" && break; sleep 0.02; done
    in_ns "$LAB_STATION" "$ALTIREN_TRAFFIC" tcp-send --to "$LAB_NETWORK_V4" --port 47202 \
        --bytes 100000000 --duration-ms 4000 >/dev/null
    wait "$rpid"
    local tcp_bps
    tcp_bps=$(field "$(grep '^tcp-recv' "$tcp_out")" throughput_bps)
    rm -f "$tcp_out"

    # Goodput counts UDP payload; the gateway counts IP bytes (28 more per packet).
    local udp_kbps
    udp_kbps=$(awk -v g="$(field "$bulk" goodput_bps)" 'BEGIN {printf "%.0f", g * 1028 / 1000 / 1000}')
    echo
    printf '%-28s %-22s %s\n' "" "asked" "measured"
    printf '%-28s %-22s %s ms\n' "round trip (ping)" "$((2 * delay_ms)) ms" "${rtt:-?}"
    printf '%-28s %-22s %.1f ms\n' "one-way delay (UDP median)" "$delay_ms ms" \
        "$(awk -v d="$(field "$probe" delay_us_median)" 'BEGIN {print d / 1000}')"
    printf '%-28s %-22s %s %%\n' "loss (2,000 UDP probes)" "$loss_pct %" "$(field "$probe" loss_pct)"
    printf '%-28s %-22s %s %%\n' "loss (ping, both ways)" \
        "$(awk -v l="$loss_pct" 'BEGIN {printf "%.1f", 100 * (1 - (1 - l / 100) ^ 2)}') %" "${ping_loss:-?}"
    printf '%-28s %-22s %s kbit/s\n' "throughput (UDP, IP bytes)" "$kbps kbit/s" "$udp_kbps"
    printf '%-28s %-22s %s kbit/s\n' "throughput (TCP goodput)" "at most $kbps kbit/s" \
        "$(awk -v b="$tcp_bps" 'BEGIN {printf "%.0f", b / 1000}')"
    echo
}

if [ "${1:-}" = "--measure" ]; then
    measure
    exit 0
fi

if [ "${1:-}" = "--inner" ]; then
    in_ns "$LAB_STATION" ping -n -q -c 1 -W 2 "$LAB_NETWORK_V4" >/dev/null || true
    echo "== without emulation"
    in_ns "$LAB_STATION" ping -n -q -c 5 -i 0.05 "$LAB_NETWORK_V4" | tail -1
    echo "== playing through the control socket"
    in_ns "$LAB_STATION" "$ALTIREN_PLAY" --delay-ms "$delay_ms" --kbps "$kbps" \
        --loss-pct "$loss_pct" -- "$self" --measure
    echo "== after stop"
    in_ns "$LAB_STATION" ping -n -q -c 5 -i 0.05 "$LAB_NETWORK_V4" | tail -1
    exit 0
fi

# ------------------------------------------------------------ set-up and clean-up
"$top/scripts/install-deps.sh"
build="${ALTIREN_DEMO_BUILD_DIR:-$top/build/release}"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target quellin altiren-traffic altiren-netlab altiren-play
if [ "$(id -u)" -ne 0 ]; then
    echo "the demo makes network namespaces: run it as root" >&2
    exit 77
fi

tmp=$(mktemp -d /tmp/altiren-demo-XXXXXX)
trap 'rm -rf "$tmp"' EXIT
export ALTIREN_REGISTRY_ROOT="$tmp/registry"
export QL_DEVICE="$tmp/QL"
export ALTIREN_PLAY="$build/bin/altiren-play"
mkdir -p "$ALTIREN_REGISTRY_ROOT"
"$build/bin/quellin" --install

status=0
run_lab demo 300 || status=$?
exit "$status"
