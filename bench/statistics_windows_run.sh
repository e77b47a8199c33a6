#!/usr/bin/env bash
# What the statistics windows cost while an emulation plays: builds the benchmark in
# Release, runs it on Qt's offscreen platform and prints each refresh as time per tick,
# as the share of one core at the windows' pace of one tick a second, and as a ratio to
# the statistics manager's own tick over the same 400 connections (the baseline).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="${ALTIREN_BENCH_BUILD_DIR:-$top/build/bench}"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DALTIREN_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target statistics_windows_bench >/dev/null
out=$(mktemp)
trap 'rm -f "$out"' EXIT
QT_QPA_PLATFORM=offscreen "$build/bin/statistics_windows_bench" --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true --benchmark_format=json 2>/dev/null >"$out"
python3 - "$out" <<'PY'
import json, sys
rows = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("aggregate_name") == "median":
        scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b["time_unit"]]
        rows[b["run_name"]] = b["real_time"] * scale
base = rows.get("BM_StatisticsTickBaseline")
print(f"{'refresh (400 connections, 900 s history)':44} {'per tick':>10} {'core share':>11} {'÷ baseline':>11}")
for name, seconds in rows.items():
    ratio = f"{seconds / base:11.2f}" if base else "          -"
    print(f"{name:44} {seconds * 1e3:7.3f} ms {seconds * 100:10.3f}% {ratio}")
PY
