#!/usr/bin/env bash
# In-process speed of the emulated path: builds the benchmarks in Release, runs them and
# prints each case as packets per second and as a ratio to the bypass baseline measured
# in the same run (the driver in the path, emulating nothing). Then the control socket's
# time per caller with 4,000 callers connected, as a ratio to 250 connected.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="${ALTIREN_BENCH_BUILD_DIR:-$top/build/bench}"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DALTIREN_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target engine_path_bench models_path_bench \
    control_socket_bench checksum_bench >/dev/null
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for b in engine_path_bench models_path_bench; do
    "$build/bin/$b" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
        --benchmark_format=json >"$out/$b.json"
done
python3 - "$out"/engine_path_bench.json "$out"/models_path_bench.json <<'PY'
import json, sys
rows = {}
for path in sys.argv[1:]:
    for b in json.load(open(path))["benchmarks"]:
        if b.get("aggregate_name") == "median":
            rows[b["run_name"]] = b["items_per_second"]
def size(name):
    return name.rsplit("/", 1)[-1]
base = {size(n): v for n, v in rows.items() if "Bypass" in n}
print(f"{'case':40} {'packets/s':>12} {'÷ bypass':>9}")
for name, pps in rows.items():
    b = base.get(size(name))
    ratio = f"{pps / b:9.3f}" if b else "        -"
    print(f"{name:40} {pps/1e6:10.2f} M {ratio}")
PY
"$build/bin/control_socket_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_format=json >"$out/control_socket_bench.json"
python3 - "$out"/control_socket_bench.json <<'PY'
import json, sys
per = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("aggregate_name") == "median":
        n = int(b["run_name"].split("/")[1])
        per[n] = b["real_time"] / n  # ms per caller
print(f"control socket: {per[250]*1000:.1f} us per caller at 250 open, "
      f"{per[4000]*1000:.1f} us at 4,000 (ratio {per[4000]/per[250]:.2f})")
PY
"$build/bin/checksum_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_format=json >"$out/checksum_bench.json"
python3 - "$out"/checksum_bench.json <<'PY'
import json, sys
rate = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("aggregate_name") == "median":
        name, size = b["run_name"].split("/")
        rate[(name, size)] = b["bytes_per_second"]
print(f"{'checksum of':14} {'GB/s':>8} {'÷ word by word':>15}")
for (name, size), r in rate.items():
    if name == "BM_InternetSum":
        print(f"{size + ' bytes':14} {r / 1e9:8.2f} {r / rate[('BM_WordByWord', size)]:15.2f}")
PY
