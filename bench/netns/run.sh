#!/usr/bin/env bash
# Network benchmark over the test lab (not part of CI; needs root).
#
# Measures, on the path through the wire namespace: the highest 64-byte UDP
# packet rate the receivers see, and the highest offered rate forwarded with at
# most 1 % lost (four flows, each with a sender and a receiver of its own); TCP bulk throughput both ways, with the project's traffic tool
# and with iperf3; the one-way delay of a paced flow alone and beside a TCP
# flow; and goodput at the IP layer over the asked rate at 1, 10, 100 and
# 1,000 Mbit/s, TCP and UDP. The baseline path is a kernel bridge in the wire
# namespace, its rate limit the kernel's tbf. When --daemon is given, the same
# measurements run through the emulator in the wire namespace in the same
# invocation, and each figure is also reported as a ratio against the baseline.
# Every figure is the median of --runs runs, with the lowest and highest of them beside it;
# load1 notes the machine's load, steal_pct the share of processor time the virtual
# machine's host took. Probe delays are taken to the datagrams' arrival in the receiver's
# stack (kernel stamps).
#
#   bench/netns/run.sh [--build DIR] [--runs N] [--seconds S]
#                      [--daemon "CMD"] [--daemon-tap IF] [--daemon-setup "CMD"]
#                      [--delay-setup "CMD" --delay-ms MS]
#                      [--rate-setup "CMD" --rate-clear "CMD"]
#   bench/netns/run.sh [--build DIR] [--runs N] [--seconds S] --quellin
#
#   --only GROUPS       only these of udp,tcp,iperf3,delay,rate (comma-separated)
#   --results DIR       where the table is written (default bench/results; "" for nowhere)
#   --daemon CMD        started under `sh -c` in the wire namespace in place of the
#                       bridge (for example "quellin --bind tap:st0=wn0"); its
#                       output goes to a log file that is printed on failure
#   --daemon-tap IF     the TAP the daemon moves into the station namespace
#                       (default st0; "" when it bridges ws0 and wn0 itself)
#   --daemon-setup CMD  run (sh -c, caller's namespace, LAB_* variables set) once
#                       the daemon is up, e.g. to play an unlimited emulation
#   --delay-setup CMD   run after the throughput figures, e.g. to play a fixed
#                       delay of --delay-ms; the delay error (measured one-way
#                       delay minus MS) is reported as median and 99th percentile,
#                       alone and beside a TCP flow
#   --rate-setup CMD    limits the station's outbound rate to @MBPS@ Mbit/s
#                       (@KBPS@ kbit/s); --rate-clear lifts the limit
#   --quellin           the emulator of this tree: quellin with its TAP st0 over wn0
#                       and a registry of its own, an unlimited emulation played
#                       through libAltirenAPI (altiren-play), rate limits played
#                       the same way, then a fixed delay of 50 ms for the delay error
#
# Output: one "bench path=P metric=M value=V [min=A max=B]" line per figure, then a table,
# which is also written to bench/results/ (or --results DIR) with the commit, the date,
# the load and the steal.
set -euo pipefail

top=$(cd "$(dirname "$0")/../.." && pwd)
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"

# ---------------------------------------------------------------- inner part
# Runs inside altiren-netlab, which exports LAB_* and ALTIREN_TRAFFIC.
field() { sed -n "s/.* $2=\([^ ]*\).*/\1/p" <<<"$1" | tail -1; }
# "median min max" of the numbers on stdin, one a line.
stats() { sort -g | awk '{v[NR]=$1} END {if (NR) print v[int((NR+1)/2)], v[1], v[NR]; else print 0, 0, 0}'; }
# The network's end runs on processors of its own (far_cpus, set by the outer part).
in_ns() {
    if [ "$1" = "${LAB_NETWORK:-}" ] && [ -n "${BENCH_FAR_CPUS:-}" ]; then
        ip netns exec "$1" taskset -c "$BENCH_FAR_CPUS" "${@:2}"
    else
        ip netns exec "$1" "${@:2}"
    fi
}
ready() { for _ in $(seq 200); do grep -q '^ready' "$1" 2>/dev/null && return; sleep 0.02; done; }
put() { # metric value [min max]
    if [ $# -ge 4 ] && [ "$runs" -gt 1 ]; then
        echo "bench path=$path metric=$1 value=$2 min=$3 max=$4"
    else
        echo "bench path=$path metric=$1 value=$2"
    fi
}
runs_stats() { # command... -> "median min max" of its output over $runs runs
    local r
    for r in $(seq "$runs"); do "$@"; done | stats
}
put_runs() { # metric command...: the figure over $runs runs
    local m=$1 med lo hi
    shift
    read -r med lo hi < <(runs_stats "$@")
    put "$m" "$med" "$lo" "$hi"
}

udp_rate() { # size seconds rate(0: as fast as they go) flows -> "received_pps loss_pct sent_pps"
    # Several flows, each with a sender and a receiver of its own: one sender alone cannot
    # offer what either path forwards.
    local size=$1 secs=$2 rate=$3 flows=${4:-$udp_flows} f rpids=() spids=()
    for f in $(seq "$flows"); do
        in_ns "$LAB_NETWORK" "$ALTIREN_TRAFFIC" udp-recv --bind "$LAB_NETWORK_V4" \
            --port $((47200 + f)) --idle-ms 500 --timeout-ms $((secs * 1000 + 10000)) \
            >"$tmp/recv.$f" &
        rpids+=($!)
    done
    for f in $(seq "$flows"); do ready "$tmp/recv.$f"; done
    for f in $(seq "$flows"); do
        in_ns "$LAB_STATION" "$ALTIREN_TRAFFIC" udp-send --to "$LAB_NETWORK_V4" \
            --port $((47200 + f)) --size "$size" --count 100000000 \
            --duration-ms $((secs * 1000)) --rate $((rate / flows)) >"$tmp/send.$f" &
        spids+=($!)
    done
    wait "${spids[@]}"
    wait "${rpids[@]}"
    local sent=0 got=0 sentpps=0 gotpps=0 out
    for f in $(seq "$flows"); do
        out=$(grep '^udp-recv' "$tmp/recv.$f")
        sent=$((sent + $(field "$(cat "$tmp/send.$f")" sent)))
        got=$((got + $(field "$out" received)))
        sentpps=$(awk -v a="$sentpps" -v b="$(field "$(cat "$tmp/send.$f")" rate_pps)" 'BEGIN {print a + b}')
        gotpps=$(awk -v a="$gotpps" -v b="$(field "$out" rate_pps)" 'BEGIN {print a + b}')
    done
    echo "$gotpps $(awk -v s="$sent" -v g="$got" 'BEGIN {printf "%.2f", s ? 100*(s-g)/s : 0}') $sentpps"
}

udp_ladder() { # -> the highest rate the senders reached with at most 1 % of it lost
    local rate best=0 pps loss sent
    for rate in 100000 200000 300000 400000 500000 600000 700000 800000 1000000 1200000; do
        read -r pps loss sent < <(udp_rate 64 1 "$rate")
        awk -v l="$loss" 'BEGIN {exit !(l <= 1)}' || break
        best=$sent
        # Senders that fell short of this rate reach no higher one.
        awk -v s="$sent" -v r="$rate" 'BEGIN {exit !(s < 0.95 * r)}' && break
    done
    echo "$best"
}

tcp_flow() { # from-ns to-ns to-addr seconds port -> bits per second the receiver got
    local from=$1 to=$2 addr=$3 secs=$4 port=$5
    in_ns "$to" "$ALTIREN_TRAFFIC" tcp-recv --bind "$addr" --port "$port" \
        --timeout-ms $((secs * 1000 + 10000)) >"$tmp/tcprecv.$port" &
    local rpid=$!
    ready "$tmp/tcprecv.$port"
    in_ns "$from" "$ALTIREN_TRAFFIC" tcp-send --to "$addr" --port "$port" \
        --bytes 1000000000000 --duration-ms $((secs * 1000)) >/dev/null
    wait "$rpid"
    field "$(grep '^tcp-recv' "$tmp/tcprecv.$port")" throughput_bps
}
tcp_up() { tcp_flow "$LAB_STATION" "$LAB_NETWORK" "$LAB_NETWORK_V4" "$secs" 47101; }
tcp_down() { tcp_flow "$LAB_NETWORK" "$LAB_STATION" "$LAB_STATION_V4" "$secs" 47101; }

iperf() { # client arguments... -> goodput the receiver got, bits per second
    in_ns "$LAB_NETWORK" iperf3 -s -1 -B "$LAB_NETWORK_V4" -p 47110 >/dev/null 2>&1 &
    local spid=$!
    for _ in $(seq 100); do
        in_ns "$LAB_NETWORK" ss -Hltn 'sport = :47110' | grep -q . && break
        sleep 0.02
    done
    in_ns "$LAB_STATION" iperf3 -c "$LAB_NETWORK_V4" -p 47110 -J "$@" >"$tmp/iperf.json" || true
    wait "$spid" || true
    python3 -c 'import json,sys
try: print(json.load(open(sys.argv[1]))["end"]["sum_received"]["bits_per_second"])
except Exception: print(0)' "$tmp/iperf.json"
}
iperf_up() { iperf -t "$secs" -O 1; }
iperf_down() { iperf -t "$secs" -O 1 -R; }

paced_delay() { # [down] -> "median_us p99_us loss_pct", station to network unless down
    local from=$LAB_STATION to=$LAB_NETWORK addr=$LAB_NETWORK_V4
    if [ "${1:-}" = down ]; then from=$LAB_NETWORK to=$LAB_STATION addr=$LAB_STATION_V4; fi
    in_ns "$to" "$ALTIREN_TRAFFIC" udp-recv --bind "$addr" --port 47102 \
        --idle-ms 2000 --timeout-ms 20000 >"$tmp/probes" &
    local rpid=$!
    ready "$tmp/probes"
    in_ns "$from" "$ALTIREN_TRAFFIC" udp-send --to "$addr" --port 47102 \
        --size 200 --count 2000 --rate 1000 >/dev/null
    wait "$rpid"
    local out
    out=$(grep '^udp-recv' "$tmp/probes")
    echo "$(field "$out" delay_us_median) $(field "$out" delay_us_p99) $(field "$out" loss_pct)"
}

loaded_delay() { # -> "median_us p99_us loss_pct tcp_bps": the probes beside a TCP flow
    # A flow of 1.1 Gbit/s (paced by the sender's kernel), under what either path carries:
    # what is measured is the delay beside it, not a queue of a path it overfills. It runs
    # for two seconds before the probes start.
    # Its rate is reported over its last four seconds, when the probes run.
    iperf -t 4 -O 2 --fq-rate 1100M >"$tmp/beside" &
    local tpid=$!
    sleep 2
    local probes
    probes=$(paced_delay)
    wait "$tpid"
    echo "$probes $(cat "$tmp/beside")"
}

delay_figures() { # prefix want_us: each figure over $runs runs
    local r med p99 dloss bps
    : >"$tmp/d.med" && : >"$tmp/d.p99" && : >"$tmp/d.loss"
    : >"$tmp/dd.med" && : >"$tmp/dd.p99"
    : >"$tmp/dl.med" && : >"$tmp/dl.p99" && : >"$tmp/dl.bps"
    for r in $(seq "$runs"); do
        read -r med p99 dloss < <(paced_delay)
        awk -v m="$med" -v w="$2" 'BEGIN {printf "%.1f\n", m - w}' >>"$tmp/d.med"
        awk -v m="$p99" -v w="$2" 'BEGIN {printf "%.1f\n", m - w}' >>"$tmp/d.p99"
        echo "$dloss" >>"$tmp/d.loss"
        read -r med p99 dloss < <(paced_delay down)
        awk -v m="$med" -v w="$2" 'BEGIN {printf "%.1f\n", m - w}' >>"$tmp/dd.med"
        awk -v m="$p99" -v w="$2" 'BEGIN {printf "%.1f\n", m - w}' >>"$tmp/dd.p99"
        read -r med p99 dloss bps < <(loaded_delay)
        awk -v m="$med" -v w="$2" 'BEGIN {printf "%.1f\n", m - w}' >>"$tmp/dl.med"
        awk -v m="$p99" -v w="$2" 'BEGIN {printf "%.1f\n", m - w}' >>"$tmp/dl.p99"
        echo "$bps" >>"$tmp/dl.bps"
    done
    put "${1}_us_median" $(stats <"$tmp/d.med")
    put "${1}_us_p99" $(stats <"$tmp/d.p99")
    put "${1}_loss_pct" $(stats <"$tmp/d.loss")
    put "${1}_down_us_median" $(stats <"$tmp/dd.med")
    put "${1}_down_us_p99" $(stats <"$tmp/dd.p99")
    put "${1}_loaded_us_median" $(stats <"$tmp/dl.med")
    put "${1}_loaded_us_p99" $(stats <"$tmp/dl.p99")
    put "${1}_loaded_tcp_bps" $(stats <"$tmp/dl.bps")
}

# Goodput at the IP layer over the asked rate: TCP segments of 1,448 bytes travel in
# 1,500-byte packets, UDP datagrams of 1,400 bytes in 1,428-byte ones.
rate_tcp() { iperf -t "$rsecs" -O 1 | awk -v m="$1" '{printf "%.4f\n", $1 * 1500 / 1448 / (m * 1e6)}'; }
rate_udp() {
    iperf -t "$rsecs" -O 1 -u -l 1400 -b "$(($1 * 11 / 10))M" |
        awk -v m="$1" '{printf "%.4f\n", $1 * 1428 / 1400 / (m * 1e6)}'
}

wanted() { [ -z "${BENCH_ONLY:-}" ] || [[ ",$BENCH_ONLY," == *",$1,"* ]]; }

steal_ticks() { awk '/^cpu / {print $9}' /proc/stat; }
busy_ticks() { awk '/^cpu / {print $2 + $3 + $4 + $5 + $6 + $7 + $8 + $9}' /proc/stat; }

inner() {
    path=$1 runs=$2 secs=$3 rsecs=3 udp_flows=4
    tmp=$(mktemp -d /tmp/altiren-bench-XXXXXX)
    trap 'rm -rf "$tmp"' RETURN
    put load1 "$(cut -d' ' -f1 /proc/loadavg)"
    put load "$(cut -d' ' -f1-3 /proc/loadavg | tr ' ' /)"
    # The share of the processors' time the host took for others during the run: on a
    # virtual machine, what no figure here can be better than.
    local steal0 all0
    steal0=$(steal_ticks)
    all0=$(busy_ticks)
    # A window for a gigabit flow over the 100 ms of the delayed round trip.
    for ns in "$LAB_STATION" "$LAB_NETWORK"; do
        in_ns "$ns" sysctl -q -w net.ipv4.tcp_rmem="4096 131072 67108864" \
            net.ipv4.tcp_wmem="4096 131072 67108864"
    done
    # The network's end hands what it receives to its own processors (RPS), as a host at
    # the far end of a link would: else the sender to it, the bridge's or the daemon's,
    # runs that host's protocol stack on its own processor.
    in_ns "$LAB_NETWORK" sh -c "printf '%x' $BENCH_FAR_MASK \
        >/sys/class/net/nw0/queues/rx-0/rps_cpus"
    if [ -n "${BENCH_DAEMON_SETUP:-}" ]; then sh -c "$BENCH_DAEMON_SETUP"; fi
    # Warm the neighbour caches so that the first run does not pay for ARP.
    in_ns "$LAB_STATION" ping -n -c 1 -W 2 "$LAB_NETWORK_V4" >/dev/null || true
    local r pps loss sent
    if wanted udp; then
        : >"$tmp/pps"
        : >"$tmp/loss"
        for r in $(seq "$runs"); do
            read -r pps loss sent < <(udp_rate 64 "$secs" 0)
            echo "$pps" >>"$tmp/pps"
            echo "$loss" >>"$tmp/loss"
        done
        put udp64_pps $(stats <"$tmp/pps")
        put udp64_loss_pct $(stats <"$tmp/loss")
        put_runs udp64_pps_at_1pct_loss udp_ladder
    fi
    if wanted tcp; then
        put_runs tcp_up_bps tcp_up
        put_runs tcp_down_bps tcp_down
    fi
    if wanted iperf3; then
        put_runs iperf3_tcp_up_bps iperf_up
        put_runs iperf3_tcp_down_bps iperf_down
    fi
    if wanted delay; then delay_figures delay 0; fi
    if [ -n "${BENCH_RATE_SETUP:-}" ] && wanted rate; then
        local mbps
        for mbps in 1 10 100 1000; do
            local set=${BENCH_RATE_SETUP//@MBPS@/$mbps}
            set=${set//@KBPS@/$((mbps * 1000))}
            # A bucket of 4 ms at the rate, and never less than four frames.
            set=${set//@BURST@/$((mbps * 500 > 6400 ? mbps * 500 : 6400))}
            # A rate the path's control cannot ask for (the control API ends at
            # 10,240 kbit/s) is reported as such.
            if ! sh -c "$set" >/dev/null 2>&1; then
                put "rate${mbps}_tcp_of_asked" not-asked
                put "rate${mbps}_udp_of_asked" not-asked
                continue
            fi
            put_runs "rate${mbps}_tcp_of_asked" rate_tcp "$mbps"
            put_runs "rate${mbps}_udp_of_asked" rate_udp "$mbps"
        done
        sh -c "$BENCH_RATE_CLEAR" >/dev/null
    fi
    if [ -n "${BENCH_DELAY_SETUP:-}" ] && wanted delay; then
        sh -c "$BENCH_DELAY_SETUP"
        delay_figures delay_error $((BENCH_DELAY_MS * 1000))
    fi
    put load1_end "$(cut -d' ' -f1 /proc/loadavg)"
    put steal_pct "$(awk -v s=$(($(steal_ticks) - steal0)) -v a=$(($(busy_ticks) - all0)) \
        'BEGIN {printf "%.2f", a ? 100 * s / a : 0}')"
}

if [ "${1:-}" = "--inner" ]; then
    inner "$2" "$3" "$4"
    exit 0
fi

# ---------------------------------------------------------------- outer part
args="$*"
build="$top/build/release"
results_dir="$top/bench/results"
runs=3
secs=2
daemon=""
daemon_tap="st0"
daemon_setup=""
delay_setup=""
delay_ms=""
rate_setup=""
rate_clear=""
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
    --rate-setup) rate_setup=$2; shift 2 ;;
    --rate-clear) rate_clear=$2; shift 2 ;;
    --quellin) quellin=1; shift ;;
    --only) export BENCH_ONLY=$2; shift 2 ;;
    --results) results_dir=$2; shift 2 ;;
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
# The host at the network's end is a machine of its own: the last quarter of the processors
# (at least one) run its receive processing and its programs, the others the station, the
# path (bridge or daemon) and the lab. On shared processors the far host's stack would land
# on whichever one a path's thread runs on, as the flows' hashes fall, and the figures would
# measure where it fell.
ncpu=$(nproc)
far=$((ncpu / 4 > 0 ? ncpu / 4 : 1))
if [ "$ncpu" -gt 1 ]; then
    export BENCH_FAR_CPUS="$((ncpu - far))-$((ncpu - 1))"
    export BENCH_FAR_MASK=$((((1 << far) - 1) << (ncpu - far)))
    near=(taskset -c "0-$((ncpu - far - 1))")
else
    export BENCH_FAR_CPUS="" BENCH_FAR_MASK=1
    near=()
fi
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
    rate_setup="$play --reset --kbps @KBPS@"
    rate_clear="$play --reset"
    delay_ms=50
fi

# The kernel's token bucket on the bridge's way to the network stands for the asked rate.
BENCH_RATE_SETUP="ip netns exec \$LAB_WIRE tc qdisc replace dev wn0 root tbf rate @MBPS@mbit burst @BURST@ latency 100ms" \
    BENCH_RATE_CLEAR="ip netns exec \$LAB_WIRE tc qdisc del dev wn0 root" \
    "${near[@]}" "$netlab" --tag bb --timeout-s 900 -- "$self" --inner bridge "$runs" "$secs" | tee -a "$results"

if [ -n "$daemon" ]; then
    tapargs=()
    [ -n "$daemon_tap" ] && tapargs=(--station-tap "$daemon_tap")
    if ! BENCH_DAEMON_SETUP="$daemon_setup" BENCH_DELAY_SETUP="$delay_setup" \
        BENCH_RATE_SETUP="$rate_setup" BENCH_RATE_CLEAR="$rate_clear" \
        BENCH_DELAY_MS="$delay_ms" "${near[@]}" "$netlab" --tag bd --timeout-s 900 --wire-cmd "$daemon" \
        --wire-log "$log" "${tapargs[@]}" -- "$self" --inner daemon "$runs" "$secs" |
        tee -a "$results"; then
        echo "daemon run failed; its log:" >&2
        cat "$log" >&2
        exit 1
    fi
    # A figure of nothing through the daemon is one to look into: its log says what it saw.
    if grep -Eq '^bench path=daemon metric=[a-z0-9_]+(pps|bps)[a-z0-9_]* value=0( |$)' "$results"; then
        echo "the daemon forwarded nothing for a figure; its log:" >&2
        cat "$log" >&2
    fi
fi

# Table: each figure of the baseline, and the daemon's beside it with the ratio of the
# medians; with more than one run, the lowest and highest run in brackets.
table() {
    awk '
    function show(v, lo, hi) {
        if (v ~ num && v + 0 >= 1e6) { v = sprintf("%.0f", v); lo = sprintf("%.0f", lo); hi = sprintf("%.0f", hi) }
        if (v == "") return "-"
        return lo == "" ? v : v " [" lo ".." hi "]"
      }
    BEGIN { num = "^[0-9.eE+-]+$" }
    /^bench / { split($2, p, "="); split($3, m, "="); split($4, v, "=")
      lo = ""; hi = ""
      if ($5 ~ /^min=/) { lo = substr($5, 5); hi = substr($6, 5) }
      if (!(m[2] in seen)) { seen[m[2]] = 1; order[++n] = m[2] }
      val[p[2], m[2]] = v[2]; low[p[2], m[2]] = lo; high[p[2], m[2]] = hi }
    END {
      printf "%-28s %36s %36s %8s\n", "metric", "bridge", "daemon", "ratio"
      for (i = 1; i <= n; i++) {
        k = order[i]; b = val["bridge", k]; d = val["daemon", k]
        r = (b ~ num && d ~ num && b + 0 != 0) ? sprintf("%.3f", d / b) : "-"
        printf "%-28s %36s %36s %8s\n", k, show(b, low["bridge", k], high["bridge", k]),
          show(d, low["daemon", k], high["daemon", k]), r
      }
    }' "$results"
}
echo
table
if [ -n "$results_dir" ]; then
    mkdir -p "$results_dir"
    commit=$(git -C "$top" rev-parse --short HEAD 2>/dev/null || echo unknown)
    [ -n "$(git -C "$top" status --porcelain --untracked-files=no 2>/dev/null)" ] && commit="$commit+changes"
    stamp=$(date -u +%Y%m%d-%H%M%S)
    file="$results_dir/netns-$stamp-$commit.txt"
    {
        echo "commit:  $commit ($(git -C "$top" log -1 --format=%s 2>/dev/null | cut -c1-80))"
        echo "date:    $(date -u '+%Y-%m-%d %H:%M:%S UTC')"
        echo "machine: $(nproc) processors, $(uname -r); the network's end on processors ${BENCH_FAR_CPUS:-all}"
        echo "command: bench/netns/run.sh $args"
        echo "runs:    $runs of $secs s; figures are medians [lowest..highest run]"
        for p in bridge daemon; do
            grep -q "^bench path=$p " "$results" || continue
            echo "$p: load $(sed -n "s/^bench path=$p metric=load value=//p" "$results") at the start," \
                "load1 $(sed -n "s/^bench path=$p metric=load1_end value=//p" "$results") at the end," \
                "steal $(sed -n "s/^bench path=$p metric=steal_pct value=//p" "$results") %"
        done
        echo
        table
    } >"$file"
    echo "table written to $file"
fi
