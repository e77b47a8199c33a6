# Shell helpers of the demos: run in a namespace, read a field of a traffic tool's summary
# line, and a UDP flow from the station to the network (inside altiren-netlab: LAB_*
# variables, and ALTIREN_TRAFFIC naming the traffic tool).

field() { sed -n "s/.* $2=\([^ ]*\).*/\1/p" <<<"$1" | tail -1; }
in_ns() { ip netns exec "$1" "${@:2}"; }

udp_flow() { # port count rate size -> the receiver's summary line
    local port=$1 count=$2 rate=$3 size=$4 out
    out=$(mktemp)
    in_ns "$LAB_NETWORK" "$ALTIREN_TRAFFIC" udp-recv --bind "$LAB_NETWORK_V4" --port "$port" \
        --idle-ms 1500 --timeout-ms 30000 >"$out" &
    local rpid=$!
    for _ in $(seq 100); do grep -q '^ready' "$out" && break; sleep 0.02; done
    in_ns "$LAB_STATION" "$ALTIREN_TRAFFIC" udp-send --to "$LAB_NETWORK_V4" --port "$port" \
        --count "$count" --rate "$rate" --size "$size" >/dev/null
    wait "$rpid"
    grep '^udp-recv' "$out"
    rm -f "$out"
}
