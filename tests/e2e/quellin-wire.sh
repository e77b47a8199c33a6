#!/bin/sh
# Runs the daemon in a lab's wire namespace with a TAP binding and moves the TAP into
# the station namespace once the daemon has bound it (the TAP then bears the lower
# interface's address).
#
#   quellin-wire.sh STATION_NAMESPACE QUELLIN [ARG]...
#
# QUELLIN_WIRE_TAP (default st0) and QUELLIN_WIRE_LOWER (default wn0) name the two
# interfaces of the binding. Ends with the daemon; a TERM ends the daemon first.
ns=$1
shift
tap=${QUELLIN_WIRE_TAP:-st0}
lower=${QUELLIN_WIRE_LOWER:-wn0}
"$@" &
pid=$!
trap 'kill -TERM $pid 2>/dev/null; wait $pid; exit 143' TERM INT
until [ -e "/sys/class/net/$tap" ] &&
    [ "$(cat "/sys/class/net/$tap/address")" = "$(cat "/sys/class/net/$lower/address")" ]; do
    if ! kill -0 $pid 2>/dev/null; then
        wait $pid
        exit 1
    fi
    sleep 0.01
done
ip link set "$tap" netns "$ns"
wait $pid
