#!/usr/bin/env bash
# Runs one fuzz target for a fixed time from its seed corpus:
#   run-target.sh BINARY NAME SECONDS RUN_FOLDER [libFuzzer flags...]
# ALTIREN_FUZZ_SECONDS, when set, replaces SECONDS (scripts/fuzz.sh runs longer so).
# New inputs go to RUN_FOLDER/NAME/corpus (the seeds in fuzz/corpus/NAME stay as they are),
# crashing inputs to RUN_FOLDER/NAME/artifacts, the run's output to RUN_FOLDER/NAME/last.log.
# Exits non-zero when the target found a fault.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
binary=$1
name=$2
seconds=${ALTIREN_FUZZ_SECONDS:-$3}
runs=$4
shift 4
work="$runs/$name/corpus"
artifacts="$runs/$name/artifacts"
mkdir -p "$work" "$artifacts"
"$binary" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$@" "$work" "$here/corpus/$name" 2>&1 |
    tee "$runs/$name/last.log"
exit "${PIPESTATUS[0]}"
