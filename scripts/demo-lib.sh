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

# Runs "$self --inner" in a lab whose wire holds quellin with a TAP for the station, prints
# the daemon's log and removes the service keys; returns the inner run's status. Needs
# top, build, self, tmp and QL_DEVICE.
run_lab() { # tag timeout-seconds
    local status=0
    echo "== quellin in the wire namespace, its TAP st0 in the station namespace"
    "$build/bin/altiren-netlab" --tag "$1" --timeout-s "$2" \
        --wire-cmd "exec $top/tests/e2e/quellin-wire.sh \$LAB_STATION $build/bin/quellin --foreground --device $QL_DEVICE --bind tap:st0=wn0" \
        --wire-log "$tmp/quellin.log" --station-tap st0 -- "$self" --inner || status=$?
    echo "== the daemon's log"
    cat "$tmp/quellin.log"
    "$build/bin/quellin" --uninstall
    return "$status"
}
