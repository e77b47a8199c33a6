#!/bin/sh
# Runs the daemon in a lab's wire namespace with a TAP binding and moves the TAP into
# the station namespace once the daemon has bound it (the TAP then bears the lower
# interface's address; the lower interface itself has left for the daemon's namespace).
#
#   quellin-wire.sh STATION_NAMESPACE QUELLIN [ARG]...
#
# QUELLIN_WIRE_TAP (default st0) and QUELLIN_WIRE_LOWER (default wn0) name the two
# interfaces of the binding. The daemon takes this script's process id, so a signal to
# it reaches the daemon and its ending is the script's; under `sh -c` start it with
# `exec`, or the shell ends first and the daemon is killed without its clean stop.
ns=$1
shift
tap=${QUELLIN_WIRE_TAP:-st0}
lower=${QUELLIN_WIRE_LOWER:-wn0}
mac=$(cat "/sys/class/net/$lower/address")
daemon=$$
(
    tries=0
    until [ -e "/sys/class/net/$tap" ] && [ "$(cat "/sys/class/net/$tap/address")" = "$mac" ]; do
        tries=$((tries + 1))
        if [ $tries -gt 1000 ] || ! kill -0 $daemon 2>/dev/null; then
            exit 1
        fi
        sleep 0.01
    done
    ip link set "$tap" netns "$ns"
) &
exec "$@"
