#!/usr/bin/env bash
# Network benchmark over the test lab (not part of CI; needs root).
#
# Measures, on the path through the wire namespace, the highest UDP packet rate
# the receiver sees (64- and 1,400-byte payloads), TCP bulk throughput and the
# one-way delay of a paced flow. The baseline path is a kernel bridge in the
# wire namespace. When --daemon is given, the same measurements run through the
# emulator in the wire namespace in the same invocation, and each figure is
# also reported as a ratio against the baseline.
#
#   bench/netns/run.sh [--build DIR] [--runs N] [--seconds S]
#                      [--daemon "CMD"] [--daemon-tap IF] [--daemon-setup "CMD"]
#                      [--delay-setup "CMD" --delay-ms MS]
#   bench/netns/run.sh [--build DIR] [--runs N] [--seconds S] --quellin
#
#   --daemon CMD        started under `sh -c` in the wire namespace in place of the
#                       bridge (for example "quellin --bind tap:st0=wn0"); its
#                       output goes to a log file that is printed on failure
#   --daemon-tap IF     the TAP the daemon moves into the station namespace
#                       (default st0; "" when it bridges ws0 and wn0 itself)
#   --daemon-setup CMD  run (sh -c, caller's namespace, LAB_* variables set) once
#                       the daemon is up, e.g. to play an unlimited emulation
#   --delay-setup CMD   run after the throughput figures, e.g. to play a fixed
#                       delay of --delay-ms; the delay error (measured one-way
#                       delay minus MS) is reported as median and 99th percentile
#   --quellin           the emulator of this tree: quellin with its TAP st0 over wn0
#                       and a registry of its own, an unlimited emulation played
#                       through libAltirenAPI (altiren-play), then a fixed delay of
#                       50 ms for the delay error
#
# Output: one "bench path=P metric=M value=V" line per figure, then a table.
set -euo pipefail

top=$(cd "$(dirname "$0")/../.." && pwd)
self="$top/bench/netns/run.sh"

# ---------------------------------------------------------------- inner part
# Runs inside altiren-netlab, which exports LAB_* and ALTIREN_TRAFFIC.
field() { sed -n "s/.* $2=\([^ ]*\).*/\1/p" <<<"$1" | tail -1; }
median() { sort -g | awk '{v[NR]=$1} END {if (NR) print v[int((NR+1)/2)]; else print 0}'; }
in_ns() { ip netns exec "$1" "${@:2}"; }

udp_max_rate() { # size seconds -> prints "pps loss_pct"
    local size=$1 secs=$2 out
    in_ns "$LAB_NETWORK" "$ALTIREN_TRAFFIC" udp-recv --bind "$LAB_NETWORK_V4" --port 47100 \
        --idle-ms 500 --timeout-ms $((secs * 1000 + 10000)) >"$tmp/recv" &
    local rpid=$!
    for _ in $(seq 100); do grep -q '^ready' "$tmp/recv" 2>/dev/null && break; sleep 0.02; done
    in_ns "$LAB_STATION" "$ALTIREN_TRAFFIC" udp-send --to "$LAB_NETWORK_V4" --port 47100 \
        --size "$size" --count 100000000 --duration-ms $((secs * 1000)) >"$tmp/send"
    wait "$rpid"
    out=$(grep '^udp-recv' "$tmp/recv")
    local sent got
    sent=$(field "$(cat "$tmp/send")" sent)
    got=$(field "$out" received)
    echo "$(field "$out" rate_pps) $(awk -v s="$sent" -v g="$got" 'BEGIN {printf "%.2f", s ? 100*(s-g)/s : 0}')"
}

tcp_throughput() { # seconds -> prints bits per second
    local secs=$1
    in_ns "$LAB_NETWORK" "$ALTIREN_TRAFFIC" tcp-recv --bind "$LAB_NETWORK_V4" --port 47101 \
        --timeout-ms $((secs * 1000 + 10000)) >"$tmp/recv" &
    local rpid=$!
    for _ in $(seq 100); do grep -q '^ready' "$tmp/recv" 2>/dev/null && break; sleep 0.02; done
    in_ns "$LAB_STATION" "$ALTIREN_TRAFFIC" tcp-send --to "$LAB_NETWORK_V4" --port 47101 \
        --bytes 1000000000000 --duration-ms $((secs * 1000)) >"$tmp/send"
    wait "$rpid"
    field "$(grep '^tcp-recv' "$tmp/recv")" throughput_bps
}

paced_delay() { # -> prints "median_us p99_us loss_pct"
    in_ns "$LAB_NETWORK" "$ALTIREN_TRAFFIC" udp-recv --bind "$LAB_NETWORK_V4" --port 47102 \
        --idle-ms 2000 --timeout-ms 20000 >"$tmp/recv" &
    local rpid=$!
    for _ in $(seq 100); do grep -q '^ready' "$tmp/recv" 2>/dev/null && break; sleep 0.02; done
    in_ns "$LAB_STATION" "$ALTIREN_TRAFFIC" udp-send --to "$LAB_NETWORK_V4" --port 47102 \
        --size 200 --count 2000 --rate 1000 >"$tmp/send"
    wait "$rpid"
    local out
    out=$(grep '^udp-recv' "$tmp/recv")
    echo "$(field "$out" delay_us_median) $(field "$out" delay_us_p99) $(field "$out" loss_pct)"
}

inner() {
    local path=$1 runs=$2 secs=$3
    tmp=$(mktemp -d /tmp/altiren-bench-XXXXXX)
    trap 'rm -rf "$tmp"' RETURN
    if [ -n "${BENCH_DAEMON_SETUP:-}" ]; then sh -c "$BENCH_DAEMON_SETUP"; fi
    # Warm the neighbour caches so that the first run does not pay for ARP.
    in_ns "$LAB_STATION" ping -n -c 1 -W 2 "$LAB_NETWORK_V4" >/dev/null || true
    local size r pps loss tcp
    for size in 64 1400; do
        : >"$tmp/pps"
        : >"$tmp/loss"
        for r in $(seq "$runs"); do
            read -r pps loss < <(udp_max_rate "$size" "$secs")
            echo "$pps" >>"$tmp/pps"
            echo "$loss" >>"$tmp/loss"
        done
        echo "bench path=$path metric=udp${size}_pps value=$(median <"$tmp/pps")"
        echo "bench path=$path metric=udp${size}_loss_pct value=$(median <"$tmp/loss")"
    done
    : >"$tmp/tcp"
    for r in $(seq "$runs"); do tcp_throughput "$secs" >>"$tmp/tcp"; done
    echo "bench path=$path metric=tcp_bps value=$(median <"$tmp/tcp")"
    local med p99 dloss
    read -r med p99 dloss < <(paced_delay)
    echo "bench path=$path metric=delay_us_median value=$med"
    echo "bench path=$path metric=delay_us_p99 value=$p99"
    if [ -n "${BENCH_DELAY_SETUP:-}" ]; then
        sh -c "$BENCH_DELAY_SETUP"
        read -r med p99 dloss < <(paced_delay)
        local want=$((BENCH_DELAY_MS * 1000))
        echo "bench path=$path metric=delay_error_us_median value=$(awk -v m="$med" -v w="$want" 'BEGIN {printf "%.1f", m - w}')"
        echo "bench path=$path metric=delay_error_us_p99 value=$(awk -v m="$p99" -v w="$want" 'BEGIN {printf "%.1f", m - w}')"
        echo "bench path=$path metric=delay_loss_pct value=$dloss"
    fi
}

if [ "${1:-}" = "--inner" ]; then
    inner "$2" "$3" "$4"
    exit 0
fi

# ---------------------------------------------------------------- outer part
build="$top/build/release"
runs=3
secs=2
daemon=""
daemon_tap="st0"
daemon_setup=""
delay_setup=""
delay_ms=""
quellin=0
while [ $# -gt 0 ]; do
    case "$1" in
    --build) build=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --seconds) secs=$2; shift 2 ;;
    --daemon) daemon=$2; shift 2 ;;
    --daemon-tap) daemon_tap=$2; shift 2 ;;
    --daemon-setup) daemon_setup=$2; shift 2 ;;
    --delay-setup) delay_setup=$2; shift 2 ;;
    --delay-ms) delay_ms=$2; shift 2 ;;
    --quellin) quellin=1; shift ;;
    *) sed -n '2,/^set -euo/p' "$0" | sed '$d'; exit 2 ;;
    esac
done
if [ -n "$delay_setup" ] && [ -z "$delay_ms" ]; then
    echo "--delay-setup needs --delay-ms" >&2
    exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "the network benchmark needs root" >&2
    exit 77
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target altiren-traffic altiren-netlab >/dev/null
netlab="$build/bin/altiren-netlab"
results=$(mktemp /tmp/altiren-bench-results-XXXXXX)
log=$(mktemp /tmp/altiren-bench-daemon-XXXXXX.log)
registry=$(mktemp -d /tmp/altiren-bench-registry-XXXXXX)
trap 'rm -rf "$results" "$log" "$registry"' EXIT

if [ "$quellin" = 1 ]; then
    cmake --build "$build" -j "$(nproc)" --target quellin altiren-play >/dev/null
    export ALTIREN_REGISTRY_ROOT="$registry"
    export QL_DEVICE="$registry/QL"
    "$build/bin/quellin" --install
    play="ip netns exec \$LAB_STATION $build/bin/altiren-play"
    daemon="exec $top/tests/e2e/quellin-wire.sh \$LAB_STATION $build/bin/quellin --foreground --device $QL_DEVICE --bind tap:st0=wn0"
    daemon_tap=st0
    daemon_setup="$play"
    delay_setup="$play --reset --delay-ms 50"
    delay_ms=50
fi

"$netlab" --tag bb --timeout-s 900 -- "$self" --inner bridge "$runs" "$secs" | tee -a "$results"

if [ -n "$daemon" ]; then
    tapargs=()
    [ -n "$daemon_tap" ] && tapargs=(--station-tap "$daemon_tap")
    if ! BENCH_DAEMON_SETUP="$daemon_setup" BENCH_DELAY_SETUP="$delay_setup" \
        BENCH_DELAY_MS="$delay_ms" "$netlab" --tag bd --timeout-s 900 --wire-cmd "$daemon" \
        --wire-log "$log" "${tapargs[@]}" -- "$self" --inner daemon "$runs" "$secs" |
        tee -a "$results"; then
        echo "daemon run failed; its log:" >&2
        cat "$log" >&2
        exit 1
    fi
fi

# Table: each figure of the baseline, and the daemon's beside it with the ratio.
echo
awk '
    { split($2, p, "="); split($3, m, "="); split($4, v, "=");
      if (!(m[2] in seen)) { seen[m[2]] = 1; order[++n] = m[2] }
      val[p[2], m[2]] = v[2] }
    END {
      printf "%-24s %16s %16s %8s\n", "metric", "bridge", "daemon", "ratio"
      for (i = 1; i <= n; i++) {
        k = order[i]; b = val["bridge", k]; d = val["daemon", k]
        r = (b != "" && d != "" && b + 0 != 0) ? sprintf("%.3f", d / b) : "-"
        printf "%-24s %16s %16s %8s\n", k, (b == "" ? "-" : b), (d == "" ? "-" : d), r
      }
    }' "$results"
