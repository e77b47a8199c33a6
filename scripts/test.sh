#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, runs every test (labels unit, netns, gui), then builds
# and runs the thread tests under ThreadSanitizer. Exits non-zero on any failure.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

"$top/scripts/install-deps.sh"

asan="${ALTIREN_BUILD_DIR:-$top/build/asan}"
cmake -S "$top" -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DALTIREN_SANITIZE=ON
cmake --build "$asan" -j "$jobs"

export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$top/scripts/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen
status=0
(cd "$asan" && ctest --output-on-failure -j "$jobs" --timeout 600 --no-tests=error) || status=1

tsan="${ALTIREN_TSAN_BUILD_DIR:-$top/build/tsan}"
cmake -S "$top" -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DALTIREN_TSAN=ON \
    -DALTIREN_BUILD_BENCH=OFF
cmake --build "$tsan" -j "$jobs" --target tsan_tests
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
(cd "$tsan" && ctest -L tsan --output-on-failure -j "$jobs" --timeout 600 --no-tests=ignore) ||
    status=1

exit $status
