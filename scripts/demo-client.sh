#!/usr/bin/env bash
# The client's main job: Pramitone on the emulator in the test lab.
#
# Builds what it runs, makes the lab of scripts/demo.sh (a station, a wire running quellin
# with a TAP for the station, a network), starts the management-server stand-in on the
# station's loopback with the demo account (account DEMO-1, user demo, password demo),
# writes the client's settings and starts Pramitone in the station namespace.
#
# On a display (DISPLAY set) the client is the user's until it ends: Exit in its tray
# menu, or closing its window where there is no tray. Without one it runs under Xvfb and
# xdotool takes it through its windows (the manual page at 50 ms and 1,000 kbit/s, Play,
# traffic, Top Talkers, Stop, About), a PNG of each window goes to a folder
# ($ALTIREN_DEMO_SCREENSHOTS, default <build>/screenshots/demo-client), and it exits.
# Everything made here goes at the end. Needs root.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
self="$top/scripts/demo-client.sh"

# ------------------------------------------------------------ inside the lab
# Runs inside altiren-netlab (LAB_* variables), with DEMO_BUILD, DEMO_TMP, DEMO_SHOTS set.
# shellcheck source=demo-lib.sh
. "$top/scripts/demo-lib.sh"
xdo() { xdotool "$@" 2>/dev/null || true; }

# Waits up to $2 seconds for a visible window titled $1; prints its id.
window_titled() {
    local id
    for _ in $(seq $((${2:-30} * 10))); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

shots=0
shoot() { # window, name
    shots=$((shots + 1))
    sleep 0.5
    local file
    file="$DEMO_SHOTS/$(printf '%02d' "$shots")-$2.png"
    python3 "$top/scripts/window-png.py" "$1" "$file" && echo "   $file"
}

keys() { # window, keys...
    xdo windowfocus --sync "$1"
    local key
    for key in "${@:2}"; do
        xdo key --delay 80 "$key"
        sleep 0.2
    done
}

tour() { # the client's windows under Xvfb, by the keys a person presses
    local manager list about
    manager=$(window_titled "Pramitone Client" 60) || {
        echo "the client showed no window" >&2
        return 1
    }
    echo "== the client's windows, as PNG files"
    shoot "$manager" manager-basic
    keys "$manager" alt+v a alt+l ctrl+a
    xdo type --delay 80 50
    keys "$manager" alt+b ctrl+a
    xdo type --delay 80 1000
    keys "$manager" Tab
    shoot "$manager" manager-advanced
    keys "$manager" alt+p
    sleep 1.5
    shoot "$manager" manager-playing
    echo "== playing 50 ms and 1,000 kbit/s from the client"
    in_ns "$LAB_STATION" ping -n -q -c 10 -i 0.1 "$LAB_NETWORK_V4" | tail -1
    keys "$manager" alt+v s
    if list=$(window_titled "Pramitone - Top Talkers" 10); then
        udp_flow 47300 300 100 200 | sed 's/^/   /'
        sleep 2
        shoot "$list" top-talkers
    fi
    keys "$manager" alt+p
    sleep 1
    shoot "$manager" manager-stopped
    keys "$manager" alt+h a
    if about=$(window_titled "About Pramitone.*" 10); then
        shoot "$about" about
        keys "$about" Escape
    fi
    python3 "$top/AltirenClient/app/tests/close-window.py" "$manager"
}

if [ "${1:-}" = "--inner" ]; then
    # The stand-in beside the client, where the emulation leaves it alone.
    in_ns "$LAB_STATION" "$DEMO_BUILD/bin/altiren_mgmt_server" --address 127.0.0.1 \
        --data "$top/tools/mgmt_server/sample/users.txt" >"$DEMO_TMP/server.log" 2>&1 &
    server=$!
    for _ in $(seq 100); do grep -q '^listening on' "$DEMO_TMP/server.log" && break; sleep 0.05; done
    address=$(sed -n 's/^listening on //p' "$DEMO_TMP/server.log")
    [ -n "$address" ] || {
        cat "$DEMO_TMP/server.log" >&2
        exit 1
    }
    echo "== the management-server stand-in on $address (account DEMO-1, user demo, password demo)"
    mkdir -p "$DEMO_TMP/trace"
    "$DEMO_BUILD/bin/altiren-client-setup" --server "$address" --account DEMO-1 --user demo \
        --password demo --trace-folder "$DEMO_TMP/trace"

    echo "== Pramitone on $DISPLAY, in the station namespace"
    TMPDIR=$DEMO_TMP in_ns "$LAB_STATION" "$DEMO_BUILD/bin/Pramitone" NO_SPLASH \
        >"$DEMO_TMP/pramitone.log" 2>&1 &
    client=$!
    status=0
    if [ -n "${DEMO_SHOTS:-}" ]; then
        tour || status=1
        for _ in $(seq 200); do kill -0 "$client" 2>/dev/null || break; sleep 0.1; done
        kill "$client" 2>/dev/null || true
    else
        echo "   (Exit in its tray menu, or closing its window, ends the demo)"
    fi
    wait "$client" || status=$?
    if [ "$status" -ne 0 ]; then
        echo "== the client ended with status $status; its last lines:"
        tail -20 "$DEMO_TMP/pramitone.log"
    fi
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
    exit "$status"
fi

# ------------------------------------------------------------ set-up and clean-up
"$top/scripts/install-deps.sh"
build="${ALTIREN_DEMO_BUILD_DIR:-$top/build/release}"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "${ALTIREN_DEMO_JOBS:-$(nproc)}" --target quellin altiren-netlab altiren-traffic Pramitone \
    altiren_mgmt_server_bin altiren-client-setup
if [ "$(id -u)" -ne 0 ]; then
    echo "the demo makes network namespaces: run it as root" >&2
    exit 77
fi

tmp=$(mktemp -d /tmp/altiren-demo-client-XXXXXX)
xvfb=
cleanup() {
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
export ALTIREN_REGISTRY_ROOT="$tmp/registry"
export QL_DEVICE="$tmp/QL"
export DEMO_BUILD="$build" DEMO_TMP="$tmp"
"$build/bin/quellin" --install

if [ -z "${DISPLAY:-}" ]; then
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" >/dev/null 2>&1 &
    xvfb=$!
    for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.05; done
    export DISPLAY=":$(head -1 "$tmp/display")"
    export DEMO_SHOTS="${ALTIREN_DEMO_SCREENSHOTS:-$build/screenshots/demo-client}"
    rm -rf "$DEMO_SHOTS"
    mkdir -p "$DEMO_SHOTS"
    echo "== no display: Xvfb on $DISPLAY, the windows go to $DEMO_SHOTS"
fi
export QT_QPA_PLATFORM=xcb

status=0
run_lab dcli 3600 || status=$?
exit "$status"
