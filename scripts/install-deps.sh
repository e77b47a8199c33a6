#!/usr/bin/env bash
# Installs every package of scripts/packages.txt that is not installed yet, then checks
# that every program the list says the tests, benchmarks and scripts run ("runs:") is
# there, and names those that are not.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
list="$here/packages.txt"
missing=()
while read -r pkg; do
    pkg=${pkg%%#*}
    pkg=$(echo "$pkg" | tr -d '[:space:]')
    [ -z "$pkg" ] && continue
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$pkg")
    fi
done <"$list"
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        echo "install-deps: root is needed to install packages" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

absent=()
for program in $(sed -n 's/.*#[[:space:]]*runs:\(.*\)/\1/p' "$list"); do
    command -v "$program" >/dev/null 2>&1 || absent+=("$program")
done
if [ ${#absent[@]} -gt 0 ]; then
    echo "install-deps: programs still missing after the install: ${absent[*]}" >&2
    exit 1
fi
