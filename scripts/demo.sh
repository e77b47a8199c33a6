#!/usr/bin/env bash
# The system's main job. For now: builds the utility library and writes a trace log.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
build="${ALTIREN_DEMO_BUILD_DIR:-$top/build/release}"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target trace_demo
out=$(mktemp -d /tmp/altiren-demo-XXXXXX)
"$build/bin/trace_demo" "$out"
for f in "$out"/*; do
    echo "== $f"
    cat -A "$f" | head -20
done
