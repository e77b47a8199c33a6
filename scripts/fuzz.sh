#!/usr/bin/env bash
# Builds the fuzz targets (clang, in their own build folder) and runs every fuzz target,
# or those whose names match the given pattern, for a longer time, all at once:
#   scripts/fuzz.sh [SECONDS [PATTERN]]        (default: 600 seconds each, every target)
# Each target starts from its seeds (fuzz/corpus/<name>) and what earlier runs of this
# build folder found, and keeps what it finds in <build>/fuzz/runs/<name>/corpus; crashing
# inputs go to <build>/fuzz/runs/<name>/artifacts. The closing table gives each target's
# executions per second, coverage, features and corpus size. Exits non-zero when a target
# found a fault.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
pattern=${2:-.}
jobs=${ALTIREN_FUZZ_JOBS:-$(nproc)}

"$top/scripts/install-deps.sh" || exit 1
build="${ALTIREN_FUZZ_BUILD_DIR:-$top/build/fuzz}"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DALTIREN_FUZZ=ON || exit 1
cmake --build "$build" --target fuzz_targets || exit 1

# The targets' tests carry the sanitizers' options (CTest's ENVIRONMENT).
status=0
(cd "$build" && ALTIREN_FUZZ_SECONDS=$seconds ctest -L fuzz -R "$pattern" -j "$jobs" \
    --timeout $((seconds * 2 + 300)) --output-on-failure --no-tests=error) || status=1

printf '%-18s %10s %8s %8s %8s %s\n' target exec/s cov ft corpus result
for log in "$build"/fuzz/runs/*/last.log; do
    name=$(basename "$(dirname "$log")")
    echo "$name" | grep -qE "$pattern" || continue
    done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1)
    rate=$(grep -E '^stat::average_exec_per_sec' "$log" | awk '{print $2}')
    cov=$(echo "$done_line" | sed -nE 's/.* cov: ([0-9]+).*/\1/p')
    ft=$(echo "$done_line" | sed -nE 's/.* ft: ([0-9]+).*/\1/p')
    corp=$(echo "$done_line" | sed -nE 's/.* corp: ([0-9]+\/[0-9A-Za-z]+).*/\1/p')
    result=ok
    grep -qE 'ERROR: (libFuzzer|AddressSanitizer|LeakSanitizer)|runtime error|property broken' \
        "$log" && result=FAULT
    printf '%-18s %10s %8s %8s %8s %s\n' "$name" "${rate:--}" "${cov:--}" "${ft:--}" \
        "${corp:--}" "$result"
done
exit $status
