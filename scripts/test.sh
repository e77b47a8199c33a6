#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, runs every test (labels unit, netns, gui), then makes a
# Release build that installs and packages the system and tests that (label package),
# builds and runs the thread tests under ThreadSanitizer, then builds the fuzz targets with
# clang and runs each for 20 seconds (label fuzz). Exits non-zero on any failure.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

"$top/scripts/install-deps.sh" || exit 1

asan="${ALTIREN_BUILD_DIR:-$top/build/asan}"
cmake -S "$top" -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DALTIREN_SANITIZE=ON || exit 1
cmake --build "$asan" -j "$jobs" || exit 1

# Every test carries the sanitizers' options and Qt's platform itself (CTest's ENVIRONMENT,
# cmake/Altiren.cmake): nothing is set here that a plain `ctest` would lack.
status=0
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
# Real-packet tests measure time on the wire: they run after the others, two at a time.
(cd "$asan" && ctest -LE netns --output-on-failure -j "$jobs" --timeout 600 --no-tests=error) |
    tee "$logs/asan.log" || status=1
(cd "$asan" && ctest -L netns --output-on-failure -j 2 --timeout 600 --no-tests=ignore) |
    tee "$logs/netns.log" || status=1

# The installed tree and the Debian package, from a Release build of their own with the
# Debian layout (label package).
pkg="${ALTIREN_PKG_BUILD_DIR:-$top/build/pkg}"
cmake -S "$top" -B "$pkg" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DALTIREN_BUILD_TESTS=OFF -DALTIREN_BUILD_BENCH=OFF -DALTIREN_PACKAGE_TESTS=ON || exit 1
cmake --build "$pkg" -j "$jobs" || exit 1
(cd "$pkg" && ctest -L package --output-on-failure --timeout 600 --no-tests=error) |
    tee "$logs/package.log" || status=1

tsan="${ALTIREN_TSAN_BUILD_DIR:-$top/build/tsan}"
cmake -S "$top" -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DALTIREN_TSAN=ON \
    -DALTIREN_BUILD_BENCH=OFF || exit 1
cmake --build "$tsan" -j "$jobs" --target tsan_tests || exit 1
(cd "$tsan" && ctest -L tsan --output-on-failure -j "$jobs" --timeout 600 --no-tests=ignore) |
    tee "$logs/tsan.log" || status=1

# Every fuzz target for a short fixed time, from its seeds, in a clang build of its own.
fuzz="${ALTIREN_FUZZ_BUILD_DIR:-$top/build/fuzz}"
cmake -S "$top" -B "$fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DALTIREN_FUZZ=ON || exit 1
cmake --build "$fuzz" -j "$jobs" --target fuzz_targets || exit 1
(cd "$fuzz" && ALTIREN_FUZZ_SECONDS=20 ctest -L fuzz --output-on-failure -j "$jobs" --timeout 300 \
    --no-tests=error) | tee "$logs/fuzz.log" || status=1

# One closing line over every run.
passed=0
failed=0
for log in "$logs"/*.log; do
    line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
    [ -z "$line" ] && continue
    f=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/')
    t=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/')
    passed=$((passed + t - f))
    failed=$((failed + f))
done
[ "$passed" -gt 0 ] || status=1
echo "tests: $passed passed, $failed failed"
exit $status
